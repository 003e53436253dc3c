# cmake -DIN=file.res -DOUT=file.cpp -P embed-res.cmake
# Writes the bytes of a compiled resource file as the array winsim reads the module's resources from.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from ${IN}; do not edit.\n#include <cstddef>\n"
  "extern const unsigned char kvisinst_resources[] = {\n${bytes}\n};\n"
  "extern const size_t kvisinst_resources_size = ${size};\n")

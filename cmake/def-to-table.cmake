# cmake -DIN=kvisinst-x64.def -DOUT=exports.cpp -P def-to-table.cmake
# Turns the export list into the table winsim's GetProcAddress answers from. Each line of the list is
# "exported=internal" or a bare name; the internal name is the symbol the compiler gave the function,
# declared here with C linkage so that its (possibly C++-decorated) name is taken verbatim.
file(STRINGS ${IN} lines)
set(decls "")
set(rows "")
set(in_exports FALSE)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^;")
    continue()
  endif()
  if(line STREQUAL "EXPORTS")
    set(in_exports TRUE)
    continue()
  endif()
  if(NOT in_exports)
    continue()
  endif()
  string(REGEX REPLACE "[ \t].*$" "" line "${line}")
  if(line MATCHES "^([^=]+)=(.+)$")
    set(exported "${CMAKE_MATCH_1}")
    set(internal "${CMAKE_MATCH_2}")
  else()
    set(exported "${line}")
    set(internal "${line}")
  endif()
  string(FIND "${decls}" " ${internal}()" seen)
  if(seen EQUAL -1)
    string(APPEND decls "extern \"C\" void ${internal}();\n")
  endif()
  string(APPEND rows "    {\"${exported}\", reinterpret_cast<void (*)()>(&${internal})},\n")
endforeach()
file(WRITE ${OUT} "// Generated from ${IN}; do not edit.\n"
  "#include <winsim/loader.h>\n"
  "#pragma GCC diagnostic ignored \"-Wpedantic\"\n"
  "${decls}"
  "extern const winsim::ExportEntry kvisinst_exports[] = {\n${rows}    {nullptr, nullptr}};\n")

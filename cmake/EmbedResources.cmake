# Build-time helpers of the host build: the compiled resource file and the export table become C++
# sources of the library.

find_program(KVISINST_WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres windres REQUIRED)

function(kvisinst_embed_resources rc_file out_cpp)
  set(res_file ${CMAKE_BINARY_DIR}/generated/kvisinst.res)
  add_custom_command(
    OUTPUT ${res_file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND ${KVISINST_WINDRES} -c 65001 -O res -i ${rc_file} -o ${res_file}
    DEPENDS ${rc_file}
    COMMENT "Compiling ${rc_file} to a .res file")
  add_custom_command(
    OUTPUT ${out_cpp}
    COMMAND ${CMAKE_COMMAND} -DIN=${res_file} -DOUT=${out_cpp} -P ${CMAKE_SOURCE_DIR}/cmake/embed-res.cmake
    DEPENDS ${res_file} ${CMAKE_SOURCE_DIR}/cmake/embed-res.cmake)
endfunction()

function(kvisinst_export_table def_file out_cpp)
  add_custom_command(
    OUTPUT ${out_cpp}
    COMMAND ${CMAKE_COMMAND} -DIN=${def_file} -DOUT=${out_cpp} -P ${CMAKE_SOURCE_DIR}/cmake/def-to-table.cmake
    DEPENDS ${def_file} ${CMAKE_SOURCE_DIR}/cmake/def-to-table.cmake)
endfunction()

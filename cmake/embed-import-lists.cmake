# cmake -DOUT=lists.cpp -DDIR=imports -P embed-import-lists.cmake
#
# Writes the reviewed import lists into a C++ source of kvsim, so that kvsim and the build's import
# check judge a DLL by the very same lists.
cmake_minimum_required(VERSION 3.25)

file(GLOB list_files "${DIR}/*.dll.txt")
if(NOT list_files)
  message(FATAL_ERROR "no import lists (NAME.dll.txt) in ${DIR}")
endif()
list(SORT list_files)
list(APPEND list_files "${DIR}/deny.txt")
set(body "")
foreach(list_file IN LISTS list_files)
  get_filename_component(name "${list_file}" NAME)
  file(READ "${list_file}" text)
  if(text MATCHES "\\)KVLIST\"")
    message(FATAL_ERROR "${list_file} contains the raw-string delimiter")
  endif()
  string(APPEND body "        {\"${name}\", R\"KVLIST(${text})KVLIST\"},\n")
endforeach()
file(WRITE "${OUT}.tmp"
"// Generated from imports/*.txt by cmake/embed-import-lists.cmake: edit the lists, not this file.
#include \"tools/kvsim/importlists.h\"

namespace kvsim {

const std::vector<CImportListFile>& EmbeddedImportLists() {
    static const std::vector<CImportListFile> lists = {
${body}    };
    return lists;
}

}  // namespace kvsim
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")

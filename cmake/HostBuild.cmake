# Linux build: the library over winsim, the tools, and the host tests.

option(KVISINST_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(KVISINST_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

option(KVISINST_FUZZ "Build only the libFuzzer targets (needs clang)" OFF)
if(KVISINST_FUZZ)
  add_subdirectory(fuzz)
  return()
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
include(EmbedResources)

# winsim is a shared library so that the test programs, the tools and every simulated module loaded
# at run time (the library itself among them) act on one and the same simulated machine.
file(GLOB_RECURSE WINSIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/winsim/src/*.cpp)
add_library(winsim SHARED ${WINSIM_SOURCES})
target_include_directories(winsim PUBLIC ${CMAKE_SOURCE_DIR}/winsim/include)
target_link_libraries(winsim PUBLIC ${CMAKE_DL_LIBS} pthread)

# The library's string table and version block, compiled by windres from kvisinst.rc and read back
# by winsim's resource calls, so that both builds carry the same bytes.
kvisinst_embed_resources(${CMAKE_SOURCE_DIR}/kvisinst/kvisinst.rc ${CMAKE_BINARY_DIR}/generated/kvisinst_res.cpp)
# The export table that winsim's GetProcAddress serves, made from the 64-bit export list.
kvisinst_export_table(${CMAKE_SOURCE_DIR}/kvisinst/kvisinst-x64.def ${CMAKE_BINARY_DIR}/generated/kvisinst_exports.cpp)

add_library(kvisinst_objects OBJECT
  ${KVISINST_SOURCES}
  ${CMAKE_SOURCE_DIR}/winsim/loader/dll_entry.cpp
  ${CMAKE_BINARY_DIR}/generated/kvisinst_res.cpp
  ${CMAKE_BINARY_DIR}/generated/kvisinst_exports.cpp)
target_include_directories(kvisinst_objects PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(kvisinst_objects PUBLIC winsim)

# libkvisinst.so: what winsim's LoadLibraryA("KVISINST.DLL") maps, as a setup program would load it.
add_library(kvisinst SHARED $<TARGET_OBJECTS:kvisinst_objects>)
target_link_libraries(kvisinst PRIVATE winsim)
set_target_properties(kvisinst PROPERTIES CXX_VISIBILITY_PRESET hidden)
target_link_options(kvisinst PRIVATE -Wl,-Bsymbolic)

foreach(tool_dir kvsim kvtrace)
  file(GLOB tool_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/${tool_dir}/*.cpp)
  if(tool_sources)
    add_executable(${tool_dir} ${tool_sources})
    if(tool_dir STREQUAL "kvtrace")
      # The reader needs only the trace file's definitions and the cipher, not the rest of the library
      # or winsim: it runs on any Linux machine.
      target_sources(kvtrace PRIVATE ${CMAKE_SOURCE_DIR}/kvisinst/trace/cipher.cpp)
      target_include_directories(kvtrace PRIVATE ${CMAKE_SOURCE_DIR})
    else()
      # kvsim loads libkvisinst.so with LoadLibraryA, as a setup program loads KVISINST.DLL; only what
      # its own commands use directly (the platform form of a section) is compiled into it.
      target_sources(kvsim PRIVATE ${CMAKE_SOURCE_DIR}/kvisinst/inf/platform.cpp
                                   ${CMAKE_SOURCE_DIR}/kvisinst/common/osversion.cpp)
      # The scenario runner, written against Win32 once: here over winsim, for Windows in kvscenario.exe.
      file(GLOB scenario_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/scenario/*.cpp)
      list(FILTER scenario_sources EXCLUDE REGEX "kvscenario\\.cpp$")
      target_sources(kvsim PRIVATE ${scenario_sources})
      target_include_directories(kvsim PRIVATE ${CMAKE_SOURCE_DIR})
      target_link_libraries(kvsim PRIVATE winsim)
      target_compile_definitions(kvsim PRIVATE KVISINST_SO="$<TARGET_FILE:kvisinst>")
      add_dependencies(kvsim kvisinst)
      # The reviewed import lists, compiled in for `kvsim imports`.
      file(GLOB import_lists CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/imports/*.dll.txt)
      list(APPEND import_lists ${CMAKE_SOURCE_DIR}/imports/deny.txt)
      set(import_lists_cpp ${CMAKE_BINARY_DIR}/generated/kvsim_import_lists.cpp)
      add_custom_command(
        OUTPUT ${import_lists_cpp}
        COMMAND ${CMAKE_COMMAND} -DOUT=${import_lists_cpp} -DDIR=${CMAKE_SOURCE_DIR}/imports
                -P ${CMAKE_SOURCE_DIR}/cmake/embed-import-lists.cmake
        DEPENDS ${import_lists} ${CMAKE_SOURCE_DIR}/cmake/embed-import-lists.cmake
        COMMENT "Embedding the reviewed import lists")
      target_sources(kvsim PRIVATE ${import_lists_cpp})
    endif()
  endif()
endforeach()

add_subdirectory(tests)
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()

# Windows builds (mingw cross): KVISINST.DLL, the check of its export and import tables, and, in the
# 64-bit build, the Windows test suite that ctest runs under Wine.

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KVISINST_ARCH win64)
  set(KVISINST_DEF ${CMAKE_SOURCE_DIR}/kvisinst/kvisinst-x64.def)
  set(KVISINST_TOOL_PREFIX x86_64-w64-mingw32-)
  set(KVISINST_TESTS_DEFAULT ON)
else()
  set(KVISINST_ARCH win32)
  set(KVISINST_DEF ${CMAKE_SOURCE_DIR}/kvisinst/kvisinst.def)
  set(KVISINST_TOOL_PREFIX i686-w64-mingw32-)
  # The test programs are built here too; they run under 32-bit Wine in the Debian root that
  # scripts/wine32-root.sh builds (the machine's own Wine is 64-bit only).
  set(KVISINST_TESTS_DEFAULT ON)
endif()
option(KVISINST_WINDOWS_TESTS "Build the Windows test programs (run under Wine)" ${KVISINST_TESTS_DEFAULT})

# The DLL and the test programs share the top of the build folder, so that a test's
# LoadLibraryA("KVISINST.DLL") finds the library next to the program, as a setup program finds it
# next to itself.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The resources go through windres by hand rather than as an RC source: the project's warning flags
# apply to every language of the directory, and windres knows none of them. The .rc file is UTF-8.
set(KVISINST_RES_OBJ ${CMAKE_BINARY_DIR}/generated/kvisinst_res.o)
add_custom_command(
  OUTPUT ${KVISINST_RES_OBJ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${CMAKE_RC_COMPILER} -c 65001 -O coff -I ${CMAKE_SOURCE_DIR}/kvisinst
          -i ${CMAKE_SOURCE_DIR}/kvisinst/kvisinst.rc -o ${KVISINST_RES_OBJ}
  DEPENDS ${CMAKE_SOURCE_DIR}/kvisinst/kvisinst.rc
  COMMENT "Compiling kvisinst.rc")
set_source_files_properties(${KVISINST_RES_OBJ} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)

# The library's code once, for the DLL and for the test programs that call its internals directly.
add_library(kvisinst_objects OBJECT ${KVISINST_SOURCES})
target_include_directories(kvisinst_objects PUBLIC ${CMAKE_SOURCE_DIR})
# Only system DLLs; what a Windows version may lack (cfgmgr32, netapi32, shlwapi, toolhelp) is loaded
# by name at run time and so is not linked.
target_link_libraries(kvisinst_objects PUBLIC
  advapi32 setupapi user32 ole32 oleaut32 shell32 uuid version)

# Linking the object library brings in its objects and its system libraries.
add_library(kvisinst SHARED ${KVISINST_RES_OBJ} ${KVISINST_DEF})
target_link_libraries(kvisinst PRIVATE kvisinst_objects)
set_target_properties(kvisinst PROPERTIES OUTPUT_NAME KVISINST PREFIX "" SUFFIX ".DLL")
# The runtime (libgcc, libstdc++, winpthread) is linked in: the DLL must load on a bare Windows 95
# with nothing beside it but the system's own DLLs.
target_link_options(kvisinst PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
if(KVISINST_ARCH STREQUAL "win32")
  # The product ships small: every function and datum in a section of its own, the linker keeps only
  # what an export or the entry point reaches, and the symbols are stripped. The map file
  # (KVISINST.map) says what is left and where it comes from.
  target_compile_options(kvisinst_objects PRIVATE -Os -ffunction-sections -fdata-sections)
  target_sources(kvisinst PRIVATE ${CMAKE_SOURCE_DIR}/cmake/product/runtime.cpp)
  # The C runtime is crtdll.dll, which every Windows 95 and NT has, not msvcrt.dll, which the first
  # Windows 95 releases lack. mingw-w64's crtdll import library resolves everything the start-up code,
  # libstdc++ and libgcc call; the default libraries are named here with it in msvcrt's place.
  # advapi32 comes before kernel32: mingw-w64's kernel32 import library also offers the token calls
  # (OpenThreadToken, SetThreadToken), which only today's KERNEL32.DLL exports; Windows 95 to 2000
  # have them in ADVAPI32.DLL alone.
  target_link_options(kvisinst PRIVATE -nodefaultlibs)
  target_link_libraries(kvisinst PRIVATE
    -Wl,--start-group stdc++ mingw32 gcc gcc_eh mingwex crtdll advapi32 kernel32 -Wl,--end-group)
  target_link_options(kvisinst PRIVATE -Wl,--gc-sections -s -Wl,-Map=${CMAKE_BINARY_DIR}/KVISINST.map)
endif()
set_target_properties(kvisinst PROPERTIES LINK_DEPENDS ${KVISINST_DEF})

# Export and import tables of the built DLL.
find_program(KVISINST_OBJDUMP NAMES ${KVISINST_TOOL_PREFIX}objdump objdump REQUIRED)
find_program(KVISINST_UNDNAME NAMES llvm-undname llvm-undname-16 llvm-undname-15 llvm-undname-14)
add_test(NAME kvisinst_dll_tables
  COMMAND ${CMAKE_COMMAND}
    -DDLL=$<TARGET_FILE:kvisinst>
    -DOBJDUMP=${KVISINST_OBJDUMP}
    -DUNDNAME=${KVISINST_UNDNAME}
    -DEXPECTED=${CMAKE_SOURCE_DIR}/tests/windows/expected-exports-${KVISINST_ARCH}.txt
    -DDEF=${KVISINST_DEF}
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check-dll-tables.cmake)

set_tests_properties(kvisinst_dll_tables PROPERTIES LABELS static)

if(KVISINST_ARCH STREQUAL "win32")
  # Every DLL and function the product imports must be on the reviewed lists (imports/) for Windows
  # 95, 98, NT 4 and 2000, and nothing the library loads by name may be imported. kvsim judges it,
  # with the lists compiled in: the check and `kvsim imports` cannot disagree. kvsim is a host
  # program from the host preset's build (scripts/test-all.sh builds that first); without it the
  # test fails, it is never skipped.
  set(KVISINST_HOST_KVSIM ${CMAKE_SOURCE_DIR}/build/host/kvsim
      CACHE FILEPATH "kvsim from the host build, to judge the product DLL's imports")
  add_test(NAME kvisinst_imports COMMAND ${KVISINST_HOST_KVSIM} imports $<TARGET_FILE:kvisinst>)
  set_tests_properties(kvisinst_imports PROPERTIES LABELS static)
endif()

# kvscenario.exe: the scenario runner against the real DLL beside it (tools/scenario; kvsim's export
# table and value parsing, which compile for Windows too). A program for any Windows machine: the
# runtime is linked in.
file(GLOB KVSCENARIO_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/scenario/*.cpp)
add_executable(kvscenario ${KVSCENARIO_SOURCES} ${CMAKE_SOURCE_DIR}/tools/kvsim/exporttable.cpp
                          ${CMAKE_SOURCE_DIR}/tools/kvsim/regvalue.cpp)
target_include_directories(kvscenario PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(kvscenario PRIVATE advapi32 setupapi ole32 shell32 uuid)
target_link_options(kvscenario PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(kvscenario kvisinst)

if(KVISINST_WINDOWS_TESTS)
  add_subdirectory(tests/windows)
endif()

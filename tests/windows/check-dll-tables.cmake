# cmake -DDLL=KVISINST.DLL -DOBJDUMP=objdump -DEXPECTED=expected-exports.txt [-DUNDNAME=llvm-undname]
#       -P check-dll-tables.cmake
#
# Checks what a setup program and the Windows loader see of the built DLL:
# - the exported names are exactly those of the expected list (one name per line, '#' comments),
#   no more and no fewer; a difference is printed name by name;
# - every imported DLL is one of the system's own: a runtime DLL of the compiler (libgcc,
#   libstdc++, winpthread) would not be present on the target machines;
# - a 32-bit image asks for subsystem version 4.0 at most, or Windows 95 and NT 4 refuse to load it;
# - with llvm-undname, every Microsoft-decorated export decodes to a signature;
# - with -DDEF=kvisinst.def (32-bit), every export the .def file maps to a __stdcall symbol
#   (NAME=NAME@N) removes its N bytes of arguments: the first return instruction at the export's
#   address is "ret $N". A setup program that declares the function WINAPI relies on it.

cmake_minimum_required(VERSION 3.25)

foreach(var DLL OBJDUMP EXPECTED)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "check-dll-tables: -D${var}=... is required")
  endif()
endforeach()
if(NOT EXISTS "${DLL}")
  message(FATAL_ERROR "check-dll-tables: ${DLL} does not exist")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}"
  OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "check-dll-tables: ${OBJDUMP} -p ${DLL} failed (${dump_result}):\n${dump_error}")
endif()

# One list element per line. Decorated names use '?', '@' and '$', none of which a CMake list minds.
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" dump_lines "${dump}")

# The name table follows the line "[Ordinal/Name Pointer] Table" (binutils 2.40; older versions say
# "[Name Pointer/Ordinal]"), one "\t[  n] name" line per export, up to the first blank line.
set(actual_exports "")
set(export_ordinals "")  # each name's index into the export address table
set(imports "")
set(in_names FALSE)
set(subsystem_major "")
set(subsystem_minor "")
set(is_pe32 FALSE)
foreach(line IN LISTS dump_lines)
  if(line MATCHES "^\\[(Ordinal/Name Pointer|Name Pointer/Ordinal)\\] Table")
    set(in_names TRUE)
    continue()
  endif()
  if(in_names)
    if(line MATCHES "^[ \t]*\\[ *([0-9]+)\\] (.+)$")
      list(APPEND export_ordinals "${CMAKE_MATCH_1}")
      list(APPEND actual_exports "${CMAKE_MATCH_2}")
      continue()
    endif()
    set(in_names FALSE)
  endif()
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    list(APPEND imports "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^Magic[ \t]+[0-9a-fA-F]+[ \t]+\\(PE32\\)")
    set(is_pe32 TRUE)
  elseif(line MATCHES "^MajorSubsystemVersion[ \t]+([0-9]+)")
    set(subsystem_major "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^MinorSubsystemVersion[ \t]+([0-9]+)")
    set(subsystem_minor "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(failures "")

# Exports against the expected list.
file(STRINGS "${EXPECTED}" expected_lines)
set(expected_exports "")
foreach(line IN LISTS expected_lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  list(APPEND expected_exports "${line}")
endforeach()
set(missing ${expected_exports})
list(REMOVE_ITEM missing ${actual_exports})
set(unexpected ${actual_exports})
list(REMOVE_ITEM unexpected ${expected_exports})
if(missing OR unexpected)
  set(diff "")
  foreach(name IN LISTS missing)
    string(APPEND diff "  - ${name}   (expected, not exported)\n")
  endforeach()
  foreach(name IN LISTS unexpected)
    string(APPEND diff "  + ${name}   (exported, not expected)\n")
  endforeach()
  string(APPEND failures "exports differ from ${EXPECTED}:\n${diff}")
endif()
set(duplicates ${actual_exports})
list(REMOVE_DUPLICATES duplicates)
list(LENGTH duplicates unique_count)
list(LENGTH actual_exports actual_count)
if(NOT unique_count EQUAL actual_count)
  string(APPEND failures "an export name occurs more than once: ${actual_exports}\n")
endif()

# Imports: the system's DLLs only (compared without regard to case, as the loader does).
set(system_dlls
  kernel32.dll advapi32.dll user32.dll gdi32.dll setupapi.dll ole32.dll oleaut32.dll shell32.dll
  version.dll msvcrt.dll crtdll.dll comctl32.dll comdlg32.dll shlwapi.dll cfgmgr32.dll netapi32.dll)
if(NOT imports)
  string(APPEND failures "no imported DLL found in the objdump output (format changed?)\n")
endif()
foreach(dll IN LISTS imports)
  string(TOLOWER "${dll}" lower)
  if(lower MATCHES "^(libgcc|libstdc\\+\\+|libwinpthread)")
    string(APPEND failures "imports the compiler runtime ${dll}: link it statically\n")
  elseif(NOT lower IN_LIST system_dlls)
    string(APPEND failures "imports ${dll}, which is not a system DLL\n")
  endif()
endforeach()

if(is_pe32)
  if(subsystem_major STREQUAL "" OR subsystem_major GREATER 4
     OR (subsystem_major EQUAL 4 AND subsystem_minor GREATER 0))
    string(APPEND failures
      "subsystem version ${subsystem_major}.${subsystem_minor}: Windows 95 and NT 4 load 4.0 at most\n")
  endif()
endif()

# Every decorated name must decode; llvm-undname prints "error: Invalid mangled name" otherwise.
set(signatures "")
if(UNDNAME)
  foreach(name IN LISTS actual_exports)
    if(NOT name MATCHES "^\\?")
      continue()
    endif()
    execute_process(COMMAND "${UNDNAME}" "${name}"
      OUTPUT_VARIABLE decoded ERROR_VARIABLE decode_error RESULT_VARIABLE decode_result)
    string(STRIP "${decoded}" decoded)
    string(REGEX REPLACE "^[^\n]*\n" "" signature "${decoded}")
    if(NOT decode_result EQUAL 0 OR signature STREQUAL "")
      string(APPEND failures "${name} does not decode: ${decoded}${decode_error}\n")
    else()
      string(APPEND signatures "  ${name}\n      ${signature}\n")
    endif()
  endforeach()
endif()

# __stdcall exports: the export address table gives each name's RVA (objdump lists the names in
# ordinal order, the addresses by ordinal), the disassembly its first return.
set(stdcall_checked "")
if(is_pe32 AND DEF)
  set(image_base "")
  set(export_rvas "")
  set(in_addresses FALSE)
  foreach(line IN LISTS dump_lines)
    if(line MATCHES "^ImageBase[ \t]+([0-9a-fA-F]+)")
      set(image_base "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^Export Address Table -- Ordinal Base")
      set(in_addresses TRUE)
    elseif(in_addresses AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] ([0-9a-fA-F]+) Export RVA")
      list(APPEND export_rvas "${CMAKE_MATCH_1}")
    elseif(in_addresses AND line STREQUAL "")
      set(in_addresses FALSE)
    endif()
  endforeach()
  file(STRINGS "${DEF}" def_lines)
  foreach(line IN LISTS def_lines)
    if(NOT line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)=[A-Za-z_][A-Za-z0-9_]*@([0-9]+)")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    set(bytes "${CMAKE_MATCH_2}")
    list(FIND actual_exports "${name}" position)
    set(index -1)
    if(position GREATER_EQUAL 0)
      list(GET export_ordinals ${position} index)
    endif()
    list(LENGTH export_rvas rva_count)
    if(index LESS 0 OR index GREATER_EQUAL rva_count OR image_base STREQUAL "")
      string(APPEND failures "${name}: no export address found to check its stack cleanup\n")
      continue()
    endif()
    list(GET export_rvas ${index} rva)
    math(EXPR start "0x${image_base} + 0x${rva}" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR stop "${start} + 0x800" OUTPUT_FORMAT HEXADECIMAL)
    execute_process(COMMAND "${OBJDUMP}" -d --start-address=${start} --stop-address=${stop} "${DLL}"
      OUTPUT_VARIABLE code RESULT_VARIABLE code_result)
    set(first_ret "")
    if(code_result EQUAL 0 AND code MATCHES "\t(ret[^\n]*)")
      string(STRIP "${CMAKE_MATCH_1}" first_ret)
    endif()
    math(EXPR hex_bytes "${bytes}" OUTPUT_FORMAT HEXADECIMAL)
    if(NOT first_ret MATCHES "^ret[ l]*\\$${hex_bytes}$")
      string(APPEND failures "${name} should remove its ${bytes} bytes of arguments (ret $${hex_bytes}), "
                             "but its first return is '${first_ret}'\n")
    else()
      string(APPEND stdcall_checked " ${name}")
    endif()
  endforeach()
endif()

if(failures)
  message(FATAL_ERROR "${DLL}:\n${failures}")
endif()
list(JOIN imports ", " import_text)
message(STATUS "${DLL}: ${actual_count} exports as expected; imports ${import_text}\n"
               "__stdcall cleanup checked:${stdcall_checked}\n${signatures}")

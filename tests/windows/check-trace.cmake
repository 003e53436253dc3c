# Reads the trace file that the Windows test wrote under Wine with kvtrace, built on Linux by the host
# preset, and compares what it prints with the lines the Windows test expected.
#   cmake -DKVTRACE=... -DTRACE=... -DEXPECTED=... -P check-trace.cmake
if(NOT EXISTS "${KVTRACE}")
  message("kvtrace not built: build the host preset first (${KVTRACE})")
  return()
endif()
if(NOT EXISTS "${TRACE}" OR NOT EXISTS "${EXPECTED}")
  message(FATAL_ERROR "no trace from the Windows test: ${TRACE}")
endif()
execute_process(COMMAND "${KVTRACE}" "${TRACE}" RESULT_VARIABLE status OUTPUT_VARIABLE printed ERROR_VARIABLE errors)
file(READ "${EXPECTED}" expected)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kvtrace exited with ${status}: ${errors}")
endif()
if(NOT printed STREQUAL expected)
  message(FATAL_ERROR "kvtrace printed:\n${printed}\nexpected:\n${expected}")
endif()
message(STATUS "kvtrace read the Windows trace:\n${printed}")

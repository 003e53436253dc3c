# Runs one scenario on simulated Windows 2000 (kvsim from the host preset's build) and under Wine
# (kvscenario.exe with the built DLL beside it), and compares the two dumps; a difference not listed
# in the known Wine deviations fails.
#   cmake -DKVSIM=... -DKVSCENARIO=... -DEMULATOR=... -DSCENARIO=... -DDEVIATIONS=... -DOUT=... -P check-scenario.cmake
if(NOT EXISTS "${KVSIM}")
  message("kvsim not built: build the host preset first (${KVSIM})")
  return()
endif()
execute_process(COMMAND "${KVSIM}" scenario "${SCENARIO}" --version 2000 --out "${OUT}.winsim.dump"
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kvsim scenario exited with ${status}: ${errors}")
endif()
execute_process(COMMAND ${EMULATOR} "${KVSCENARIO}" "${SCENARIO}" --out "${OUT}.wine.dump"
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kvscenario exited with ${status} under Wine: ${errors}")
endif()
execute_process(COMMAND "${KVSIM}" compare "${OUT}.winsim.dump" "${OUT}.wine.dump" --deviations "${DEVIATIONS}"
                RESULT_VARIABLE status OUTPUT_VARIABLE printed ERROR_VARIABLE errors)
message("${printed}${errors}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the dumps differ where no known Wine deviation says why")
endif()

# Runs the Windows test program under Wine and passes only when it exits
# with 0 after GoogleTest reported at least one passed test and no failed
# one. Arguments: WINE, WINESERVER, EXE. The Wine environment comes from
# the caller. The prefix's Wine server is stopped afterwards rather than
# left to linger.
execute_process(COMMAND ${WINE} ${EXE}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
execute_process(COMMAND ${WINESERVER} -k OUTPUT_QUIET ERROR_QUIET)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "wine ${EXE} exited with ${rc}")
endif()
if(NOT out MATCHES "\\[  PASSED  \\] [1-9][0-9]* tests?\\.")
  message(FATAL_ERROR "no test passed under Wine")
endif()
if(out MATCHES "\\[  FAILED  \\]")
  message(FATAL_ERROR "tests failed under Wine")
endif()

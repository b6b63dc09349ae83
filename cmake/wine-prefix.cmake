# Makes a fresh Wine prefix: stops a Wine server left on the old one,
# removes PREFIX, lets wineboot create it and waits for the Wine server to
# finish. Arguments: PREFIX, WINEBOOT, WINESERVER; WINEPREFIX is PREFIX.
execute_process(COMMAND ${WINESERVER} -k OUTPUT_QUIET ERROR_QUIET)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${WINEBOOT} -i RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "wineboot -i failed (${rc}) for ${PREFIX}")
endif()
execute_process(COMMAND ${WINESERVER} -w)
if(NOT EXISTS ${PREFIX}/system.reg)
  message(FATAL_ERROR "wineboot left no registry in ${PREFIX}")
endif()

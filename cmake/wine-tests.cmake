# Runs the Windows test program under Wine as two ctests: a fresh Wine
# prefix under the build folder, then the whole suite against WYN.dll and
# the stand-in CWDLL32.dll/CWSTART.dll lying beside the program
# (cmake/wine-run.cmake judges the run).
find_program(WYN_WINE NAMES wine)
find_program(WYN_WINEBOOT NAMES wineboot)
find_program(WYN_WINESERVER NAMES wineserver)
set(WYN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Quiet, and no prompt to fetch Wine's .NET or HTML engines: none is needed.
set(WYN_WINE_ENV WINEPREFIX=${WYN_WINEPREFIX} WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml= WINEARCH=win32 DISPLAY=)

if(WYN_WINE AND WYN_WINEBOOT AND WYN_WINESERVER)
  add_test(NAME wine_prefix COMMAND ${CMAKE_COMMAND}
    -DPREFIX=${WYN_WINEPREFIX} -DWINEBOOT=${WYN_WINEBOOT} -DWINESERVER=${WYN_WINESERVER}
    -P ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.cmake)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine
    ENVIRONMENT "${WYN_WINE_ENV}" TIMEOUT 300)
  add_test(NAME wine_suite COMMAND ${CMAKE_COMMAND}
    -DWINE=${WYN_WINE} -DWINESERVER=${WYN_WINESERVER} -DEXE=$<TARGET_FILE:wyn_tests>
    -P ${PROJECT_SOURCE_DIR}/cmake/wine-run.cmake)
  set_tests_properties(wine_suite PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "${WYN_WINE_ENV}" TIMEOUT 1200
    WORKING_DIRECTORY $<TARGET_FILE_DIR:wyn_tests>)
else()
  # No Wine: fail loudly rather than skip the run.
  add_test(NAME wine_suite COMMAND ${CMAKE_COMMAND} -E false)
  message(WARNING "Wine not found: wine_suite will fail; run scripts/install-wine.sh")
endif()

# The wyn command-line tool (the session layer loads libwyn.so on Linux,
# WYN.dll on Windows) and, on Linux, its tests, which run the built tool as a
# user would.
file(GLOB WYN_TOOL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/*.cpp)
# The system layer of the tool is split by file, as the plug-in's is.
if(WIN32)
  list(FILTER WYN_TOOL_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
else()
  list(FILTER WYN_TOOL_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
endif()
if(WYN_TOOL_SOURCES)
  add_executable(wyn_tool ${WYN_TOOL_SOURCES})
  set_target_properties(wyn_tool PROPERTIES OUTPUT_NAME wyn)
  target_compile_options(wyn_tool PRIVATE ${WYN_WARNINGS})
  target_compile_definitions(wyn_tool PRIVATE WYN_VERSION="${PROJECT_VERSION}")
  # Everything the tool asks of the plug-in goes through the session layer.
  target_link_libraries(wyn_tool PRIVATE wynsession)
  add_dependencies(wyn_tool wyn)
  if(WIN32)
    # wyn.exe: the POSIX calls through UTF-16 (tools/win32), its own
    # runtime, and nothing beside it but WYN.dll and the two host DLLs.
    target_compile_options(wyn_tool PRIVATE ${WYN_WIN32_COMPAT})
    target_include_directories(wyn_tool PRIVATE ${PROJECT_SOURCE_DIR}/tools/win32)
    target_link_options(wyn_tool PRIVATE ${WYN_STATIC_RUNTIME} $<$<CONFIG:Release>:-s>)
    # clock_gettime comes from the MinGW-w64 threads library, linked in.
    target_link_libraries(wyn_tool PRIVATE wyn_compat winpthread)
    add_dependencies(wyn_tool cwstart)

    # The release folder, dist/, and its zip: the program, the plug-in, the
    # stand-in host DLLs and a short README, made by every build.
    set(dist ${CMAKE_BINARY_DIR}/dist)
    set(dist_files wyn.exe WYN.dll CWDLL32.dll CWSTART.dll README.txt)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/wyn-win32.zip
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${dist}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dist}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:wyn_tool> $<TARGET_FILE:wyn>
        $<TARGET_FILE:cwdll32> $<TARGET_FILE:cwstart>
        ${PROJECT_SOURCE_DIR}/tools/win32/README.txt ${dist}
      COMMAND ${CMAKE_COMMAND} -E chdir ${dist}
        ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/wyn-win32.zip --format=zip ${dist_files}
      DEPENDS wyn_tool wyn cwdll32 cwstart ${PROJECT_SOURCE_DIR}/tools/win32/README.txt
      COMMENT "Release folder dist/ and wyn-win32.zip" VERBATIM)
    add_custom_target(wyn_dist ALL DEPENDS ${CMAKE_BINARY_DIR}/wyn-win32.zip)
    add_test(NAME exe_imports COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${WYN_OBJDUMP}
      -DEXE=$<TARGET_FILE:wyn_tool> -DZIP=${CMAKE_BINARY_DIR}/wyn-win32.zip
      -P ${PROJECT_SOURCE_DIR}/tests/exe_imports.cmake)
    return()
  endif()

  # cmake --install BUILD --prefix PREFIX: the tool, the plug-in it loads from
  # beside itself and the stand-in editor go to PREFIX/lib/wyn, and
  # PREFIX/bin/wyn links to the tool there (the tool finds its folder through
  # the link).
  include(GNUInstallDirs)
  set_target_properties(wyn_tool PROPERTIES INSTALL_RPATH "$ORIGIN")
  set(WYN_INSTALL_DIR lib/wyn)
  install(TARGETS wyn_tool RUNTIME DESTINATION ${WYN_INSTALL_DIR})
  install(TARGETS wyn cwedit LIBRARY DESTINATION ${WYN_INSTALL_DIR})
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK ../${WYN_INSTALL_DIR}/wyn \"\${bin}/wyn\" SYMBOLIC)
    message(STATUS \"Installing: \${bin}/wyn -> ../${WYN_INSTALL_DIR}/wyn\")")

  # Tool tests: spawned processes, real files, a headless browser for the
  # HTML page. Linux only, so kept apart from tests/*.cpp.
  file(GLOB WYN_TOOL_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/tool/*.cpp)
  if(WYN_TOOL_TEST_SOURCES)
    find_package(GTest REQUIRED)
    # The output layer is also called in-process (sink_test.cpp).
    add_executable(wyn_tool_tests ${WYN_TOOL_TEST_SOURCES} ${PROJECT_SOURCE_DIR}/tools/output.cpp
      ${PROJECT_SOURCE_DIR}/tools/output_posix.cpp ${PROJECT_SOURCE_DIR}/tools/input.cpp)
    target_include_directories(wyn_tool_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools)
    target_compile_options(wyn_tool_tests PRIVATE ${WYN_WARNINGS})
    target_compile_definitions(wyn_tool_tests PRIVATE
      WYN_TOOL_PATH="$<TARGET_FILE:wyn_tool>"
      WYN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      WYN_VERSION="${PROJECT_VERSION}")
    target_link_libraries(wyn_tool_tests PRIVATE GTest::gtest GTest::gtest_main)
    add_dependencies(wyn_tool_tests wyn_tool)
    include(GoogleTest)
    gtest_discover_tests(wyn_tool_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS tool)

    # The same tests against wyn.exe under Wine, when WYN_WINE_TOOL names it
    # (scripts/test-wine-tool.sh): the tool is a small script that runs it
    # in the Windows build's Wine prefix. What cannot apply on Windows is
    # skipped with its reason (WYN_TOOL_UNDER_WINE); tests/tool/wine adds
    # what only Windows has, and compares wyn.exe with this build's tool.
    set(WYN_WINE_TOOL "" CACHE FILEPATH "wyn.exe the tool tests run under Wine")
    if(WYN_WINE_TOOL)
      set(WYN_WINE_PREFIX "" CACHE PATH "the Wine prefix wyn.exe runs in")
      find_program(WYN_WINE NAMES wine REQUIRED)
      set(wrapper ${CMAKE_BINARY_DIR}/wine-wyn)
      file(CONFIGURE OUTPUT ${wrapper} CONTENT "#!/bin/sh
# Runs wyn.exe under Wine as the tool tests run the tool. Wine reads the
# arguments and names in the locale's charset: UTF-8, as the tests write them.
LC_ALL=C.UTF-8 WINEPREFIX='${WYN_WINE_PREFIX}' WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEARCH=win32 DISPLAY= \\
  exec '${WYN_WINE}' '${WYN_WINE_TOOL}' \"$@\"
")
      file(CHMOD ${wrapper} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
        GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
      list(FILTER WYN_TOOL_TEST_SOURCES EXCLUDE REGEX "/sink_test\\.cpp$")
      file(GLOB WYN_WINE_TOOL_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/tool/wine/*.cpp)
      add_executable(wyn_tool_wine_tests ${WYN_TOOL_TEST_SOURCES} ${WYN_WINE_TOOL_TEST_SOURCES})
      target_include_directories(wyn_tool_wine_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/tool)
      target_compile_options(wyn_tool_wine_tests PRIVATE ${WYN_WARNINGS})
      target_compile_definitions(wyn_tool_wine_tests PRIVATE
        WYN_TOOL_PATH="${wrapper}" WYN_TOOL_UNDER_WINE=1
        WYN_LINUX_TOOL_PATH="$<TARGET_FILE:wyn_tool>"
        WYN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        WYN_VERSION="${PROJECT_VERSION}")
      target_link_libraries(wyn_tool_wine_tests PRIVATE GTest::gtest GTest::gtest_main)
      add_dependencies(wyn_tool_wine_tests wyn_tool)
      gtest_discover_tests(wyn_tool_wine_tests DISCOVERY_TIMEOUT 60 TEST_PREFIX wine.
        PROPERTIES LABELS wine-tool TIMEOUT 600)
    endif()
  endif()
endif()

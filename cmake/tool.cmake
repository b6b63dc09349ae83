# The wyn command-line tool (Linux form: loads libwyn.so with dlopen) and
# its tests, which run the built tool as a user would.
file(GLOB WYN_TOOL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/*.cpp)
if(WYN_TOOL_SOURCES)
  add_executable(wyn_tool ${WYN_TOOL_SOURCES})
  set_target_properties(wyn_tool PROPERTIES OUTPUT_NAME wyn)
  target_include_directories(wyn_tool PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/editor)
  target_compile_options(wyn_tool PRIVATE ${WYN_WARNINGS})
  target_compile_definitions(wyn_tool PRIVATE WYN_PLUGIN_NAME="$<TARGET_FILE_NAME:wyn>"
    WYN_VERSION="${PROJECT_VERSION}")
  target_link_libraries(wyn_tool PRIVATE cwedit)
  add_dependencies(wyn_tool wyn)

  # Tool tests: spawned processes, real files, a headless browser for the
  # HTML page. Linux only, so kept apart from tests/*.cpp.
  file(GLOB WYN_TOOL_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/tool/*.cpp)
  if(WYN_TOOL_TEST_SOURCES)
    find_package(GTest REQUIRED)
    add_executable(wyn_tool_tests ${WYN_TOOL_TEST_SOURCES})
    target_compile_options(wyn_tool_tests PRIVATE ${WYN_WARNINGS})
    target_compile_definitions(wyn_tool_tests PRIVATE
      WYN_TOOL_PATH="$<TARGET_FILE:wyn_tool>"
      WYN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      WYN_VERSION="${PROJECT_VERSION}")
    target_link_libraries(wyn_tool_tests PRIVATE GTest::gtest GTest::gtest_main)
    add_dependencies(wyn_tool_tests wyn_tool)
    include(GoogleTest)
    gtest_discover_tests(wyn_tool_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS tool)
  endif()
endif()

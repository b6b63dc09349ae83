# The language server (lsp/): a library the wyn tool links for `wyn lsp`,
# covered by the test program and the benchmarks, and a libFuzzer target
# fed with message streams (Linux). Read after the session layer's file,
# once the tool, test and benchmark targets exist.
if(WIN32)
  # The header-only JSON library from the build machine: its folder alone,
  # not the machine's whole include tree, through a link in the build.
  find_path(WYN_NLOHMANN_DIR json.hpp PATHS /usr/include/nlohmann NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
  file(CREATE_LINK ${WYN_NLOHMANN_DIR} ${CMAKE_BINARY_DIR}/json-include/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE
    ${CMAKE_BINARY_DIR}/json-include)
else()
  find_package(nlohmann_json 3 REQUIRED)
endif()

file(GLOB WYN_LSP_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/lsp/*.cpp)
add_library(wynlsp STATIC ${WYN_LSP_SOURCES})
target_include_directories(wynlsp PUBLIC ${PROJECT_SOURCE_DIR}/lsp)
target_compile_options(wynlsp PRIVATE ${WYN_WARNINGS})
target_compile_definitions(wynlsp PRIVATE WYN_VERSION="${PROJECT_VERSION}")
if(WIN32)
  target_compile_options(wynlsp PRIVATE ${WYN_WIN32_COMPAT})
endif()
target_link_libraries(wynlsp PUBLIC wynsession nlohmann_json::nlohmann_json)
if(WYN_SANITIZE)
  target_compile_options(wynlsp PRIVATE ${WYN_SANITIZE_FLAGS})
endif()
if(WIN32)
  # wyn.exe serves it; its tests run in the Windows suite too.
  target_link_libraries(wyn_tool PRIVATE wynlsp)
  if(TARGET wyn_tests)
    target_link_libraries(wyn_tests PRIVATE wynlsp)
  endif()
  return()
endif()
foreach(t wyn_tool wyn_tests wyn_bench)
  if(TARGET ${t})
    target_link_libraries(${t} PRIVATE wynlsp)
  endif()
endforeach()
# bench/lsp_bench.cpp loads the plug-in and reads the examples.
if(TARGET wyn_bench)
  target_compile_definitions(wyn_bench PRIVATE WYN_PLUGIN_PATH="$<TARGET_FILE:wyn>"
    WYN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(wyn_bench wyn)
endif()

# Protocol cases as transcripts of a conversation (tests/lsp/transcripts),
# each a test of its own, run by a small driver against the built `wyn lsp`;
# in the Wine tool build, against wyn.exe too.
add_executable(wyn_lsp_transcript ${PROJECT_SOURCE_DIR}/tests/lsp/transcript.cpp)
target_compile_options(wyn_lsp_transcript PRIVATE ${WYN_WARNINGS})
target_link_libraries(wyn_lsp_transcript PRIVATE nlohmann_json::nlohmann_json)
add_dependencies(wyn_lsp_transcript wyn_tool)
file(GLOB WYN_TRANSCRIPTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/lsp/transcripts/*.test)
foreach(t ${WYN_TRANSCRIPTS})
  get_filename_component(name ${t} NAME_WE)
  add_test(NAME lsp_transcript.${name} COMMAND wyn_lsp_transcript ${t} $<TARGET_FILE:wyn_tool> lsp)
  set_tests_properties(lsp_transcript.${name} PROPERTIES LABELS lsp TIMEOUT 60)
endforeach()
# The driver's own checks: transcripts that must fail, each with its message.
set(WYN_TRANSCRIPT_FAULTS "wrong-answer=message.result.serverInfo.name differs"
  "unwanted-message=expected no message matching" "missing-answer=the server's output ended")
foreach(case ${WYN_TRANSCRIPT_FAULTS})
  string(REPLACE "=" ";" case ${case})
  list(GET case 0 name)
  list(GET case 1 message)
  add_test(NAME lsp_transcript_fault.${name} COMMAND wyn_lsp_transcript
    ${PROJECT_SOURCE_DIR}/tests/lsp/transcript-faults/${name}.test $<TARGET_FILE:wyn_tool> lsp)
  set_tests_properties(lsp_transcript_fault.${name} PROPERTIES LABELS lsp TIMEOUT 60
    PASS_REGULAR_EXPRESSION "${message}")
endforeach()

# The fuzz target: the server's message loop, instrumented, over the
# ordinary stand-in and plug-in libraries, which other targets fuzz.
if(WYN_FUZZ)
  add_executable(wyn_fuzz_lsp ${PROJECT_SOURCE_DIR}/fuzz/fuzz_lsp.cpp ${WYN_LSP_SOURCES}
    ${WYN_SESSION_SOURCES})
  target_include_directories(wyn_fuzz_lsp PRIVATE ${PROJECT_SOURCE_DIR}/lsp
    ${PROJECT_SOURCE_DIR}/session ${PROJECT_SOURCE_DIR}/editor ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(wyn_fuzz_lsp PRIVATE WYN_VERSION="${PROJECT_VERSION}"
    WYN_PLUGIN_NAME="$<TARGET_FILE_NAME:wyn>" WYN_PLUGIN_PATH="$<TARGET_FILE:wyn>")
  target_compile_options(wyn_fuzz_lsp PRIVATE ${WYN_WARNINGS} ${WYN_FUZZ_FLAGS} -fsanitize=fuzzer)
  target_link_options(wyn_fuzz_lsp PRIVATE ${WYN_FUZZ_FLAGS} -fsanitize=fuzzer)
  target_link_libraries(wyn_fuzz_lsp PRIVATE cwedit nlohmann_json::nlohmann_json)
  add_dependencies(wyn_fuzz_lsp wyn)
  add_dependencies(wyn_fuzzers wyn_fuzz_lsp)
  set(scratch ${CMAKE_BINARY_DIR}/fuzz-scratch/lsp)
  file(MAKE_DIRECTORY ${scratch} ${CMAKE_BINARY_DIR}/fuzz-artifacts)
  # Each input starts the plug-in afresh, which makes a run dear: fewer runs
  # here, as for the configuration target; 20,000 pass when run by hand.
  set(runs 4000)
  if(WYN_FUZZ_RUNS LESS runs)
    set(runs ${WYN_FUZZ_RUNS})
  endif()
  add_test(NAME fuzz_lsp
    COMMAND wyn_fuzz_lsp -runs=${runs} -seed=1 -max_len=8192 -timeout=10
      -artifact_prefix=${CMAKE_BINARY_DIR}/fuzz-artifacts/lsp-
      ${scratch} ${PROJECT_SOURCE_DIR}/fuzz/corpus/lsp)
  set_tests_properties(fuzz_lsp PROPERTIES LABELS fuzz)
endif()

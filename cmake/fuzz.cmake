# libFuzzer targets (option WYN_FUZZ, preset fuzz, clang only): one program
# wyn_fuzz_<target> per target, each fuzz/target.cpp built with the target's
# name, driving the plug-in through the stand-in editor, both compiled here
# with AddressSanitizer and UndefinedBehaviorSanitizer, the stand-in linked
# statically. Read at the end of linux.cmake. ctest (label fuzz) runs each
# target for a short fixed number of runs on its corpus.
option(WYN_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(NOT WYN_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "WYN_FUZZ needs clang++ (libFuzzer); use the fuzz preset")
endif()

set(WYN_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer)
set(WYN_FUZZ_RUNS 20000 CACHE STRING "Runs per fuzz target under ctest")
# The configuration target starts the plug-in afresh for most inputs, which
# makes each run some forty times dearer; it gets fewer.
set(WYN_FUZZ_RUNS_config 4000)

# The plug-in, instrumented for coverage, and the stand-in.
add_library(wyn_fuzz_core OBJECT ${WYN_PLUGIN_SOURCES})
target_compile_options(wyn_fuzz_core PRIVATE ${WYN_WARNINGS} ${WYN_FUZZ_FLAGS}
  -fsanitize=fuzzer-no-link -fno-exceptions -fno-rtti)
target_include_directories(wyn_fuzz_core PUBLIC ${PROJECT_SOURCE_DIR}/src)

add_library(wyn_fuzz_editor STATIC ${CWEDIT_SOURCES})
target_compile_definitions(wyn_fuzz_editor PRIVATE CW_BUILDING_HOST)
# The stand-in is sanitized but not traced for coverage: the plug-in's paths
# are what the fuzzers explore.
target_compile_options(wyn_fuzz_editor PRIVATE ${WYN_WARNINGS} ${WYN_FUZZ_FLAGS})
target_include_directories(wyn_fuzz_editor PUBLIC ${PROJECT_SOURCE_DIR}/editor
  ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(wyn_fuzz_editor PUBLIC PkgConfig::PCRE2 ${CMAKE_DL_LIBS})

# The host operations the plug-in's loops call pass the step guard first.
# ORDER: the GUARD list in fuzz/step_guard.cpp.
set(WYN_FUZZ_WRAPPED ScanNext ScanPrev ScanChar ScanPrevLine ScanLineLastChar
  ScanLineDown ScanSetPos CursorDown RegexSearch)
list(TRANSFORM WYN_FUZZ_WRAPPED PREPEND "-Wl,--wrap=" OUTPUT_VARIABLE WYN_FUZZ_WRAP_OPTIONS)

add_custom_target(wyn_fuzzers)

# The program that wrote the committed seed corpora (fuzz/seeds.cpp).
add_executable(wyn_fuzz_seeds ${PROJECT_SOURCE_DIR}/fuzz/seeds.cpp)
target_include_directories(wyn_fuzz_seeds PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(wyn_fuzz_seeds PRIVATE ${WYN_WARNINGS})
add_dependencies(wyn_fuzzers wyn_fuzz_seeds)

# ORDER: the targets table in tests/support/harness.h.
set(WYN_FUZZ_TARGETS colour update edit config)
foreach(short ${WYN_FUZZ_TARGETS})
  set(name fuzz_${short})
  add_executable(wyn_${name} ${PROJECT_SOURCE_DIR}/fuzz/target.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/step_guard.cpp $<TARGET_OBJECTS:wyn_fuzz_core>)
  target_compile_definitions(wyn_${name} PRIVATE WYN_FUZZ_TARGET="${short}")
  target_include_directories(wyn_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src
    ${PROJECT_SOURCE_DIR}/editor ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(wyn_${name} PRIVATE ${WYN_WARNINGS} ${WYN_FUZZ_FLAGS} -fsanitize=fuzzer)
  target_link_options(wyn_${name} PRIVATE ${WYN_FUZZ_FLAGS} -fsanitize=fuzzer ${WYN_FUZZ_WRAP_OPTIONS})
  target_link_libraries(wyn_${name} PRIVATE wyn_fuzz_editor)
  add_dependencies(wyn_fuzzers wyn_${name})

  # New inputs go to a scratch folder, never into the committed corpus.
  set(scratch ${CMAKE_BINARY_DIR}/fuzz-scratch/${short})
  file(MAKE_DIRECTORY ${scratch} ${CMAKE_BINARY_DIR}/fuzz-artifacts)
  set(runs ${WYN_FUZZ_RUNS})
  if(DEFINED WYN_FUZZ_RUNS_${short})
    set(runs ${WYN_FUZZ_RUNS_${short}})
  endif()
  add_test(NAME fuzz_${short}
    COMMAND wyn_${name} -runs=${runs} -seed=1 -max_len=4096 -timeout=10
      -artifact_prefix=${CMAKE_BINARY_DIR}/fuzz-artifacts/${short}-
      ${scratch} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${short})
  set_tests_properties(fuzz_${short} PROPERTIES LABELS fuzz)
endforeach()

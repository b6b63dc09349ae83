# Linux form: the plug-in as a shared library that a host loads with dlopen,
# the stand-in editor as the library it imports its host operations from.
include(CTest)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)

# -- stand-in editor ---------------------------------------------------------
file(GLOB CWEDIT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/editor/*.cpp)
list(FILTER CWEDIT_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
add_library(cwedit SHARED ${CWEDIT_SOURCES})
target_compile_definitions(cwedit PRIVATE CW_BUILDING_HOST)
# Every operation starts on a cache line: a host call costs a few
# nanoseconds, and where its few instructions fall would otherwise move the
# per-call figures with every unrelated change to the editor's code.
# The operations call each other and read the editor's state directly, not
# through the symbol table: nothing outside may interpose them.
target_compile_options(cwedit PRIVATE ${WYN_WARNINGS} -falign-functions=64
  -fno-semantic-interposition)
target_include_directories(cwedit PUBLIC ${PROJECT_SOURCE_DIR}/editor ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(cwedit PRIVATE PkgConfig::PCRE2 ${CMAKE_DL_LIBS})

# -- plug-in -----------------------------------------------------------------
# The entry files (start-up with its _init, library attach) go only into the
# library; tests and benchmarks link the rest of the plug-in directly and
# reach start-up through the loaded library, as the editor does.
set(WYN_ENTRY_SOURCES ${WYN_PLUGIN_SOURCES})
list(FILTER WYN_ENTRY_SOURCES INCLUDE REGEX "/src/frame/(startup|attach_posix)\\.cpp$")
list(REMOVE_ITEM WYN_PLUGIN_SOURCES ${WYN_ENTRY_SOURCES})
foreach(part wyn_core wyn_entry)
  if(part STREQUAL wyn_core)
    add_library(${part} OBJECT ${WYN_PLUGIN_SOURCES})
  else()
    add_library(${part} OBJECT ${WYN_ENTRY_SOURCES})
  endif()
  set_target_properties(${part} PROPERTIES POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  # Host operations are bound when the plug-in is loaded, so each call goes
  # straight through its address, without a lazy-binding stub on the way.
  target_compile_options(${part} PRIVATE ${WYN_WARNINGS} -fno-exceptions -fno-rtti -fno-plt)
  target_include_directories(${part} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endforeach()

add_library(wyn SHARED $<TARGET_OBJECTS:wyn_core> $<TARGET_OBJECTS:wyn_entry>)
# The plug-in exports a function named _init, the name ELF start files use
# for their own: leave those out and name the library's attach routine.
target_link_options(wyn PRIVATE -nostartfiles -Wl,-init,wyn_attach -Wl,-fini,wyn_detach
  -Wl,-Bsymbolic -Wl,--no-undefined)
target_link_libraries(wyn PRIVATE cwedit)

# -- what tests and benchmarks build on ---------------------------------------
# The shared fixtures (tests/support, headers only) and the stand-in they
# drive; each program adds the plug-in's objects itself.
add_library(wyn_support INTERFACE)
target_include_directories(wyn_support INTERFACE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(wyn_support INTERFACE cwedit)

# -- tests -------------------------------------------------------------------
find_package(GTest REQUIRED)
file(GLOB WYN_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*.cpp)
if(WYN_TEST_SOURCES)
  add_executable(wyn_tests ${WYN_TEST_SOURCES} $<TARGET_OBJECTS:wyn_core>)
  target_compile_options(wyn_tests PRIVATE ${WYN_WARNINGS})
  target_compile_definitions(wyn_tests PRIVATE
    WYN_PLUGIN_PATH="$<TARGET_FILE:wyn>"
    WYN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(wyn_tests PRIVATE wyn_support GTest::gtest GTest::gtest_main
    ${CMAKE_DL_LIBS})
  add_dependencies(wyn_tests wyn)
  include(GoogleTest)
  gtest_discover_tests(wyn_tests DISCOVERY_TIMEOUT 60)
endif()

# -- benchmarks --------------------------------------------------------------
find_package(benchmark REQUIRED)
file(GLOB WYN_BENCH_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/*.cpp)
if(WYN_BENCH_SOURCES)
  add_executable(wyn_bench ${WYN_BENCH_SOURCES} $<TARGET_OBJECTS:wyn_core>)
  target_compile_options(wyn_bench PRIVATE ${WYN_WARNINGS})
  target_link_libraries(wyn_bench PRIVATE wyn_support benchmark::benchmark
    benchmark::benchmark_main)
endif()
# Generated scripts of any size, for the measuring scripts in scripts/.
add_executable(wyn_gen ${PROJECT_SOURCE_DIR}/bench/gen/wyn_gen.cpp)
target_compile_options(wyn_gen PRIVATE ${WYN_WARNINGS})
target_include_directories(wyn_gen PRIVATE ${PROJECT_SOURCE_DIR}/tests)

# -- the wyn tool and its tests ---------------------------------------------
include(${PROJECT_SOURCE_DIR}/cmake/tool.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/sanitize.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/fuzz.cmake)

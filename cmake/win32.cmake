# Win32 form: WYN.dll, cdecl exports pinned by wyn.def, host operations
# imported by ordinal only through import libraries made from .def files.
# Beside it the stand-in editor as the two host DLLs, CWDLL32.dll and
# CWSTART.dll, and the test suite as a Windows program run under Wine.
include(CTest)
find_program(WYN_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool i686-w64-mingw32-dlltool REQUIRED)
find_program(WYN_OBJDUMP NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump i686-w64-mingw32-objdump REQUIRED)

# Every binary carries its own runtime, as the editor's plug-ins must.
set(WYN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

set(WYN_HOST_DEFS ${PROJECT_SOURCE_DIR}/src/host)
foreach(hostdll cwdll32 cwstart)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/lib${hostdll}.a
    COMMAND ${WYN_DLLTOOL} -d ${WYN_HOST_DEFS}/${hostdll}.def -l ${CMAKE_BINARY_DIR}/lib${hostdll}.a
    DEPENDS ${WYN_HOST_DEFS}/${hostdll}.def VERBATIM)
  add_custom_target(${hostdll}_imports DEPENDS ${CMAKE_BINARY_DIR}/lib${hostdll}.a)
endforeach()
# The host operations by ordinal, exactly as the real editor offers them.
set(WYN_HOST_IMPORTS ${CMAKE_BINARY_DIR}/libcwdll32.a ${CMAKE_BINARY_DIR}/libcwstart.a)

# -- plug-in -----------------------------------------------------------------
# Compiled once: linked into WYN.dll and into the test program, whose tests
# call plug-in internals directly.
add_library(wyn_core OBJECT ${WYN_PLUGIN_SOURCES})
target_compile_options(wyn_core PRIVATE ${WYN_WARNINGS} -fno-exceptions -fno-rtti)
target_include_directories(wyn_core PUBLIC ${PROJECT_SOURCE_DIR}/src)

add_library(wyn SHARED $<TARGET_OBJECTS:wyn_core> ${PROJECT_SOURCE_DIR}/src/frame/wyn.def)
set_target_properties(wyn PROPERTIES OUTPUT_NAME WYN PREFIX "")
add_dependencies(wyn cwdll32_imports cwstart_imports)
target_link_options(wyn PRIVATE ${WYN_STATIC_RUNTIME} -Wl,--enable-stdcall-fixup)
target_link_libraries(wyn PRIVATE ${WYN_HOST_IMPORTS})

add_test(NAME dll_surface COMMAND ${CMAKE_COMMAND}
  -DOBJDUMP=${WYN_OBJDUMP} -DDLL=$<TARGET_FILE:wyn>
  -DHOST_DEFS=${WYN_HOST_DEFS} -DPLUGIN_DEF=${PROJECT_SOURCE_DIR}/src/frame/wyn.def
  -P ${PROJECT_SOURCE_DIR}/tests/dll_surface.cmake)

# -- stand-in editor: CWDLL32.dll and CWSTART.dll ---------------------------
include(${PROJECT_SOURCE_DIR}/cmake/pcre2-win32.cmake)

# CWDLL32.dll holds the whole editor model. Its host operations sit at
# their import numbers, from the same .def the plug-in imports through, and
# carry their names too (the editor calls its own operations by name when a
# test registers them); the rest, the C API for tests and CWSTART's
# operations, is exported by name.
# Tests reach the editor's C++ internals too, so export all its own symbols
# (none of the static runtime's or PCRE2's).
file(GLOB CWDLL32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/editor/*.cpp)
list(FILTER CWDLL32_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
list(FILTER CWDLL32_SOURCES EXCLUDE REGEX "/cwstart_win32\\.cpp$")
file(READ ${WYN_HOST_DEFS}/cwdll32.def WYN_CWDLL32_DEF)
string(REPLACE " NONAME" "" WYN_CWDLL32_DEF "${WYN_CWDLL32_DEF}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/cwdll32-named.def CONTENT "${WYN_CWDLL32_DEF}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WYN_HOST_DEFS}/cwdll32.def)
add_library(cwdll32 SHARED ${CWDLL32_SOURCES} ${CMAKE_BINARY_DIR}/cwdll32-named.def)
set_target_properties(cwdll32 PROPERTIES OUTPUT_NAME CWDLL32 PREFIX "")
target_compile_definitions(cwdll32 PRIVATE CW_BUILDING_HOST)
target_compile_options(cwdll32 PRIVATE ${WYN_WARNINGS})
target_include_directories(cwdll32 PUBLIC ${PROJECT_SOURCE_DIR}/editor ${PROJECT_SOURCE_DIR}/src)
target_link_options(cwdll32 PRIVATE ${WYN_STATIC_RUNTIME}
  -Wl,--export-all-symbols -Wl,--exclude-libs,ALL)
target_link_libraries(cwdll32 PRIVATE wyn_pcre2)

# CWSTART.dll: its five operations at their import numbers, each
# forwarding to the model in CWDLL32.dll.
add_library(cwstart SHARED ${PROJECT_SOURCE_DIR}/editor/cwstart_win32.cpp
  ${PROJECT_SOURCE_DIR}/editor/cwstart.def)
set_target_properties(cwstart PROPERTIES OUTPUT_NAME CWSTART PREFIX "")
target_compile_options(cwstart PRIVATE ${WYN_WARNINGS})
target_link_options(cwstart PRIVATE ${WYN_STATIC_RUNTIME})
target_link_libraries(cwstart PRIVATE cwdll32)

# -- wyn.exe: the tool and the language server on WYN.dll ---------------------
# The front ends' POSIX file calls, taking UTF-8 names, over the system's
# UTF-16 calls: forced into the tool's, the session layer's and the
# server's sources.
set(WYN_WIN32_COMPAT "SHELL:-include ${PROJECT_SOURCE_DIR}/tools/win32/compat.h")
add_library(wyn_compat STATIC ${PROJECT_SOURCE_DIR}/tools/compat_win32.cpp)
target_compile_options(wyn_compat PRIVATE ${WYN_WARNINGS} ${WYN_WIN32_COMPAT})
include(${PROJECT_SOURCE_DIR}/cmake/tool.cmake)

# -- tests: the same sources as the Linux run, as a Windows program ------------
include(${PROJECT_SOURCE_DIR}/cmake/googletest-win32.cmake)
file(GLOB WYN_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*.cpp)
if(WYN_TEST_SOURCES)
  add_executable(wyn_tests ${WYN_TEST_SOURCES} $<TARGET_OBJECTS:wyn_core>)
  target_include_directories(wyn_tests PRIVATE ${PROJECT_SOURCE_DIR}/src
    ${PROJECT_SOURCE_DIR}/editor ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(wyn_tests PRIVATE ${WYN_WARNINGS}
    "SHELL:-include ${PROJECT_SOURCE_DIR}/tests/support/compat_win32.h")
  # WYN.dll lies beside the test program, where LoadLibrary looks first.
  target_compile_definitions(wyn_tests PRIVATE
    WYN_PLUGIN_PATH="$<TARGET_FILE_NAME:wyn>"
    WYN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # The plug-in objects reach the host by ordinal as WYN.dll does; the
  # ordinal import libraries come first so they, not CWDLL32's by-name
  # exports, bind the host operations. The C API comes from CWDLL32.
  add_dependencies(wyn_tests wyn cwstart cwdll32_imports cwstart_imports)
  target_link_options(wyn_tests PRIVATE ${WYN_STATIC_RUNTIME})
  target_link_libraries(wyn_tests PRIVATE ${WYN_HOST_IMPORTS} cwdll32 gtest gtest_main)
  include(${PROJECT_SOURCE_DIR}/cmake/wine-tests.cmake)
endif()

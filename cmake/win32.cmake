# Win32 form: WYN.dll, cdecl exports pinned by wyn.def, host operations
# imported by ordinal only through import libraries made from .def files.
include(CTest)
find_program(WYN_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool i686-w64-mingw32-dlltool REQUIRED)
find_program(WYN_OBJDUMP NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump i686-w64-mingw32-objdump REQUIRED)

set(WYN_HOST_DEFS ${PROJECT_SOURCE_DIR}/src/host)
foreach(hostdll cwdll32 cwstart)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/lib${hostdll}.a
    COMMAND ${WYN_DLLTOOL} -d ${WYN_HOST_DEFS}/${hostdll}.def -l ${CMAKE_BINARY_DIR}/lib${hostdll}.a
    DEPENDS ${WYN_HOST_DEFS}/${hostdll}.def VERBATIM)
  add_custom_target(${hostdll}_imports DEPENDS ${CMAKE_BINARY_DIR}/lib${hostdll}.a)
endforeach()

add_library(wyn SHARED ${WYN_PLUGIN_SOURCES} ${PROJECT_SOURCE_DIR}/src/frame/wyn.def)
set_target_properties(wyn PROPERTIES OUTPUT_NAME WYN PREFIX "")
target_compile_options(wyn PRIVATE ${WYN_WARNINGS} -fno-exceptions -fno-rtti)
target_include_directories(wyn PRIVATE ${PROJECT_SOURCE_DIR}/src)
add_dependencies(wyn cwdll32_imports cwstart_imports)
target_link_options(wyn PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup)
target_link_libraries(wyn PRIVATE ${CMAKE_BINARY_DIR}/libcwdll32.a ${CMAKE_BINARY_DIR}/libcwstart.a)

add_test(NAME dll_surface COMMAND ${CMAKE_COMMAND}
  -DOBJDUMP=${WYN_OBJDUMP} -DDLL=$<TARGET_FILE:wyn>
  -DHOST_DEFS=${WYN_HOST_DEFS} -DPLUGIN_DEF=${PROJECT_SOURCE_DIR}/src/frame/wyn.def
  -P ${PROJECT_SOURCE_DIR}/tests/dll_surface.cmake)

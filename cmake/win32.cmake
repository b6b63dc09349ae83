# The 32-bit Windows form's tools: the MinGW-w64 binutils that make import
# libraries from .def files and read a binary's imports, and the runtime
# every binary carries, as the editor's plug-ins must.
find_program(WYN_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool i686-w64-mingw32-dlltool REQUIRED)
find_program(WYN_OBJDUMP NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump i686-w64-mingw32-objdump REQUIRED)
set(WYN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

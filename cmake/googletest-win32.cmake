# GoogleTest for the Windows test program, built with the cross compiler
# from Debian's googletest sources. Gives the targets gtest and gtest_main.
# GoogleTest's Notification wants std::mutex, which the cross compiler's
# Win32 thread model lacks: it gets one on a Win32 event instead.
set(WYN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "Debian's googletest sources")
if(NOT EXISTS ${WYN_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "no googletest sources in ${WYN_GOOGLETEST_SOURCE} (Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${WYN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
target_sources(gtest PRIVATE ${PROJECT_SOURCE_DIR}/cmake/gtest_notification_win32.cpp)
target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
target_compile_options(gtest PUBLIC "SHELL:-include ${PROJECT_SOURCE_DIR}/cmake/gtest_notification_win32.h")

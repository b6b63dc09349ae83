# The session layer (session/): the one library front ends drive the plug-in
# through. Linked to the stand-in editor of the form being built; finds the
# plug-in beside the executable under the name that form gives it.
set(WYN_SESSION_SOURCES ${PROJECT_SOURCE_DIR}/session/session.cpp
  ${PROJECT_SOURCE_DIR}/session/script.cpp ${PROJECT_SOURCE_DIR}/session/outline.cpp)
if(WIN32)
  list(APPEND WYN_SESSION_SOURCES ${PROJECT_SOURCE_DIR}/session/session_win32.cpp)
  set(WYN_SESSION_EDITOR cwdll32)
else()
  list(APPEND WYN_SESSION_SOURCES ${PROJECT_SOURCE_DIR}/session/session_posix.cpp)
  set(WYN_SESSION_EDITOR cwedit)
endif()
add_library(wynsession STATIC ${WYN_SESSION_SOURCES})
target_include_directories(wynsession PUBLIC ${PROJECT_SOURCE_DIR}/session
  PRIVATE ${PROJECT_SOURCE_DIR}/editor ${PROJECT_SOURCE_DIR}/src)
target_compile_options(wynsession PRIVATE ${WYN_WARNINGS})
target_compile_definitions(wynsession PRIVATE WYN_PLUGIN_NAME="$<TARGET_FILE_NAME:wyn>")
target_link_libraries(wynsession PUBLIC ${WYN_SESSION_EDITOR})
if(WYN_SANITIZE)
  target_compile_options(wynsession PRIVATE ${WYN_SANITIZE_FLAGS})
endif()
if(WIN32)
  target_compile_options(wynsession PRIVATE ${WYN_WIN32_COMPAT})
  target_link_libraries(wynsession PUBLIC wyn_compat)
endif()
# The test program covers the session layer too.
if(TARGET wyn_tests)
  target_link_libraries(wyn_tests PRIVATE wynsession)
endif()

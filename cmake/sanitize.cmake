# Sanitizer form of the Linux build (option WYN_SANITIZE, preset linux-asan):
# the stand-in editor, the plug-in and every program of the tree built with
# AddressSanitizer and UndefinedBehaviorSanitizer, any report fatal. Read at
# the end of linux.cmake, once every target exists.
option(WYN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(NOT WYN_SANITIZE)
  return()
endif()

set(WYN_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer)
get_property(wyn_targets DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
foreach(t ${wyn_targets})
  get_target_property(kind ${t} TYPE)
  if(kind MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY|STATIC_LIBRARY|OBJECT_LIBRARY)$")
    target_compile_options(${t} PRIVATE ${WYN_SANITIZE_FLAGS})
  endif()
  if(kind MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
    target_link_options(${t} PRIVATE ${WYN_SANITIZE_FLAGS})
  endif()
endforeach()


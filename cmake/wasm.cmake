# The WebAssembly form (emscripten): the plug-in linked into the tool
# (WYN_STATIC_PLUGIN), PCRE2 built for it from Debian's source, C++
# exceptions as WebAssembly exceptions (the tool and the server catch
# bad_alloc and their own errors; a throw must never abort). The tool runs
# under Node with the host's files and standard streams as its own
# (NODERAWFS); platform/wasm/pre.js fits the loader to current Node and
# reads the server's input on a worker thread (library.js: the calls into it).
# Output: wyn.js, the launcher, and wyn.wasm beside it; and the server for
# a browser's worker (web/worker) in build/wasm-web.
if(NOT WYN_STATIC_PLUGIN)
  message(FATAL_ERROR "the WebAssembly form links the plug-in in: set WYN_STATIC_PLUGIN")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/pcre2-static.cmake)

add_compile_options(-fwasm-exceptions)
# The tool's readers keep buffers of 64 KiB on the stack, and the outline
# recurses over nested blocks: a native-sized stack, and a heap that grows.
add_link_options(-fwasm-exceptions -sALLOW_MEMORY_GROWTH=1 -sTOTAL_STACK=8MB
  --js-library ${PROJECT_SOURCE_DIR}/platform/wasm/library.js)
# The programs for Node; the browser's worker (web/worker, property
# WYN_WEB_WORKER) has neither the host's files nor its streams.
set(node_only $<NOT:$<BOOL:$<TARGET_PROPERTY:WYN_WEB_WORKER>>>)
add_link_options($<${node_only}:-sNODERAWFS=1> $<${node_only}:-sEXIT_RUNTIME=1>
  "$<${node_only}:SHELL:--pre-js ${PROJECT_SOURCE_DIR}/platform/wasm/pre.js>")

# The include check on small trees made in WORK, one case each: that it
# finds the file an include names as the compiler would, and that it fails,
# naming the line and the rule, exactly where the layer table says.
#
#   cmake -DROOT=<source folder> -DWORK=<scratch folder> -P tests/include_rules_test.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT ROOT OR NOT WORK)
  message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -DWORK=<scratch folder> -P ...")
endif()

# Headers every case's tree holds, so that includes resolve.
set(tree standin/cwedit.h standin/model.h session/session.h lsp/server.h lsp/lsp.h
  plugin/host/host.h plugin/frame/module.h cli/tool.h tests/support/files.h)

# file | its text ("\n" for new lines) | "" when allowed, else a line the check prints
set(cases
  "lsp/a.cpp        | #include \"session.h\"                 | "
  "lsp/a.cpp        | // first\\n#include \"cwedit.h\"       | lsp/a.cpp:2: #include \"cwedit.h\" names no file of the project"
  "lsp/a.cpp        | #include \"../standin/cwedit.h\"       | rule: the server (lsp/) may include only lsp/, session/"
  "lsp/a.cpp        | #include \"../tests/support/files.h\"  | (tests/support/files.h) is not allowed here"
  "session/a.cpp    | #include \"cwedit.h\"                  | "
  "session/a.cpp    | #include \"model.h\"                   | session/a.cpp:1: #include \"model.h\" (standin/model.h) is not allowed here"
  "cli/a.cpp        | #include \"lsp.h\"\\n#include \"tool.h\" | "
  "cli/a.cpp        | #include \"server.h\"                  | cli/a.cpp:1: #include \"server.h\" (lsp/server.h) is not allowed here"
  "cli/a.cpp        | #include \"../standin/cwedit.h\"       | rule: the tool (cli/) may include only cli/, session/, lsp/lsp.h"
  "platform/win32/a.h| #include \"../../cli/tool.h\"       | rule: the platform (platform/) may include only platform/"
  "plugin/frame/a.cpp| #include \"../host/host.h\"          | "
  "plugin/host/a.h  | #include \"../frame/module.h\"         | (plugin/frame/module.h) is not allowed here"
  "standin/a.cpp    | #include \"missing.h\"                 | standin/a.cpp:1: #include \"missing.h\" names no file of the project")

set(failures 0)
set(number 0)
foreach(case IN LISTS cases)
  math(EXPR number "${number} + 1")
  string(REPLACE "|" ";" cells "${case}")
  list(GET cells 0 file)
  list(GET cells 1 text)
  list(GET cells 2 want)
  string(STRIP "${file}" file)
  string(STRIP "${text}" text)
  string(STRIP "${want}" want)
  string(REPLACE "\\n" "\n" text "${text}")

  file(REMOVE_RECURSE "${WORK}")
  foreach(header IN LISTS tree)
    file(WRITE "${WORK}/${header}" "")
  endforeach()
  file(WRITE "${WORK}/${file}" "${text}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${WORK} -P ${ROOT}/tests/include_rules.cmake
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)

  if(want STREQUAL "")
    if(NOT rc EQUAL 0)
      message(NOTICE "case ${number} (${file}): refused an allowed include:\n${out}")
      math(EXPR failures "${failures} + 1")
    endif()
  else()
    string(FIND "${out}" "${want}" at)
    if(rc EQUAL 0 OR at EQUAL -1)
      message(NOTICE "case ${number} (${file}): wanted a failure printing\n  ${want}\n"
        "got (exit ${rc}):\n${out}")
      math(EXPR failures "${failures} + 1")
    endif()
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} of ${number} cases failed")
endif()
message(STATUS "${number} cases")

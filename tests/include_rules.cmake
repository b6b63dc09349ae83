# Keeps the layers apart: reads the quoted #include lines of every source
# and header, finds the file each one names as the compiler would (the
# including file's own folder first, then the folders the build gives its
# target), and fails on any include the table below does not allow, naming
# the rule and the line. The build already refuses most of these (a layer's
# public include folder is its own); this also catches a reach through a
# relative path, and says which rule it breaks.
#
#   cmake -DROOT=<source folder> -P tests/include_rules.cmake
#
# Angle-bracket includes are not read: they name system headers, and the
# platform layer's Windows stand-ins for two of those (platform/win32/
# iconv.h, langinfo.h) stand in for system headers. Neither is the header
# the platform layer forces in with -include on Windows.

cmake_minimum_required(VERSION 3.20)

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -P include_rules.cmake")
endif()

# One row per layer, bottom to top:
#   name | its folders | what it may include | where its includes are found
# A file belongs to the row with the longest folder that holds it. "May
# include" entries are folders (everything below them) or single headers; a
# file may always include from its own layer's folders. The last column
# mirrors the include folders the build gives the layer's targets, searched
# after the including file's own folder.
set(layers
  "platform      | platform        |                                            |"
  "host contract | plugin/host     | plugin/host                                | plugin"
  "plug-in       | plugin          | plugin                                     | plugin"
  "stand-in      | standin         | plugin/host                                | standin"
  # The session alone drives the plug-in, through the stand-in's public
  # header and the host contract whose values it passes on.
  "session       | session         | standin/cwedit.h plugin/host               | session standin"
  "server        | lsp             | session                                    | lsp session"
  # The tool serves `wyn lsp` through the server's door alone.
  "tool          | cli             | session lsp/lsp.h                          | cli session lsp"
  # The server in a browser's worker: the server's door alone.
  "web worker    | web/worker      | lsp/lsp.h                                  | lsp"
  # Tests, benchmarks and fuzz targets reach into every layer's internals;
  # none of those layers may include them.
  "tests         | tests           | plugin standin session lsp                 | tests plugin standin session lsp"
  "benchmarks    | bench           | tests plugin standin session lsp           | tests plugin standin session lsp"
  "fuzz targets  | fuzz            | tests plugin standin session lsp           | tests plugin standin session lsp"
  # The tool's tests run the built tool; only its input and output layer
  # in-process.
  "tool tests    | tests/cli       | tests/support cli/output.h cli/input.h     | tests/cli cli"
  "gtest shim    | cmake           |                                            |")

# Row i as the lists layer_<i>_name, _dirs, _may and _path.
set(layer_count 0)
set(all_dirs)
foreach(row IN LISTS layers)
  string(REPLACE "|" ";" cells "${row}")
  list(LENGTH cells n)
  if(NOT n EQUAL 4)
    message(FATAL_ERROR "include_rules.cmake: a row of the table needs four cells: ${row}")
  endif()
  set(i ${layer_count})
  foreach(cell name dirs may path)
    list(POP_FRONT cells value)
    string(STRIP "${value}" value)
    if(NOT cell STREQUAL "name")
      separate_arguments(value UNIX_COMMAND "${value}")
    endif()
    set(layer_${i}_${cell} "${value}")
  endforeach()
  list(APPEND all_dirs ${layer_${i}_dirs})
  math(EXPR layer_count "${layer_count} + 1")
endforeach()
math(EXPR last_layer "${layer_count} - 1")

# True when path (relative to ROOT) is entry or lies below the folder entry.
function(path_under path entry out)
  string(LENGTH "${entry}/" len)
  string(SUBSTRING "${path}" 0 ${len} head)
  if(path STREQUAL entry OR head STREQUAL "${entry}/")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The layer (row number) of a file: the row with the longest folder holding it.
function(layer_of file out)
  set(best -1)
  set(best_len -1)
  foreach(i RANGE ${last_layer})
    foreach(dir IN LISTS layer_${i}_dirs)
      path_under("${file}" "${dir}" inside)
      string(LENGTH "${dir}" len)
      if(inside AND len GREATER best_len)
        set(best ${i})
        set(best_len ${len})
      endif()
    endforeach()
  endforeach()
  set(${out} ${best} PARENT_SCOPE)
endfunction()

# The file (relative to ROOT) that `#include "name"` in file names, or "".
function(resolve file name layer out)
  get_filename_component(own "${file}" DIRECTORY)
  foreach(dir IN ITEMS "${own}" LISTS layer_${layer}_path)
    cmake_path(SET candidate NORMALIZE "${ROOT}/${dir}/${name}")
    if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
      file(RELATIVE_PATH rel "${ROOT}" "${candidate}")
      set(${out} "${rel}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

# The numbers of the lines of file that hold `#include "name"`.
function(lines_of file name out)
  file(READ "${ROOT}/${file}" text)
  # One list element per line: protect what CMake lists treat specially.
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "[" "<bracket>" text "${text}")
  string(REPLACE "]" "<bracket>" text "${text}")
  string(REPLACE "\\" "/" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  string(REGEX REPLACE "([.+*?^$()])" "\\\\\\1" quoted "${name}")
  set(numbers)
  set(number 0)
  foreach(line IN LISTS text)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"${quoted}\"")
      list(APPEND numbers ${number})
    endif()
  endforeach()
  list(JOIN numbers "," numbers)
  set(${out} "${numbers}" PARENT_SCOPE)
endfunction()

set(sources)
foreach(dir IN LISTS all_dirs)
  file(GLOB_RECURSE found RELATIVE "${ROOT}" "${ROOT}/${dir}/*.c" "${ROOT}/${dir}/*.cc"
    "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.hpp" "${ROOT}/${dir}/*.inc")
  list(APPEND sources ${found})
endforeach()
list(REMOVE_DUPLICATES sources)
list(SORT sources)

set(problems 0)
set(checked 0)
foreach(file IN LISTS sources)
  layer_of("${file}" layer)
  file(STRINGS "${ROOT}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX MATCH "#[ \t]*include[ \t]*\"([^\"]+)\"" directive "${line}")
    if(directive STREQUAL "")
      continue()  # the rest of a line a semicolon cut in two
    endif()
    set(name "${CMAKE_MATCH_1}")
    math(EXPR checked "${checked} + 1")
    resolve("${file}" "${name}" ${layer} target)
    if(target STREQUAL "")
      set(verdict "names no file of the project")
    else()
      set(verdict "")
      set(allowed FALSE)
      foreach(entry IN LISTS layer_${layer}_dirs layer_${layer}_may)
        path_under("${target}" "${entry}" inside)
        if(inside)
          set(allowed TRUE)
          break()
        endif()
      endforeach()
      if(NOT allowed)
        set(verdict "(${target}) is not allowed here")
      endif()
    endif()
    if(NOT verdict STREQUAL "")
      lines_of("${file}" "${name}" numbers)
      set(mine ${layer_${layer}_dirs})
      list(TRANSFORM mine APPEND "/")
      list(JOIN mine ", " mine)
      set(may)
      foreach(entry IN LISTS layer_${layer}_dirs layer_${layer}_may)
        if(NOT entry MATCHES "\\.")
          string(APPEND entry "/")  # a folder
        endif()
        list(APPEND may "${entry}")
      endforeach()
      list(JOIN may ", " may)
      message(NOTICE "${file}:${numbers}: #include \"${name}\" ${verdict}\n"
        "  rule: the ${layer_${layer}_name} (${mine}) may include only ${may}")
      math(EXPR problems "${problems} + 1")
    endif()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "include rules: no includes found under ${ROOT}")
endif()
if(problems GREATER 0)
  message(FATAL_ERROR "include rules: ${problems} of ${checked} includes break the layer table "
    "in tests/include_rules.cmake")
endif()
message(STATUS "include rules: ${checked} includes in ${layer_count} layers, all allowed")

# Fetches and unpacks Debian's pcre2 source package into DEST (emptied
# first: apt-get source will not overwrite a source tree). Tries VERSION,
# the version of the installed libpcre2-dev, first; when the archive cannot
# serve that one, any other Debian revision of the same upstream release.
# Arguments: DEST, VERSION, UPSTREAM.
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST})

set(candidates ${VERSION})
execute_process(COMMAND apt-cache madison pcre2 OUTPUT_VARIABLE madison ERROR_QUIET)
string(REGEX MATCHALL "[^\n]+" madison_lines "${madison}")
foreach(line IN LISTS madison_lines)
  if(line MATCHES "^ *pcre2 *\\| *([^ |]+) *\\|.* Sources$")
    set(v ${CMAKE_MATCH_1})
    string(REGEX REPLACE "^[0-9]+:" "" bare "${v}")
    string(REGEX REPLACE "-[^-]*$" "" bare "${bare}")
    if(bare STREQUAL UPSTREAM)
      list(APPEND candidates ${v})
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES candidates)

foreach(v IN LISTS candidates)
  execute_process(COMMAND apt-get source -qq pcre2=${v}
    WORKING_DIRECTORY ${DEST} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0 AND EXISTS ${DEST}/pcre2-${UPSTREAM}/CMakeLists.txt)
    message(STATUS "pcre2 source ${v} unpacked")
    return()
  endif()
  message(STATUS "pcre2 source ${v} not available:\n${out}")
  file(REMOVE_RECURSE ${DEST}/pcre2-${UPSTREAM})
endforeach()
message(FATAL_ERROR "no pcre2 ${UPSTREAM} source package could be fetched "
  "(deb-src entries missing? run scripts/install-wine.sh)")

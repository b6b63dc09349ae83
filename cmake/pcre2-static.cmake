# PCRE2 built statically for a form Debian ships no build of it for, from
# Debian's own source of it, 8-bit library only, JIT off (the stand-in needs
# none, and WebAssembly has no JIT to give).
# Windows: the source package of the installed libpcre2-dev's version, so
# both forms search with the same engine (pcre2-fetch.cmake falls back to
# another revision of the same release); needs deb-src entries and dpkg-dev
# (scripts/install-wine.sh sets both up).
# WebAssembly: the release's original tarball from the Debian archive,
# pinned by version and checksum, so the build needs no deb-src entries.
# Gives the imported target wyn_pcre2.
include(ExternalProject)

set(WYN_PCRE2_ROOT ${CMAKE_BINARY_DIR}/pcre2)

if(EMSCRIPTEN)
  set(WYN_PCRE2_UPSTREAM 10.42)
  set(WYN_PCRE2_SOURCE
    URL http://deb.debian.org/debian/pool/main/p/pcre2/pcre2_${WYN_PCRE2_UPSTREAM}.orig.tar.gz
    URL_HASH SHA256=c33b418e3b936ee3153de2c61cc638e7e4fe3156022a5c77d0711bcbb9d64f1f)
else()
  execute_process(COMMAND dpkg-query -W -f=\${Version}\\n libpcre2-dev
    OUTPUT_VARIABLE WYN_PCRE2_DEBIAN_VERSION RESULT_VARIABLE rc ERROR_QUIET)
  string(REGEX REPLACE "\n.*" "" WYN_PCRE2_DEBIAN_VERSION "${WYN_PCRE2_DEBIAN_VERSION}")
  if(NOT rc EQUAL 0 OR WYN_PCRE2_DEBIAN_VERSION STREQUAL "")
    message(FATAL_ERROR "libpcre2-dev is not installed: its version picks the pcre2 source to build")
  endif()
  # "10.42-1+deb12u2" unpacks into pcre2-10.42: drop any epoch and the revision.
  string(REGEX REPLACE "^[0-9]+:" "" WYN_PCRE2_UPSTREAM "${WYN_PCRE2_DEBIAN_VERSION}")
  string(REGEX REPLACE "-[^-]*$" "" WYN_PCRE2_UPSTREAM "${WYN_PCRE2_UPSTREAM}")
  set(WYN_PCRE2_SOURCE
    DOWNLOAD_COMMAND ${CMAKE_COMMAND} -DDEST=${WYN_PCRE2_ROOT}/fetch
      -DVERSION=${WYN_PCRE2_DEBIAN_VERSION} -DUPSTREAM=${WYN_PCRE2_UPSTREAM}
      -P ${PROJECT_SOURCE_DIR}/cmake/pcre2-fetch.cmake)
endif()

set(WYN_PCRE2_PREFIX ${WYN_PCRE2_ROOT}/install)
set(WYN_PCRE2_LIBRARY ${WYN_PCRE2_PREFIX}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}pcre2-8${CMAKE_STATIC_LIBRARY_SUFFIX})

ExternalProject_Add(pcre2_static
  PREFIX ${WYN_PCRE2_ROOT}
  SOURCE_DIR ${WYN_PCRE2_ROOT}/fetch/pcre2-${WYN_PCRE2_UPSTREAM}
  DOWNLOAD_DIR ${WYN_PCRE2_ROOT}
  ${WYN_PCRE2_SOURCE}
  UPDATE_COMMAND ""
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${WYN_PCRE2_PREFIX}
    -DCMAKE_INSTALL_LIBDIR=lib
    -DBUILD_SHARED_LIBS=OFF
    -DBUILD_STATIC_LIBS=ON
    -DPCRE2_BUILD_PCRE2_8=ON
    -DPCRE2_BUILD_PCRE2_16=OFF
    -DPCRE2_BUILD_PCRE2_32=OFF
    -DPCRE2_SUPPORT_JIT=OFF
    -DPCRE2_BUILD_PCRE2GREP=OFF
    -DPCRE2_BUILD_TESTS=OFF
    -DPCRE2_SUPPORT_LIBBZ2=OFF
    -DPCRE2_SUPPORT_LIBZ=OFF
    -DPCRE2_SUPPORT_LIBEDIT=OFF
    -DPCRE2_SUPPORT_LIBREADLINE=OFF
    -DPCRE2_STATIC_PIC=OFF
  BUILD_BYPRODUCTS ${WYN_PCRE2_LIBRARY}
  LOG_DOWNLOAD ON LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON
  LOG_OUTPUT_ON_FAILURE ON)

# The include folder must exist when the imported target is declared.
file(MAKE_DIRECTORY ${WYN_PCRE2_PREFIX}/include)
add_library(wyn_pcre2 STATIC IMPORTED GLOBAL)
set_target_properties(wyn_pcre2 PROPERTIES
  IMPORTED_LOCATION ${WYN_PCRE2_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${WYN_PCRE2_PREFIX}/include
  INTERFACE_COMPILE_DEFINITIONS PCRE2_STATIC)
add_dependencies(wyn_pcre2 pcre2_static)

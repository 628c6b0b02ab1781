# Building for 32-bit Windows (the win32 preset): the modules are PE32 DLLs
# beside the programs, their resources real Windows resources.

# The standard library is linked into each module. The unwinder is not:
# with a copy in each module an exception could not cross from one module
# into another, as the framework's exceptions must, so the compiler's
# libgcc_s_dw2-1.dll (and the thread library it needs) go beside the modules.
add_link_options(-static-libstdc++ -shared-libgcc)
foreach(runtime libgcc_s_dw2-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}")
    find_file(path ${runtime} PATHS /usr/${TESSORIN_TRIPLET}/lib /usr/lib/gcc/${TESSORIN_TRIPLET}/12-posix
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${runtime} not found: install the mingw-w64 toolchain")
  endif()
  file(COPY ${path} DESTINATION ${CMAKE_BINARY_DIR}/bin)
  unset(path CACHE)
endforeach()

# The command-line parser is header-only; its headers are taken alone, not
# the build machine's whole include folder.
if(EXISTS /usr/include/CLI/CLI.hpp)
  file(COPY /usr/include/CLI DESTINATION ${CMAKE_BINARY_DIR}/third-party/include)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 INTERFACE ${CMAKE_BINARY_DIR}/third-party/include)
endif()

# Programs built here run under Wine, in a prefix of the build's own: the
# build runs the resource generator, ctest runs the suites. The display is
# whatever the caller gives (make win32-test starts a virtual one).
set(TESSORIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/run-wine CONTENT [[#!/bin/sh
# Runs a program of this build under Wine. Written by the build.
# The modules are found beside the programs, and from elsewhere along the path.
export WINEPREFIX="@TESSORIN_WINEPREFIX@" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPATH="Z:@CMAKE_BINARY_DIR@/bin"
exec wine "$@"
]] @ONLY)
file(CHMOD ${CMAKE_BINARY_DIR}/run-wine PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/run-wine)

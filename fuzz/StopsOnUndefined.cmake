# Builds a deliberate signed overflow as a scratch libFuzzer target with the
# fuzz preset's compiler and flags, runs it on one input and requires the
# run to end at the overflow with the sanitizer's report. The target is
# built in SCRATCH and removed again; nothing of it is installed.
#
#   cmake -DSOURCE_DIR=<tree> -DSCRATCH=<dir> -P StopsOnUndefined.cmake
#
# Prints "SKIPPED:" and succeeds when the compiler or its sanitizer runtimes
# are not installed.
cmake_minimum_required(VERSION 3.25)

file(READ "${SOURCE_DIR}/CMakePresets.json" Presets)
string(JSON Count LENGTH "${Presets}" configurePresets)
math(EXPR Last "${Count} - 1")
set(Flags "")
foreach(I RANGE ${Last})
  string(JSON Name GET "${Presets}" configurePresets ${I} name)
  if(Name STREQUAL "fuzz")
    string(JSON Compiler GET "${Presets}" configurePresets ${I} cacheVariables CMAKE_CXX_COMPILER)
    string(JSON Flags GET "${Presets}" configurePresets ${I} cacheVariables CMAKE_CXX_FLAGS)
  endif()
endforeach()
if(Flags STREQUAL "")
  message(FATAL_ERROR "no fuzz preset with CMAKE_CXX_FLAGS in CMakePresets.json")
endif()

find_program(Clang NAMES ${Compiler})
if(NOT Clang)
  message("SKIPPED: ${Compiler} is not installed")
  return()
endif()

file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
file(WRITE "${SCRATCH}/overflow.cpp" [=[
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t Size) {
  volatile int Big = INT_MAX;
  const int Sum = Big + static_cast<int>(Size);  // overflows for any input that is not empty
  std::fprintf(stderr, "still running after %d\n", Sum);
  return 0;
}
]=])
file(WRITE "${SCRATCH}/input" "x")

# The flags as the fuzz targets get them: the preset's, then libFuzzer's link.
separate_arguments(FlagList UNIX_COMMAND "${Flags}")
execute_process(
  COMMAND "${Clang}" ${FlagList} -fsanitize=fuzzer -o "${SCRATCH}/overflow" "${SCRATCH}/overflow.cpp"
  RESULT_VARIABLE Built OUTPUT_VARIABLE BuildOut ERROR_VARIABLE BuildOut)
if(NOT Built EQUAL 0)
  if(BuildOut MATCHES "libclang_rt|cannot find -l")
    message("SKIPPED: the sanitizer runtimes for ${Compiler} are not installed\n${BuildOut}")
    file(REMOVE_RECURSE "${SCRATCH}")
    return()
  endif()
  message(FATAL_ERROR "the scratch target did not build:\n${BuildOut}")
endif()

execute_process(
  COMMAND "${SCRATCH}/overflow" "-artifact_prefix=${SCRATCH}/" "${SCRATCH}/input"
  RESULT_VARIABLE Status OUTPUT_VARIABLE RunOut ERROR_VARIABLE RunOut)
file(REMOVE_RECURSE "${SCRATCH}")
if(NOT RunOut MATCHES "runtime error: signed integer overflow")
  message(FATAL_ERROR "the overflow was not reported:\n${RunOut}")
endif()
if(Status EQUAL 0 OR RunOut MATCHES "still running")
  message(FATAL_ERROR "the run went on after the overflow (exit status ${Status}):\n${RunOut}")
endif()
message("the run ended at the overflow (exit status ${Status})")

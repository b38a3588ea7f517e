# Runs the example host twice on one new documents folder: the first run
# meets new users, the second what the first stored. Both must exit 0 and
# end with "minimal_host: OK".
# Usage: cmake -DHOST=<[emulator|...|]minimal_host> -DDOCS=<folder>
#              [-DPATH_PREFIX=<how the host sees this machine's paths>] -P run_example_host.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" HOST "${HOST}")
file(REMOVE_RECURSE "${DOCS}")
foreach(run first second)
  execute_process(COMMAND ${HOST} "${PATH_PREFIX}${DOCS}"
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0 OR NOT out MATCHES "\nminimal_host: OK\n")
    message(FATAL_ERROR "the ${run} run gave ${result}:\n${out}${err}")
  endif()
  message(STATUS "${run} run:\n${out}")
endforeach()
file(REMOVE_RECURSE "${DOCS}")

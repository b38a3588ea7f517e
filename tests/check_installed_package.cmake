# Installs the build tree into a scratch prefix, builds the consumer project
# against it, and runs the consumer: the package works outside this tree.
set(prefix "${WORK}/prefix")
file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${WORK}/build" -G Ninja
  "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "consumer configure failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK}/build"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "consumer build failed:\n${out}")
endif()
execute_process(COMMAND "${WORK}/build/consumer" RESULT_VARIABLE result OUTPUT_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out STREQUAL "consumer\n")
  message(FATAL_ERROR "consumer run gave ${result}: ${out}")
endif()
foreach(file bin/kelab include/kelabexperiment/kelabexperiment.h include/kelcore/locale.h
        include/kelscripting/threads/ui_thread.h lib/cmake/kelabexperiment/kelabexperimentConfig.cmake)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
message(STATUS "installed package builds and runs a consumer")

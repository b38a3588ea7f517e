# Prefix that turns a build-machine path into one that test programs can
# open: Windows programs under Wine reach the build machine's files through
# drive Z:.
if(KELAB_WINE)
  set(KELAB_TEST_PATH_PREFIX "Z:")
else()
  set(KELAB_TEST_PATH_PREFIX "")
endif()
# The JSON parsing suite as test programs see it.
set(KELAB_TEST_JSON_SUITE_DIR "${KELAB_TEST_PATH_PREFIX}${KELAB_JSON_SUITE_DIR}")

# kelab_add_test(<name> SOURCES ... LIBS ... [TIMEOUT seconds]): one GoogleTest
# executable, registered with CTest test by test; TIMEOUT overrides the
# preset's limit for tests that start many processes.
function(kelab_add_test name)
  if(NOT KELAB_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  set(timeout)
  if(ARG_TIMEOUT)
    set(timeout TIMEOUT ${ARG_TIMEOUT})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  kelab_set_warnings(${name})
  # Listing the tests of an emulated program starts the emulator too.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KELAB_JSON_SUITE_DIR=${KELAB_TEST_JSON_SUITE_DIR}" ${timeout})
endfunction()

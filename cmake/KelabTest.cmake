# kelab_add_test(<name> SOURCES ... LIBS ...): one GoogleTest executable,
# registered with CTest test by test.
function(kelab_add_test name)
  if(NOT KELAB_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  kelab_set_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "KELAB_SHARED_DIR=${KELAB_SHARED_DIR}")
endfunction()

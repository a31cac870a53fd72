# tidekeep_test(name sources... LIBS libs...): one GoogleTest binary whose cases are listed at
# test time and run headless, with the archiver libraries of this build on the search path.
function(tidekeep_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  tidekeep_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TIDEKEEP_ARCHIVERS=${TIDEKEEP_ARCHIVERS_DIR}")
endfunction()

# tidekeep_test(name [QT] sources... LIBS libs...): one GoogleTest binary whose cases are listed
# at test time and run headless, with the archiver libraries of this build on the search path.
# QT: the program's main() owns one QApplication for all its tests.
# No test waits with a deadline of its own; a case that hangs is ended by the TIMEOUT here.
set(TIDEKEEP_TEST_TIMEOUT 600 CACHE STRING "Seconds one test case may run before ctest ends it")

function(tidekeep_test name)
  cmake_parse_arguments(T "QT" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  if(T_QT)
    target_link_libraries(${name} PRIVATE ${T_LIBS} tk_qt_test_main GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  tidekeep_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${TIDEKEEP_TEST_TIMEOUT}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TIDEKEEP_ARCHIVERS=${TIDEKEEP_ARCHIVERS_DIR}")
endfunction()

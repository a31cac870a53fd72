# tidekeep_test(name [QT] sources... LIBS libs...): one GoogleTest binary whose cases are listed
# at test time and run headless, with the archiver libraries of this build on the search path.
# QT: the program's main() owns one QApplication for all its tests.
# No test waits with a deadline of its own; a case that hangs is ended by the TIMEOUT here.
set(TIDEKEEP_TEST_TIMEOUT 600 CACHE STRING "Seconds one test case may run before ctest ends it")

# Every test's environment. Under the sanitizers (TIDEKEEP_SANITIZE) any report ends the process
# that met it with an abort, children and the programs a test starts included, and leaks count.
set(TIDEKEEP_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TIDEKEEP_ARCHIVERS=${TIDEKEEP_ARCHIVERS_DIR}")
if(TIDEKEEP_SANITIZE)
  string(APPEND TIDEKEEP_TEST_ENVIRONMENT
    ";ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1"
    ";UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1")
endif()

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
               ENVIRONMENT "${TIDEKEEP_TEST_ENVIRONMENT}")
endfunction()

# tidekeep_test(name [QT] sources... LIBS libs...): one GoogleTest binary whose cases are listed
# at test time and run headless, with the archiver libraries of this build on the search path.
# QT: the program's main() owns one QApplication for all its tests.
function(tidekeep_test name)
  cmake_parse_arguments(T "QT" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  if(T_QT)
    target_link_libraries(${name} PRIVATE ${T_LIBS} tk_qt_test_main GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  tidekeep_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TIDEKEEP_ARCHIVERS=${TIDEKEEP_ARCHIVERS_DIR}")
endfunction()

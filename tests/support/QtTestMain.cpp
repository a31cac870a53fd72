// The entry of every test program that shows windows: one QApplication for all its tests, made
// before and ended after them, so that nothing of Qt outlives it at exit.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // Headless also when the test list is read, which runs without the tests' environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// One QApplication for the whole test run, made before the first test and destroyed after the
// last, while the toolkit's own statics are still alive (a function-local static application
// would be destroyed after them, at exit).
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override { FApp = std::make_unique<QApplication>(FArgc, FArgv); }
  void TearDown() override { FApp.reset(); }

 private:
  int FArgc = 1;
  char FArg0[16] = "ui_browse_tests";
  char* FArgv[2] = {FArg0, nullptr};
  std::unique_ptr<QApplication> FApp;
};

// gtest owns registered environments.
[[maybe_unused]] const ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

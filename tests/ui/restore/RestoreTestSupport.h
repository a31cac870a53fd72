// What the history and restore window tests share: one QApplication, a scratch folder per
// test, and backup.db redirected into it.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>

#include "Paths.h"
#include "QtTestApp.h"

namespace restoretest {

// A fresh folder under the temporary folder, removed with the test.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FPath = std::filesystem::temp_directory_path() /
            ("tk-restore-" + std::string(info->test_suite_name()) + "-" + info->name());
    std::filesystem::remove_all(FPath);
    std::filesystem::create_directories(FPath);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return FPath; }
  std::string str(std::string_view name = {}) const {
    return name.empty() ? FPath.string() : (FPath / name).string();
  }

 private:
  std::filesystem::path FPath;
};

// backup.db inside a scratch folder for the length of a test.
class ScratchDatabase {
 public:
  explicit ScratchDatabase(const ScratchDir& dir) : FPath(dir.str("backup.db")) {
    platform::SetDatabasePathOverride(FPath);
  }
  ~ScratchDatabase() { platform::SetDatabasePathOverride({}); }
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;
  const std::string& path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace restoretest

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
#include "TempFolder.h"

namespace restoretest {

// A fresh folder under the temporary folder, removed with the test.
class ScratchDir {
 public:
  const std::filesystem::path& path() const { return FPath; }
  std::string str(std::string_view name = {}) const {
    return name.empty() ? FPath.string() : (FPath / name).string();
  }

 private:
  TTempFolder FFolder{"tk-restore"};
  std::filesystem::path FPath = FFolder.path();
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

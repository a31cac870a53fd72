// A fresh, empty folder per test for database files, removed afterwards.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "Paths.h"
#include "SQLiteTable3.h"

class TempDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FDir = platform::JoinPath(platform::TempDir(), "tidekeep-store-" + std::to_string(::getpid()) + "-" +
                                                       info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(FDir);
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  std::string DbPath(const std::string& name = "test.db") const { return platform::JoinPath(FDir, name); }

  // The first column of the first row of a query, as text.
  static std::string Scalar(TSQLiteDatabase& db, std::string_view sql) {
    auto table = db.OpenTable(sql);
    EXPECT_TRUE(table->FirstRow()) << sql;
    return table->CellText(0);
  }

  std::string FDir;
};

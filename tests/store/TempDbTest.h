// A fresh, empty folder per test for database files, removed afterwards.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "SQLiteTable3.h"
#include "TempFolder.h"

class TempDbTest : public ::testing::Test {
 protected:
  std::string DbPath(const std::string& name = "test.db") const { return FFolder / name; }

  // The first column of the first row of a query, as text.
  static std::string Scalar(TSQLiteDatabase& db, std::string_view sql) {
    auto table = db.OpenTable(sql);
    EXPECT_TRUE(table->FirstRow()) << sql;
    return table->CellText(0);
  }

  TTempFolder FFolder{"tk-store"};
};

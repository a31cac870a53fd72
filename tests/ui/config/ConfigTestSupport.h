// A fresh backup.db per test (with the program's schema), raw queries to check what was stored,
// ordinary temporary folders for target pairs, and a trigger that makes a chosen write fail.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BackupDb.h"
#include "QtTestApp.h"
#include "Paths.h"
#include "SQLiteTable3.h"
#include "ScriptedDialogs.h"
#include "TempFolder.h"

class ConfigWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    folder = std::make_unique<TTempFolder>("tk-config");
    root = folder->path();
    dbPath = (root / "backup.db").string();
    platform::SetDatabasePathOverride(dbPath);
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
  }
  void TearDown() override {
    platform::SetDatabasePathOverride("");
    folder.reset();
  }

  // A real folder below the test's temporary folder.
  std::string Folder(const std::string& relative) {
    auto p = root / relative;
    std::filesystem::create_directories(p);
    return p.string();
  }

  // Every row of a query, each cell as text.
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    TSQLiteDatabase db(dbPath);
    auto table = db.OpenTable(sql);
    std::vector<std::vector<std::string>> rows;
    for (table->FirstRow(); !table->AtEnd(); table->NextRow()) {
      std::vector<std::string> row;
      for (int c = 0; c < table->ColumnCount(); ++c) row.push_back(table->CellText(c));
      rows.push_back(row);
    }
    return rows;
  }

  void Exec(const std::string& sql) {
    TSQLiteDatabase db(dbPath);
    db.RunSQL(sql);
  }

  // Makes every `event` (INSERT/DELETE) on table fail, optionally only when `when` holds.
  void FailOn(const std::string& event, const std::string& table, const std::string& when = "") {
    Exec("create trigger fail_" + table + " before " + event + " on " + table + (when.empty() ? "" : " when " + when) +
         " begin select raise(abort, 'disk full'); end");
  }

  // No connection was left holding a transaction: another writer gets in at once.
  void ExpectDatabaseFree() {
    EXPECT_NO_THROW(Exec("create table probe (x Int)"));
  }

  std::vector<backupdb::TargetPair> Targets() {
    auto db = backupdb::OpenDatabase();
    return backupdb::ReadTargets(*db);
  }

  std::unique_ptr<TTempFolder> folder;
  std::filesystem::path root;
  std::string dbPath;
  platform::ScriptedDialogs script;
};

// True when some message shown so far contains part.
inline bool Said(const platform::ScriptedDialogs& script, const std::string& part) {
  for (const auto& m : script.messages) {
    if (m.text.find(part) != std::string::npos) return true;
  }
  return false;
}

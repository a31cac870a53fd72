// What the application shell's tests share: the QApplication, a scratch folder per test with
// backup.db in it, and a few readers of the database.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "ARCHIVES.h"
#include "BackupDb.h"
#include "QtTestApp.h"
#include "Paths.h"
#include "SQLiteTable3.h"
#include "TempFolder.h"

namespace backupdb {
inline void PrintTo(const LogRow& r, std::ostream* os) {
  *os << "(" << r.target_folder << ", " << r.bkup_file << ", " << r.bkup_date << ")";
}
}  // namespace backupdb


// A fresh folder for one test, with the database path pointed into it; both undone at the end.
class ScratchDb {
 public:
  ScratchDb() { platform::SetDatabasePathOverride(db); }
  ~ScratchDb() { platform::SetDatabasePathOverride(""); }
  ScratchDb(const ScratchDb&) = delete;
  ScratchDb& operator=(const ScratchDb&) = delete;

  std::string Path(const std::string& name) const { return (dir / name).string(); }

 private:
  TTempFolder folder{"tk-app"};

 public:
  const std::filesystem::path dir = folder.path();
  const std::string db = folder / "backup.db";
};

inline std::vector<std::string> TableNames(const std::string& dbPath) {
  TSQLiteDatabase db(dbPath);
  auto t = db.OpenTable("select name from sqlite_master where type = 'table' order by name");
  std::vector<std::string> names;
  for (t->FirstRow(); !t->AtEnd(); t->NextRow()) names.push_back(t->CellText(0));
  return names;
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// A real LHA archive at path holding one small file.
inline void PackArchive(const ScratchDb& scratch, const std::string& path, const std::string& content) {
  const std::string src = scratch.Path("src");
  std::filesystem::remove_all(src);
  WriteFile(src + "/a.txt", content);
  TArchiveFile archiver;
  archiver.SetFileName(path);
  archiver.Options().x = 1;
  archiver.Options().r = 1;
  archiver.Options().jso = 0;
  ASSERT_EQ(archiver.Pack(0, nullptr, src + "/", {"*.*"}), 0) << archiver.Output();
}

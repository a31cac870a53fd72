// Every statement the program runs against backup.db. Values are bound, never spliced into the
// SQL, so any path (apostrophes included) is stored and read back unchanged.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SQLiteTable3.h"

namespace backupdb {

struct TargetPair {
  std::string target_folder, bkup_file;
  bool operator==(const TargetPair&) const = default;
};

struct Schedule {
  std::string bk_type = "0", bk_week, bk_month, bk_time = "12:00:00";
};

struct LogRow {
  std::string target_folder, bkup_file, bkup_date;
  bool operator==(const LogRow&) const = default;
};

// A new connection to the database at platform::DatabasePath().
std::unique_ptr<TSQLiteDatabase> OpenDatabase();
// Creates any missing table (m_log, m_schedule with its default row, m_bkup_delete_flg, m_bkup, in
// that order); true when m_bkup had to be created (the program's first run).
bool EnsureSchema(TSQLiteDatabase& db);

// Statement functions run in the caller's transaction when one is open.
std::vector<TargetPair> ReadTargets(TSQLiteDatabase& db);  // row order
void InsertTarget(TSQLiteDatabase& db, const TargetPair& pair);
void UpdateTarget(TSQLiteDatabase& db, const TargetPair& oldPair, const TargetPair& newPair);  // every equal row
void DeleteTarget(TSQLiteDatabase& db, const TargetPair& pair);                               // every equal row

std::optional<Schedule> ReadSchedule(TSQLiteDatabase& db);  // the last row; nullopt when none
// Delete and insert together: a failed insert keeps the old row.
void ReplaceSchedule(TSQLiteDatabase& db, int type, std::string_view week, std::string_view days,
                     std::string_view time);

// The last row's del_flg; 0 without rows; platform::EConvertError on text that is no number.
int ReadDeleteFlag(TSQLiteDatabase& db);
// Delete and insert together: a failed insert keeps the old row.
void ReplaceDeleteFlag(TSQLiteDatabase& db, int flag);

std::vector<LogRow> ReadLog(TSQLiteDatabase& db);  // row order
void InsertLog(TSQLiteDatabase& db, const LogRow& row);
void DeleteLog(TSQLiteDatabase& db, const LogRow& row);  // every equal row

}  // namespace backupdb

#include "BackupDb.h"

#include <optional>

#include "LocaleFormats.h"
#include "Paths.h"

namespace backupdb {

namespace {

// Joins the caller's transaction when one is open, else runs its own, so that a group of
// statements lands whole or not at all.
class TOwnTransaction {
 public:
  explicit TOwnTransaction(TSQLiteDatabase& db) {
    if (!db.InTransaction()) FTransaction.emplace(db);
  }
  void Commit() {
    if (FTransaction) FTransaction->Commit();
  }

 private:
  std::optional<TSQLiteTransaction> FTransaction;
};

}  // namespace

std::unique_ptr<TSQLiteDatabase> OpenDatabase() {
  return std::make_unique<TSQLiteDatabase>(platform::DatabasePath());
}

bool EnsureSchema(TSQLiteDatabase& db) {
  if (!db.HasTable("m_log")) {
    db.RunSQL("Create table m_log (target_folder Text,bkup_file Text,bkup_date Datetime)");
  }
  if (!db.HasTable("m_schedule")) {
    // Together, so that a schedule table never exists without its default row.
    TOwnTransaction tx(db);
    db.RunSQL("Create table m_schedule (bk_type Int,bk_week Text,bk_month Text,bk_time Time)");
    db.RunSQL("insert into m_schedule values (0,'','','12:00:00')");
    tx.Commit();
  }
  if (!db.HasTable("m_bkup_delete_flg")) {
    db.RunSQL("Create table m_bkup_delete_flg (del_flg Int)");
  }
  if (!db.HasTable("m_bkup")) {
    db.RunSQL("Create table m_bkup (target_folder Text, bkup_file Text)");
    return true;
  }
  return false;
}

std::vector<TargetPair> ReadTargets(TSQLiteDatabase& db) {
  std::vector<TargetPair> pairs;
  auto table = db.OpenTable("select * from m_bkup");
  table->FirstRow();
  while (!table->AtEnd()) {
    pairs.push_back({table->FieldText("target_folder"), table->FieldText("bkup_file")});
    table->NextRow();
  }
  return pairs;
}

void InsertTarget(TSQLiteDatabase& db, const TargetPair& pair) {
  const SQLValue values[] = {pair.target_folder, pair.bkup_file};
  db.RunSQL("insert into m_bkup values (?1,?2)", values);
}

void UpdateTarget(TSQLiteDatabase& db, const TargetPair& oldPair, const TargetPair& newPair) {
  const SQLValue values[] = {newPair.target_folder, newPair.bkup_file, oldPair.target_folder, oldPair.bkup_file};
  db.RunSQL("update m_bkup set target_folder = ?1, bkup_file = ?2 where target_folder = ?3 AND bkup_file = ?4",
            values);
}

void DeleteTarget(TSQLiteDatabase& db, const TargetPair& pair) {
  const SQLValue values[] = {pair.target_folder, pair.bkup_file};
  db.RunSQL("delete from m_bkup where target_folder = ?1 AND bkup_file = ?2", values);
}

std::optional<Schedule> ReadSchedule(TSQLiteDatabase& db) {
  std::optional<Schedule> schedule;
  auto table = db.OpenTable("select * from m_schedule");
  table->FirstRow();
  while (!table->AtEnd()) {
    schedule = Schedule{table->FieldText("bk_type"), table->FieldText("bk_week"), table->FieldText("bk_month"),
                        table->FieldText("bk_time")};
    table->NextRow();
  }
  return schedule;
}

void ReplaceSchedule(TSQLiteDatabase& db, int type, std::string_view week, std::string_view days,
                     std::string_view time) {
  const SQLValue values[] = {type, std::string(week), std::string(days), std::string(time)};
  TOwnTransaction tx(db);
  db.RunSQL("delete from m_schedule");
  db.RunSQL("insert into m_schedule values (?1,?2,?3,?4)", values);
  tx.Commit();
}

int ReadDeleteFlag(TSQLiteDatabase& db) {
  int flag = 0;
  auto table = db.OpenTable("select * from m_bkup_delete_flg");
  table->FirstRow();
  while (!table->AtEnd()) {
    flag = platform::StrToInt(table->FieldText("del_flg"));
    table->NextRow();
  }
  return flag;
}

void ReplaceDeleteFlag(TSQLiteDatabase& db, int flag) {
  const SQLValue values[] = {flag};
  TOwnTransaction tx(db);
  db.RunSQL("delete from m_bkup_delete_flg");
  db.RunSQL("insert into m_bkup_delete_flg values(?1)", values);
  tx.Commit();
}

std::vector<LogRow> ReadLog(TSQLiteDatabase& db) {
  std::vector<LogRow> rows;
  auto table = db.OpenTable("select * from m_log");
  table->FirstRow();
  while (!table->AtEnd()) {
    rows.push_back({table->FieldText("target_folder"), table->FieldText("bkup_file"), table->FieldText("bkup_date")});
    table->NextRow();
  }
  return rows;
}

void InsertLog(TSQLiteDatabase& db, const LogRow& row) {
  const SQLValue values[] = {row.target_folder, row.bkup_file, row.bkup_date};
  db.RunSQL("insert into m_log values (?1,?2,?3)", values);
}

void DeleteLog(TSQLiteDatabase& db, const LogRow& row) {
  const SQLValue values[] = {row.target_folder, row.bkup_file, row.bkup_date};
  db.RunSQL("delete from m_log where target_folder = ?1 AND bkup_file = ?2 AND bkup_date = ?3", values);
}

}  // namespace backupdb

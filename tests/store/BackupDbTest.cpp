#include "BackupDb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LocaleFormats.h"
#include "Paths.h"
#include "TempDbTest.h"

namespace {

using backupdb::LogRow;
using backupdb::TargetPair;

class BackupDbTest : public TempDbTest {
 protected:
  void SetUp() override {
    TempDbTest::SetUp();
    platform::SetDatabasePathOverride(DbPath("backup.db"));
    FDB = backupdb::OpenDatabase();
  }
  void TearDown() override {
    FDB.reset();
    platform::SetDatabasePathOverride("");
    TempDbTest::TearDown();
  }

  // Every row of a table, its cells joined by "|", in row order; appended to rows when given.
  std::vector<std::string> Dump(std::string_view table, std::string_view columns,
                                std::vector<std::string> rows = {}) {
    auto result = FDB->OpenTable("select " + std::string(columns) + " from " + std::string(table));
    result->FirstRow();
    while (!result->AtEnd()) {
      std::string row;
      for (int c = 0; c < result->ColumnCount(); ++c) row += (c ? "|" : "") + result->CellText(c);
      rows.push_back(row);
      result->NextRow();
    }
    return rows;
  }

  // A trigger that refuses every insert into the table, so a replace fails half-way.
  void RefuseInserts(std::string_view table) {
    FDB->RunSQL("create trigger refuse before insert on " + std::string(table) +
                " begin select raise(abort, 'refused'); end");
  }

  std::unique_ptr<TSQLiteDatabase> FDB;
};

TEST_F(BackupDbTest, OpensTheDatabaseAtItsPlace) {
  EXPECT_TRUE(std::filesystem::exists(DbPath("backup.db")));
}

TEST_F(BackupDbTest, NewFileGetsFourTablesAndTheDefaultSchedule) {
  EXPECT_TRUE(backupdb::EnsureSchema(*FDB));
  // SQLite keeps each create statement as run, with only its leading keywords in capitals.
  EXPECT_EQ(Dump("sqlite_master", "type, name, sql"),
            (std::vector<std::string>{
                "table|m_log|CREATE TABLE m_log (target_folder Text,bkup_file Text,bkup_date Datetime)",
                "table|m_schedule|CREATE TABLE m_schedule (bk_type Int,bk_week Text,bk_month Text,bk_time Time)",
                "table|m_bkup_delete_flg|CREATE TABLE m_bkup_delete_flg (del_flg Int)",
                "table|m_bkup|CREATE TABLE m_bkup (target_folder Text, bkup_file Text)",
            }));
  EXPECT_EQ(Dump("m_schedule", "typeof(bk_type), bk_type, bk_week, bk_month, bk_time"),
            (std::vector<std::string>{"integer|0|||12:00:00"}));
  EXPECT_TRUE(Dump("m_bkup_delete_flg", "*").empty());
  EXPECT_EQ(backupdb::ReadDeleteFlag(*FDB), 0);
  const auto schedule = backupdb::ReadSchedule(*FDB);
  ASSERT_TRUE(schedule);
  EXPECT_EQ(schedule->bk_type, "0");
  EXPECT_EQ(schedule->bk_week, "");
  EXPECT_EQ(schedule->bk_month, "");
  EXPECT_EQ(schedule->bk_time, "12:00:00");
  EXPECT_TRUE(backupdb::ReadTargets(*FDB).empty());
  EXPECT_TRUE(backupdb::ReadLog(*FDB).empty());
}

TEST_F(BackupDbTest, SecondSchemaCheckChangesNothing) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  backupdb::ReplaceSchedule(*FDB, 1, "1,3", "", "9:30:00");
  const auto before = Dump("sqlite_master", "name, sql");
  EXPECT_FALSE(backupdb::EnsureSchema(*FDB));
  EXPECT_EQ(Dump("sqlite_master", "name, sql"), before);
  EXPECT_EQ(Dump("m_schedule", "*"), (std::vector<std::string>{"1|1,3||9:30:00"}));
}

TEST_F(BackupDbTest, SchemaCheckAddsOnlyWhatIsMissing) {
  FDB->RunSQL("Create table M_BKUP (target_folder Text, bkup_file Text)");  // names compare without case
  FDB->RunSQL("insert into M_BKUP values ('/data','/backup/work.lzh')");
  EXPECT_FALSE(backupdb::EnsureSchema(*FDB));
  EXPECT_EQ(Dump("sqlite_master", "name"),
            (std::vector<std::string>{"M_BKUP", "m_log", "m_schedule", "m_bkup_delete_flg"}));
  EXPECT_EQ(backupdb::ReadTargets(*FDB), (std::vector<TargetPair>{{"/data", "/backup/work.lzh"}}));
  EXPECT_EQ(Dump("m_schedule", "*"), (std::vector<std::string>{"0|||12:00:00"}));
}

TEST_F(BackupDbTest, SchemaCheckNeverLeavesAScheduleWithoutItsRow) {
  // A temporary view of that name takes the inserts, so the default row cannot go in.
  FDB->RunSQL("create temp view m_schedule as select 1 as bk_type");
  EXPECT_THROW(backupdb::EnsureSchema(*FDB), ESQLiteException);
  EXPECT_FALSE(FDB->InTransaction());
  EXPECT_FALSE(FDB->HasTable("m_schedule"));
  FDB->RunSQL("drop view temp.m_schedule");
  EXPECT_TRUE(backupdb::EnsureSchema(*FDB));
  EXPECT_EQ(Dump("m_schedule", "*"), (std::vector<std::string>{"0|||12:00:00"}));
}

// Values are bound, so quotes and any other characters are stored and matched exactly.
TEST_F(BackupDbTest, AnyPathIsStoredUpdatedAndDeleted) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  const std::vector<TargetPair> pairs = {
      {"/home/o'brien/docs", "/backup/o'brien.lzh"},
      {"/data/\"quoted\"", "/backup/\"q\".lzh"},
      {"/ホーム/データ", "/バックアップ/作業.lzh"},
      {"x'); drop table m_bkup; --", "''"},
      {"", ""},
  };
  for (const auto& p : pairs) backupdb::InsertTarget(*FDB, p);
  EXPECT_EQ(backupdb::ReadTargets(*FDB), pairs);
  EXPECT_EQ(Dump("m_bkup", "typeof(target_folder), typeof(bkup_file)")[0], "text|text");

  std::vector<TargetPair> renamed;
  for (const auto& p : pairs) {
    renamed.push_back({p.target_folder + "/it's", p.bkup_file + "'"});
    backupdb::UpdateTarget(*FDB, p, renamed.back());
  }
  EXPECT_EQ(backupdb::ReadTargets(*FDB), renamed);

  for (const auto& p : renamed) backupdb::DeleteTarget(*FDB, p);
  EXPECT_TRUE(backupdb::ReadTargets(*FDB).empty());
  EXPECT_TRUE(FDB->HasTable("m_bkup"));
}

TEST_F(BackupDbTest, EqualPairsAreAllUpdatedAndAllDeleted) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  const TargetPair a{"/data", "/backup/data.lzh"}, b{"/work", "/backup/work.lzh"}, c{"/new", "/backup/new.lzh"};
  const TargetPair halfA{"/data", "/backup/other.lzh"};
  for (const auto& p : {a, b, a, halfA}) backupdb::InsertTarget(*FDB, p);
  backupdb::UpdateTarget(*FDB, a, c);
  EXPECT_EQ(backupdb::ReadTargets(*FDB), (std::vector<TargetPair>{c, b, c, halfA}));
  backupdb::DeleteTarget(*FDB, c);
  EXPECT_EQ(backupdb::ReadTargets(*FDB), (std::vector<TargetPair>{b, halfA}));
}

TEST_F(BackupDbTest, DeletesInOneTransactionLandTogether) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  const TargetPair a{"/a", "/a.lzh"}, b{"/b", "/b.lzh"};
  backupdb::InsertTarget(*FDB, a);
  backupdb::InsertTarget(*FDB, b);
  {
    TSQLiteTransaction tx(*FDB);
    backupdb::DeleteTarget(*FDB, a);
    backupdb::DeleteTarget(*FDB, b);
  }  // not committed
  EXPECT_EQ(backupdb::ReadTargets(*FDB), (std::vector<TargetPair>{a, b}));
  {
    TSQLiteTransaction tx(*FDB);
    backupdb::DeleteTarget(*FDB, a);
    backupdb::DeleteTarget(*FDB, b);
    tx.Commit();
  }
  EXPECT_TRUE(backupdb::ReadTargets(*FDB).empty());
}

TEST_F(BackupDbTest, ScheduleRoundTrips) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  struct Case { int type; const char* week; const char* days; const char* time; const char* stored; };
  const Case cases[] = {
      {1, "1,3", "", "9:30:00", "integer|1|1,3||9:30:00"},
      {2, "", "1,15,31", "23:05:00", "integer|2||1,15,31|23:05:00"},
      {2, "", "None selected", "0:00:00", "integer|2||None selected|0:00:00"},
      {0, "", "", "12:00:00", "integer|0|||12:00:00"},
  };
  for (const auto& c : cases) {
    backupdb::ReplaceSchedule(*FDB, c.type, c.week, c.days, c.time);
    EXPECT_EQ(Dump("m_schedule", "typeof(bk_type), bk_type, bk_week, bk_month, bk_time"),
              (std::vector<std::string>{c.stored}));
    const auto schedule = backupdb::ReadSchedule(*FDB);
    ASSERT_TRUE(schedule);
    EXPECT_EQ(schedule->bk_type, std::to_string(c.type));
    EXPECT_EQ(schedule->bk_week, c.week);
    EXPECT_EQ(schedule->bk_month, c.days);
    EXPECT_EQ(schedule->bk_time, c.time);
  }
  EXPECT_FALSE(FDB->InTransaction());
}

TEST_F(BackupDbTest, ScheduleReaderKeepsTheLastRow) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  FDB->RunSQL("insert into m_schedule values (1,'0,6','','7:00:00')");
  EXPECT_EQ(backupdb::ReadSchedule(*FDB)->bk_week, "0,6");
  FDB->RunSQL("delete from m_schedule");
  EXPECT_FALSE(backupdb::ReadSchedule(*FDB));
}

TEST_F(BackupDbTest, FailedScheduleReplaceKeepsTheOldRow) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  RefuseInserts("m_schedule");
  EXPECT_THROW(backupdb::ReplaceSchedule(*FDB, 1, "1,3", "", "9:30:00"), ESQLiteException);
  EXPECT_FALSE(FDB->InTransaction());
  EXPECT_EQ(Dump("m_schedule", "*"), (std::vector<std::string>{"0|||12:00:00"}));
}

TEST_F(BackupDbTest, DeleteFlagRoundTrips) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  for (int flag : {1, 2, 0}) {
    backupdb::ReplaceDeleteFlag(*FDB, flag);
    EXPECT_EQ(Dump("m_bkup_delete_flg", "typeof(del_flg), del_flg"),
              (std::vector<std::string>{"integer|" + std::to_string(flag)}));
    EXPECT_EQ(backupdb::ReadDeleteFlag(*FDB), flag);
  }
}

TEST_F(BackupDbTest, FailedDeleteFlagReplaceKeepsTheOldRow) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  backupdb::ReplaceDeleteFlag(*FDB, 2);
  RefuseInserts("m_bkup_delete_flg");
  EXPECT_THROW(backupdb::ReplaceDeleteFlag(*FDB, 1), ESQLiteException);
  EXPECT_FALSE(FDB->InTransaction());
  EXPECT_EQ(backupdb::ReadDeleteFlag(*FDB), 2);
}

TEST_F(BackupDbTest, ReplaceJoinsTheCallersTransaction) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  {
    TSQLiteTransaction tx(*FDB);
    backupdb::ReplaceDeleteFlag(*FDB, 1);
    backupdb::ReplaceSchedule(*FDB, 1, "2", "", "8:00:00");
    EXPECT_TRUE(FDB->InTransaction());
  }  // rolled back
  EXPECT_EQ(backupdb::ReadDeleteFlag(*FDB), 0);
  EXPECT_EQ(backupdb::ReadSchedule(*FDB)->bk_type, "0");
}

TEST_F(BackupDbTest, DeleteFlagReaderTakesTheLastRowAndRejectsText) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  FDB->RunSQL("insert into m_bkup_delete_flg values(1)");
  FDB->RunSQL("insert into m_bkup_delete_flg values('2')");  // text as an older writer may have left it
  EXPECT_EQ(backupdb::ReadDeleteFlag(*FDB), 2);
  FDB->RunSQL("insert into m_bkup_delete_flg values('x')");
  EXPECT_THROW(backupdb::ReadDeleteFlag(*FDB), platform::EConvertError);
}

TEST_F(BackupDbTest, LogRowsRoundTripAndDeleteOnAllThreeColumns) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  const LogRow first{"/home/o'brien", "/backup/20100617_o'brien.lzh", "2010/06/17 09:05"};
  const LogRow sameDayLater{"/home/o'brien", "/backup/20100617_o'brien.lzh", "2010/06/17 21:05"};
  const LogRow japanese{"/データ", "/バックアップ/20100618_作業.lzh", "2010/06/18 12:00"};
  for (const auto& row : {first, sameDayLater, japanese, first}) backupdb::InsertLog(*FDB, row);
  EXPECT_EQ(backupdb::ReadLog(*FDB), (std::vector<LogRow>{first, sameDayLater, japanese, first}));
  EXPECT_EQ(Dump("m_log", "typeof(bkup_date)")[0], "text");
  backupdb::DeleteLog(*FDB, first);
  EXPECT_EQ(backupdb::ReadLog(*FDB), (std::vector<LogRow>{sameDayLater, japanese}));
}

TEST_F(BackupDbTest, FilesWrittenWithLiteralValuesReadTheSame) {
  ASSERT_TRUE(backupdb::EnsureSchema(*FDB));
  // Rows as statements with the values written in, as earlier versions of the program stored them.
  FDB->RunSQL("insert into m_bkup values ('/data','/backup/data.lzh')");
  FDB->RunSQL("insert into m_log values ('/data','/backup/20100617_data.lzh','2010/06/17 09:05')");
  FDB->RunSQL("delete from m_schedule");
  FDB->RunSQL("insert into m_schedule values (1,'1,3','','9:30:00')");
  FDB->RunSQL("insert into m_bkup_delete_flg values(2)");
  const auto dumpAll = [&] {
    auto rows = Dump("m_bkup", "typeof(target_folder), *");
    rows = Dump("m_log", "typeof(bkup_date), *", rows);
    rows = Dump("m_schedule", "typeof(bk_type), typeof(bk_time), *", rows);
    return Dump("m_bkup_delete_flg", "typeof(del_flg), *", rows);
  };
  const auto literal = dumpAll();
  FDB->RunSQL("delete from m_bkup");
  FDB->RunSQL("delete from m_log");
  backupdb::InsertTarget(*FDB, {"/data", "/backup/data.lzh"});
  backupdb::InsertLog(*FDB, {"/data", "/backup/20100617_data.lzh", "2010/06/17 09:05"});
  backupdb::ReplaceSchedule(*FDB, 1, "1,3", "", "9:30:00");
  backupdb::ReplaceDeleteFlag(*FDB, 2);
  EXPECT_EQ(dumpAll(), literal);
}

}  // namespace

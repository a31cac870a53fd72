// The timer's decisions at chosen moments, and the purge of expired archives on real files.
#include <gtest/gtest.h>

#include <map>

#include "AppTestSupport.h"
#include "BackupRun.h"
#include "FileSearch.h"
#include "LocaleFormats.h"
#include "Scheduler.h"
#include "ScriptedDialogs.h"
#include "TrayIcon.h"
#include "uFMain.h"

namespace {

using platform::LocalDateTime;

LocalDateTime At(int y, int mo, int d, int h, int mi, int s) { return {y, mo, d, h, mi, s}; }

backupdb::Schedule Sched(const char* type, const char* week, const char* month, const char* time) {
  return {type, week, month, time};
}

TEST(ScheduleDueTest, DailyFiresInSecondsZeroAndOneOfTheMinute) {
  const auto daily = Sched("0", "", "", "9:05:00");
  struct Case { int h, m, s; bool due; };
  for (const Case& c : {Case{9, 5, 0, true}, Case{9, 5, 1, true}, Case{9, 5, 2, false}, Case{9, 6, 0, false},
                        Case{9, 4, 59, false}, Case{21, 5, 0, false}}) {
    EXPECT_EQ(scheduler::ScheduleDue(daily, At(2010, 6, 17, c.h, c.m, c.s)), c.due) << c.h << ":" << c.m << ":" << c.s;
  }
  // The stored seconds do not move the window.
  EXPECT_TRUE(scheduler::ScheduleDue(Sched("0", "", "", "9:05:30"), At(2010, 6, 17, 9, 5, 0)));
  EXPECT_TRUE(scheduler::ScheduleDue(Sched("0", "", "", "09:05"), At(2010, 6, 17, 9, 5, 1)));
}

TEST(ScheduleDueTest, WeeklyListsNameWeekdaysFromSunday) {
  // 20 June 2010 was a Sunday.
  struct Case { const char* week; int day; bool due; };
  for (const Case& c : {Case{"0", 20, true}, Case{"0", 21, false}, Case{"1,3,5", 21, true}, Case{"1,3,5", 22, false},
                        Case{"1,3,5", 23, true}, Case{"1,3,5", 25, true}, Case{"1,3,5", 26, false},
                        Case{"1,3,5", 20, false}, Case{"", 21, false}, Case{"None selected", 21, false},
                        Case{"x,1", 21, true}}) {
    EXPECT_EQ(scheduler::ScheduleDue(Sched("1", c.week, "", "12:00:00"), At(2010, 6, c.day, 12, 0, 0)), c.due)
        << c.week << " on " << c.day;
  }
  // Off the time, no day is due.
  EXPECT_FALSE(scheduler::ScheduleDue(Sched("1", "1", "", "12:00:00"), At(2010, 6, 21, 12, 1, 0)));
}

TEST(ScheduleDueTest, MonthlyDay31NeverInAThirtyDayMonth) {
  const auto day31 = Sched("2", "", "31", "12:00:00");
  for (int d = 1; d <= 30; ++d) EXPECT_FALSE(scheduler::ScheduleDue(day31, At(2010, 6, d, 12, 0, 0))) << d;
  EXPECT_TRUE(scheduler::ScheduleDue(day31, At(2010, 7, 31, 12, 0, 0)));
  EXPECT_FALSE(scheduler::ScheduleDue(day31, At(2010, 7, 30, 12, 0, 0)));
  const auto days = Sched("2", "", "1,15,31", "12:00:00");
  EXPECT_TRUE(scheduler::ScheduleDue(days, At(2010, 6, 15, 12, 0, 1)));
  EXPECT_TRUE(scheduler::ScheduleDue(days, At(2010, 6, 1, 12, 0, 0)));
  EXPECT_FALSE(scheduler::ScheduleDue(days, At(2010, 6, 16, 12, 0, 0)));
  // The day selector's text for no choice names no day, and fails nothing.
  EXPECT_FALSE(scheduler::ScheduleDue(Sched("2", "", "None selected", "12:00:00"), At(2010, 6, 15, 12, 0, 0)));
  EXPECT_FALSE(scheduler::ScheduleDue(Sched("2", "", "", "12:00:00"), At(2010, 6, 15, 12, 0, 0)));
}

TEST(ScheduleDueTest, UnreadableTimeIsAConversionError) {
  EXPECT_THROW(scheduler::ScheduleDue(Sched("0", "", "", "noon"), At(2010, 6, 15, 12, 0, 0)), platform::EConvertError);
}

TEST(ScheduleDueTest, ListsSplitAtCommasAndSpaces) {
  EXPECT_EQ(scheduler::SplitList("1,3,5"), (std::vector<std::string>{"1", "3", "5"}));
  EXPECT_EQ(scheduler::SplitList("None selected"), (std::vector<std::string>{"None", "selected"}));
  EXPECT_EQ(scheduler::SplitList("\"1 2\",3,"), (std::vector<std::string>{"1 2", "3", ""}));
  EXPECT_TRUE(scheduler::SplitList("").empty());
  EXPECT_EQ(scheduler::ListedDays("1, x,3,,2.5,31"), (std::vector<int>{1, 3, 31}));
}

TEST(MinuteLatchTest, OncePerMinute) {
  scheduler::TMinuteLatch latch;
  EXPECT_TRUE(latch.Take(At(2010, 6, 17, 9, 5, 0)));
  EXPECT_FALSE(latch.Take(At(2010, 6, 17, 9, 5, 1)));
  EXPECT_TRUE(latch.Take(At(2010, 6, 17, 9, 6, 0)));
  EXPECT_TRUE(latch.Take(At(2010, 6, 18, 9, 6, 0)));
}

TEST(PurgeTest, AgesCountFromTodaysMidnight) {
  const auto logged = At(2010, 5, 18, 12, 0, 0);
  EXPECT_DOUBLE_EQ(scheduler::ArchiveAge(logged, At(2010, 6, 17, 14, 35, 0)), 29.5);
  EXPECT_FALSE(scheduler::ArchiveExpired(logged, At(2010, 6, 17, 14, 35, 0), 1));
  EXPECT_DOUBLE_EQ(scheduler::ArchiveAge(logged, At(2010, 6, 18, 14, 35, 0)), 30.5);
  EXPECT_TRUE(scheduler::ArchiveExpired(logged, At(2010, 6, 18, 14, 35, 0), 1));
  EXPECT_FALSE(scheduler::ArchiveExpired(At(2010, 5, 19, 0, 0, 0), At(2010, 6, 18, 14, 35, 0), 1));  // exactly 30
  EXPECT_FALSE(scheduler::ArchiveExpired(logged, At(2010, 6, 18, 14, 35, 0), 2));
  EXPECT_TRUE(scheduler::ArchiveExpired(logged, At(2010, 7, 18, 14, 35, 0), 2));
  EXPECT_FALSE(scheduler::ArchiveExpired(logged, At(2012, 1, 1, 14, 35, 0), 0));
  EXPECT_TRUE(scheduler::PurgeDue(At(2010, 6, 18, 14, 35, 1)));
  EXPECT_FALSE(scheduler::PurgeDue(At(2010, 6, 18, 14, 35, 2)));
  EXPECT_FALSE(scheduler::PurgeDue(At(2010, 6, 18, 2, 35, 0)));
}

class PurgeFilesTest : public ::testing::Test {
 protected:
  PurgeFilesTest() {
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
    PackArchive(scratch, old, "old");
    PackArchive(scratch, young, "young");
    backupdb::InsertLog(*db, {"/data", old, "2010/05/18 12:00"});
    backupdb::InsertLog(*db, {"/data", young, "2010/05/19 00:00"});
    backupdb::InsertLog(*db, {"/data", scratch.Path("20100401_gone.lzh"), "2010/04/01 09:00"});
  }
  void SetFlag(int flag) {
    auto db = backupdb::OpenDatabase();
    backupdb::ReplaceDeleteFlag(*db, flag);
  }
  std::size_t LogRows() {
    auto db = backupdb::OpenDatabase();
    return backupdb::ReadLog(*db).size();
  }

  ScratchDb scratch;
  const std::string old = scratch.Path("20100518_data.lzh");
  const std::string young = scratch.Path("20100519_data.lzh");
  const LocalDateTime purgeDay = At(2010, 6, 18, 14, 35, 0);
};

TEST_F(PurgeFilesTest, NoRowOrZeroKeepsEverything) {
  EXPECT_TRUE(scheduler::PurgeExpiredArchives(purgeDay).empty());
  SetFlag(0);
  EXPECT_TRUE(scheduler::PurgeExpiredArchives(purgeDay).empty());
  EXPECT_TRUE(std::filesystem::exists(old));
  EXPECT_TRUE(std::filesystem::exists(young));
}

TEST_F(PurgeFilesTest, DeletesOnlyExpiredArchivesAndKeepsTheRows) {
  SetFlag(1);
  auto expired = scheduler::PurgeExpiredArchives(purgeDay);
  ASSERT_EQ(expired.size(), 2u);
  EXPECT_EQ(expired[0].archive, old);
  EXPECT_TRUE(expired[0].removed());
  EXPECT_FALSE(expired[1].removed());  // already gone: silent
  EXPECT_FALSE(std::filesystem::exists(old));
  EXPECT_TRUE(std::filesystem::exists(young));
  EXPECT_EQ(LogRows(), 3u);
}

TEST_F(PurgeFilesTest, AFolderOfTheLoggedNameIsNotDeleted) {
  SetFlag(1);
  std::filesystem::remove(old);
  std::filesystem::create_directories(old);
  scheduler::PurgeExpiredArchives(purgeDay);
  EXPECT_TRUE(std::filesystem::is_directory(old));
}

TEST_F(PurgeFilesTest, UnreadableDateEndsThePurge) {
  SetFlag(1);
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertLog(*db, {"/data", young, "yesterday"});
  }
  EXPECT_THROW(scheduler::PurgeExpiredArchives(purgeDay), platform::EConvertError);
}

TEST_F(PurgeFilesTest, TheTimerPurgesOncePerMinuteAtTwentyFiveToThree) {
  platform::ScriptedDialogs dialogs;
  SetFlag(1);
  TfrmMain main;
  main.FormCreate();
  main.bk_time = "14:35:00";  // a daily backup in the same minute runs first (no pairs: nothing to do)
  LocalDateTime now = At(2010, 6, 18, 14, 34, 59);
  main.Clock = [&] { return now; };
  main.Timer1Timer();
  EXPECT_TRUE(std::filesystem::exists(old));
  now = At(2010, 6, 18, 14, 35, 0);
  main.Timer1Timer();
  EXPECT_FALSE(std::filesystem::exists(old));
  WriteFile(old, "again");
  now = At(2010, 6, 18, 14, 35, 1);
  main.Timer1Timer();
  EXPECT_TRUE(std::filesystem::exists(old));
  EXPECT_TRUE(std::filesystem::exists(young));  // exactly 30 days on the 18th
  now = At(2010, 6, 19, 14, 35, 1);
  main.Timer1Timer();
  EXPECT_FALSE(std::filesystem::exists(old));
  EXPECT_TRUE(std::filesystem::exists(young));  // past its time, but the pair's newest
  EXPECT_TRUE(dialogs.messages.empty());
  ASSERT_TRUE(main.TrayIcon()->LastBalloon());
  EXPECT_NE(main.TrayIcon()->LastBalloon()->text.find(young), std::string::npos);
}

TEST(ConfiguredFileTest, TheDatedPrefixGoes) {
  EXPECT_EQ(scheduler::ConfiguredFile("/bk/20100617_work.lzh"), "/bk/work.lzh");
  EXPECT_EQ(scheduler::ConfiguredFile("20100617_work.lzh"), "work.lzh");
  EXPECT_EQ(scheduler::ConfiguredFile("/bk/2010061_work.lzh"), "/bk/2010061_work.lzh");
  EXPECT_EQ(scheduler::ConfiguredFile("/bk/20100617_"), "/bk/20100617_");
}

// Older archives go only when a newer one of the same pair tests good; a pair's newest stays.
TEST_F(PurgeFilesTest, ACorruptNewerArchiveKeepsTheOlderOne) {
  SetFlag(1);
  const std::string newest = scratch.Path("20100520_data.lzh");
  PackArchive(scratch, newest, "newest");
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertLog(*db, {"/data", newest, "2010/05/20 12:00"});
    // Another pair in the same folder: its archive is its own newest.
    const std::string other = scratch.Path("20100501_other.lzh");
    PackArchive(scratch, other, "other");
    backupdb::InsertLog(*db, {"/data", other, "2010/05/01 12:00"});
  }
  // young's bytes broken in the middle: its members' CRCs fail.
  std::string bytes = *platform::ReadWholeFile(young);
  bytes[bytes.size() / 2] ^= 0x55;
  bytes[bytes.size() / 2 + 1] ^= 0x55;
  WriteFile(young, bytes);
  const auto expired = scheduler::PurgeExpiredArchives(At(2010, 7, 30, 14, 35, 0));
  using A = scheduler::TPurgeAction;
  std::map<std::string, A> actions;
  for (const auto& e : expired) actions[e.archive] = e.action;
  EXPECT_EQ(actions[old], A::Deleted);           // newest tests good
  EXPECT_EQ(actions[young], A::Deleted);         // broken, and a newer one is good
  EXPECT_EQ(actions[newest], A::KeptNewest);
  EXPECT_EQ(actions[scratch.Path("20100501_other.lzh")], A::KeptNewest);
  EXPECT_TRUE(std::filesystem::exists(newest));
  // With the newest broken instead, nothing older goes.
  PackArchive(scratch, old, "old");
  PackArchive(scratch, young, "young");
  bytes = *platform::ReadWholeFile(newest);
  bytes[bytes.size() / 2] ^= 0x55;
  WriteFile(newest, bytes);
  std::string output;
  EXPECT_NE(backuprun::VerifyArchive(newest, output), 0);
  for (const auto& e : scheduler::PurgeExpiredArchives(At(2010, 7, 30, 14, 35, 0))) actions[e.archive] = e.action;
  EXPECT_EQ(actions[old], A::Deleted);  // young is newer and good
  EXPECT_EQ(actions[young], A::KeptNoGoodNewer);
  EXPECT_TRUE(std::filesystem::exists(young));
  EXPECT_NE(scheduler::PurgeReport(expired).find(newest), std::string::npos);
}

// Three good daily backups, then two months in which every run fails (the folder is gone), then
// the purge with one month's retention: the older good archives go, the last good one stays.
TEST(SafeRetentionTest, TwoMonthsOfFailingRunsThenThePurgeKeepsTheLastGoodArchive) {
  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  const std::string src = scratch.Path("work");
  WriteFile(src + "/a.txt", "work");
  std::filesystem::create_directories(scratch.Path("bk"));
  {
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
    backupdb::InsertTarget(*db, {src, scratch.Path("bk/w.lzh")});
    backupdb::ReplaceDeleteFlag(*db, 1);
  }
  TfrmMain main;
  main.FormCreate();
  main.bk_time = "03:00:00";
  LocalDateTime now = At(2010, 6, 1, 3, 0, 0);
  main.Clock = [&] { return now; };
  auto day = [](int n) {  // day n after 1 June 2010
    int m = 6, d = 1 + n;
    while (d > platform::DaysInMonth(2010, m)) d -= platform::DaysInMonth(2010, m++);
    return At(2010, m, d, 0, 0, 0);
  };
  for (int n = 0; n < 65; ++n) {
    if (n == 3) std::filesystem::remove_all(src);
    now = day(n);
    now.hour = 3;
    main.Timer1Timer();
    now.hour = 14;
    now.minute = 35;
    main.Timer1Timer();
  }
  const std::string last = scratch.Path("bk/20100603_w.lzh");
  EXPECT_TRUE(std::filesystem::exists(last));
  EXPECT_FALSE(std::filesystem::exists(scratch.Path("bk/20100601_w.lzh")));
  EXPECT_FALSE(std::filesystem::exists(scratch.Path("bk/20100602_w.lzh")));
  std::string output;
  EXPECT_EQ(backuprun::VerifyArchive(last, output), 0) << output;
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST(TimerTest, ANoneSelectedDayListFailsNoTick) {
  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  TfrmMain main;
  main.FormCreate();
  {
    auto db = backupdb::OpenDatabase();
    backupdb::ReplaceSchedule(*db, 2, "", "None selected", "12:00:00");
  }
  main.LoadSchedule();
  for (int s = 0; s < 3; ++s) {
    main.Clock = [s] { return At(2010, 6, 15, 12, 0, s); };
    EXPECT_NO_THROW(main.Timer1Timer());
  }
  main.bk_time = "noon";
  EXPECT_THROW(main.Timer1Timer(), platform::EConvertError);
}

}  // namespace

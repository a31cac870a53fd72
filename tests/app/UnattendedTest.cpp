// The program left alone: failures of timer runs never wait for a box, moments that pass while
// a run goes are caught up once, an older database without a schedule row still runs, and a
// run shows where it is while everything else waits.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "AppTestSupport.h"
#include "FileSearch.h"
#include "ScriptedDialogs.h"
#include "TrayIcon.h"
#include "uFMain.h"

namespace {

namespace fs = std::filesystem;
using platform::LocalDateTime;

std::vector<backupdb::LogRow> LogRows() {
  auto db = backupdb::OpenDatabase();
  return backupdb::ReadLog(*db);
}

class UnattendedTest : public ::testing::Test {
 protected:
  UnattendedTest() {
    main.Clock = [this] { return now; };
  }
  void AddPair(const fs::path& folder, const std::string& file) {
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
    backupdb::InsertTarget(*db, {folder.string(), file});
  }
  void MakeFolder(const fs::path& folder, int files = 1) {
    for (int i = 0; i < files; ++i) WriteFile((folder / ("file" + std::to_string(i) + ".txt")).string(), "content\n");
  }
  // A pair of one file, and an archive logged in April that the retention of 30 days expires.
  std::string AddPairWithAnExpiredArchive() {
    const fs::path src = scratch.dir / "src";
    MakeFolder(src);
    AddPair(src, scratch.Path("src.lzh"));
    const std::string old = scratch.Path("20100401_src.lzh");
    WriteFile(old, "old");
    auto db = backupdb::OpenDatabase();
    backupdb::InsertLog(*db, {src.string(), old, "2010/04/01 12:00"});
    backupdb::ReplaceDeleteFlag(*db, 1);
    return old;
  }
  // A tick as the timer delivers it.
  void Tick(const LocalDateTime& at) {
    now = at;
    QMetaObject::invokeMethod(main.Timer1, "timeout");
  }
  std::string Status() const { return main.StatusBar1->currentMessage().toStdString(); }

  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  LocalDateTime now{2010, 6, 17, 1, 0, 0};
  TfrmMain main;
};

// The 2 a.m. backup fails and nobody is there; the next night's must still run. A box left open
// would have held the ticks: the next due moment is played while any box is up.
TEST_F(UnattendedTest, AFailedScheduledRunOpensNoBoxAndTheNextDueBackupRuns) {
  const fs::path src = scratch.dir / "src";
  AddPair(src, scratch.Path("src.lzh"));  // the folder is missing on the first night
  main.FormCreate();
  main.bk_time = "2:00:00";
  bool nextNightPlayed = false;
  auto nextNight = [&] {
    if (nextNightPlayed) return;
    nextNightPlayed = true;
    MakeFolder(src);
    Tick({2010, 6, 18, 2, 0, 0});
  };
  dialogs.whileMessageShown = [&](const platform::ScriptedDialogs::Shown&) { nextNight(); };
  Tick({2010, 6, 17, 2, 0, 0});
  ASSERT_TRUE(main.TrayIcon()->LastBalloon().has_value());
  const auto balloon = *main.TrayIcon()->LastBalloon();
  EXPECT_TRUE(balloon.error);
  EXPECT_NE(balloon.text.find(src.string()), std::string::npos) << balloon.text;
  EXPECT_NE(Status().find("失敗"), std::string::npos) << Status();
  nextNight();

  EXPECT_TRUE(dialogs.messages.empty());
  const auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].bkup_file, scratch.Path("20100618_src.lzh"));
  EXPECT_EQ(rows[0].bkup_date, "2010/06/18 02:00");
}

// While the box of a command is open, ticks go on and a due backup runs inside it.
TEST_F(UnattendedTest, ABackupFallsDueWhileACommandsBoxIsOpen) {
  const fs::path src = scratch.dir / "src";
  MakeFolder(src);
  AddPair(src, scratch.Path("src.lzh"));
  main.FormCreate();
  main.bk_time = "2:00:00";
  now = {2010, 6, 17, 1, 59, 0};
  dialogs.whileMessageShown = [&](const platform::ScriptedDialogs::Shown& shown) {
    if (shown.text == "バックアップ完了") Tick({2010, 6, 17, 2, 0, 0});
  };
  main.cxbtnGoM->click();
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"バックアップ完了"}));
  ASSERT_EQ(LogRows().size(), 2u);
  EXPECT_EQ(LogRows()[1].bkup_date, "2010/06/17 02:00");
}

TEST_F(UnattendedTest, AnUnreadableScheduleIsReportedOnceWithoutABox) {
  const fs::path src = scratch.dir / "src";
  MakeFolder(src);
  AddPair(src, scratch.Path("src.lzh"));
  main.FormCreate();
  main.bk_time = "noon";
  Tick({2010, 6, 17, 12, 0, 0});
  ASSERT_TRUE(main.TrayIcon()->LastBalloon().has_value());
  const std::string first = main.TrayIcon()->LastBalloon()->text;
  main.StatusBar1->clearMessage();
  Tick({2010, 6, 17, 12, 0, 1});  // the same error again: not told every second
  EXPECT_EQ(Status(), "");
  EXPECT_TRUE(dialogs.messages.empty());
  // Mended, the schedule runs.
  main.bk_time = "12:01:00";
  Tick({2010, 6, 17, 12, 1, 0});
  EXPECT_EQ(LogRows().size(), 1u);
  EXPECT_FALSE(first.empty());
}

// A run started by hand at 1:59:50 is still going at 2:00: the tick then waits, and the 2:00
// backup runs once when the hand-started run ends; a command given meanwhile runs after it.
TEST_F(UnattendedTest, ADueMomentThatPassesDuringARunRunsOnceAfterIt) {
  const fs::path src = scratch.dir / "src";
  MakeFolder(src, 3);
  AddPair(src, scratch.Path("src.lzh"));
  main.FormCreate();
  main.bk_time = "2:00:00";
  now = {2010, 6, 17, 1, 59, 50};
  int progressed = 0;
  bool sawBusy = false;
  QObject::connect(&main, &TfrmMain::RunProgressed, [&] {
    if (++progressed != 2) return;
    sawBusy = main.Busy();
    Tick({2010, 6, 17, 2, 0, 0});  // must not start a run inside this one
    main.I1->trigger();             // waits too, and runs once however often it is asked
    main.cxbtnGoM->click();
    now = {2010, 6, 17, 2, 0, 30};
  });
  main.cxbtnGoM->click();
  EXPECT_TRUE(sawBusy);
  EXPECT_FALSE(main.Busy());
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);  // the hand-started run, then the caught-up 2:00 one
  EXPECT_EQ(rows[1].bkup_date, "2010/06/17 02:00");
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"バックアップ完了"}));
  // The waiting tick's moment ran already: the ticks still in its window do not run it again.
  Tick({2010, 6, 17, 2, 0, 31});
  now = {2010, 6, 17, 2, 0, 1};
  main.Timer1Timer();
  EXPECT_EQ(LogRows().size(), 2u);
  // The waiting command runs once the program is free.
  QCoreApplication::processEvents();
  EXPECT_EQ(LogRows().size(), 3u);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"バックアップ完了", "バックアップ完了"}));
}

TEST_F(UnattendedTest, APurgeMomentPassedDuringARunPurgesAfterIt) {
  const std::string old = AddPairWithAnExpiredArchive();
  main.FormCreate();
  now = {2010, 6, 17, 14, 34, 58};
  QObject::connect(&main, &TfrmMain::RunProgressed, [&] { now = {2010, 6, 17, 14, 36, 0}; });
  main.cxbtnGoM->click();
  EXPECT_FALSE(fs::exists(old));
}

// Older databases can lack the schedule row: the default schedule (daily at 12:00) runs, and the
// purge at 14:35 is not held up by an error every second.
TEST_F(UnattendedTest, AnEmptyScheduleTableMeansTheDefaultSchedule) {
  const std::string old = AddPairWithAnExpiredArchive();
  {
    auto db = backupdb::OpenDatabase();
    db->RunSQL("delete from m_schedule");
  }
  main.FormCreate();
  for (const LocalDateTime& at : {LocalDateTime{2010, 6, 17, 11, 59, 59}, LocalDateTime{2010, 6, 17, 12, 0, 0},
                                  LocalDateTime{2010, 6, 17, 14, 35, 0}}) {
    Tick(at);
  }
  EXPECT_EQ(main.bk_time, "12:00:00");
  EXPECT_EQ(main.bk_type, "0");
  // The start's catch-up (the newest row is from April) and the 12:00 backup.
  EXPECT_EQ(LogRows().size(), 3u);
  EXPECT_FALSE(fs::exists(old));
  // No error: only the purge's account of what it deleted.
  ASSERT_TRUE(main.TrayIcon()->LastBalloon().has_value());
  EXPECT_FALSE(main.TrayIcon()->LastBalloon()->error);
  EXPECT_NE(main.TrayIcon()->LastBalloon()->text.find(old), std::string::npos);
  EXPECT_TRUE(dialogs.messages.empty());
}

// The status bar and the tray's tip tell which pair, how many members and which file, from the
// progress messages; afterwards both are as before.
TEST_F(UnattendedTest, ARunShowsItsProgressInTheStatusBarAndTheTrayTip) {
  MakeFolder(scratch.dir / "one", 2);
  MakeFolder(scratch.dir / "two", 3);
  AddPair(scratch.dir / "one", scratch.Path("one.lzh"));
  AddPair(scratch.dir / "two", scratch.Path("two.lzh"));
  main.FormCreate();
  main.StatusBar1->showMessage("before");
  std::vector<std::string> statuses, tips;
  QObject::connect(&main, &TfrmMain::RunProgressed, [&] {
    statuses.push_back(Status());
    tips.push_back(main.TrayIcon()->Tip());
  });
  main.cxbtnGoM->click();
  auto seen = [&](const std::string& text) {
    return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
  };
  EXPECT_TRUE(seen("バックアップ中 1/2 (1 件) file0.txt")) << ::testing::PrintToString(statuses);
  EXPECT_TRUE(seen("バックアップ中 2/2 (3 件) file2.txt")) << ::testing::PrintToString(statuses);
  ASSERT_EQ(statuses.size(), tips.size());
  for (std::size_t i = 0; i < statuses.size(); ++i) EXPECT_EQ(tips[i], "Tidekeep\n" + statuses[i]);
  EXPECT_EQ(Status(), "before");
  EXPECT_EQ(main.TrayIcon()->Tip(), "Tidekeep");
}

TEST(ProgressTextTest, PairMembersAndFile) {
  backuprun::TRunProgress p{2, 3, "/data", 0, 0, {}};
  EXPECT_EQ(TfrmMain::ProgressText(p), "バックアップ中 2/3 /data");
  p.selected = 40;
  EXPECT_EQ(TfrmMain::ProgressText(p), "バックアップ中 2/3 ファイルを選択中 (40 件)");
  p.members = 12;
  p.current = "資料/報告書.txt";
  EXPECT_EQ(TfrmMain::ProgressText(p), "バックアップ中 2/3 (12 件) 資料/報告書.txt");
}

}  // namespace

namespace {

// Missed schedules run once, two minutes after the program starts (or the machine wakes).
class CatchUpTest : public UnattendedTest {
 protected:
  void Logged(const fs::path& src, const char* date) {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertLog(*db, {src.string(), scratch.Path("19990101_src.lzh"), date});
  }
  std::size_t RowsAfter(const char* date) {
    std::size_t n = 0;
    for (const auto& row : LogRows()) n += row.bkup_date > date;
    return n;
  }
};

TEST_F(CatchUpTest, StartedAtOneAfterAMissedNoonRunsOnceAtTwoPastOne) {
  const fs::path src = scratch.dir / "src";
  MakeFolder(src);
  AddPair(src, scratch.Path("src.lzh"));
  Logged(src, "2010/06/16 12:00");
  now = {2010, 6, 17, 13, 0, 0};
  main.FormCreate();  // LoadSchedule: daily at 12:00
  for (int s = 0; s < 120; s += 30) Tick({2010, 6, 17, 13, 0, s});
  Tick({2010, 6, 17, 13, 1, 59});
  EXPECT_EQ(RowsAfter("2010/06/16 12:00"), 0u);
  Tick({2010, 6, 17, 13, 2, 0});
  EXPECT_EQ(RowsAfter("2010/06/16 12:00"), 1u);
  EXPECT_EQ(LogRows().back().bkup_date, "2010/06/17 13:02");
  for (int m = 2; m < 6; ++m) Tick({2010, 6, 17, 13, m, 1});
  EXPECT_EQ(RowsAfter("2010/06/16 12:00"), 1u);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(CatchUpTest, NothingMissedNothingRuns) {
  const fs::path src = scratch.dir / "src";
  MakeFolder(src);
  AddPair(src, scratch.Path("src.lzh"));
  Logged(src, "2010/06/17 12:00");
  now = {2010, 6, 17, 13, 0, 0};
  main.FormCreate();
  Tick({2010, 6, 17, 13, 2, 0});
  EXPECT_EQ(RowsAfter("2010/06/17 12:00"), 0u);
}

TEST_F(CatchUpTest, AMonthlyScheduleMissedInAWeekOfDowntimeRunsOnce) {
  const fs::path src = scratch.dir / "src";
  MakeFolder(src);
  AddPair(src, scratch.Path("src.lzh"));
  {
    auto db = backupdb::OpenDatabase();
    backupdb::ReplaceSchedule(*db, 2, "", "1,3,5", "9:00:00");
  }
  Logged(src, "2010/05/31 18:00");
  // Off from 31 May to 8 June: the 1st, 3rd and 5th were missed.
  now = {2010, 6, 8, 10, 0, 0};
  main.FormCreate();
  for (int m = 0; m < 10; ++m) Tick({2010, 6, 8, 10, m, 0});
  EXPECT_EQ(RowsAfter("2010/05/31 18:00"), 1u);
  EXPECT_EQ(LogRows().back().bkup_date, "2010/06/08 10:02");
}

TEST_F(CatchUpTest, AWakeFromSleepCatchesUpTwoMinutesLater) {
  const fs::path src = scratch.dir / "src";
  MakeFolder(src);
  AddPair(src, scratch.Path("src.lzh"));
  now = {2010, 6, 16, 22, 0, 0};
  main.FormCreate();
  Tick({2010, 6, 16, 22, 5, 0});  // the start's catch-up: nothing logged, nothing missed
  Logged(src, "2010/06/16 22:00");
  main.PrepareForSleep(true);
  now = {2010, 6, 17, 13, 0, 0};
  main.PrepareForSleep(false);
  Tick({2010, 6, 17, 13, 1, 0});
  EXPECT_EQ(RowsAfter("2010/06/16 22:00"), 0u);
  Tick({2010, 6, 17, 13, 2, 0});
  EXPECT_EQ(RowsAfter("2010/06/16 22:00"), 1u);
}

}  // namespace

namespace {

// Backups that stopped happening are told: a balloon at start and once a day, the tip always.
TEST_F(CatchUpTest, ThreeDaysWithoutABackupAreToldWithThePairAndItsLastGoodDate) {
  const fs::path src = scratch.dir / "src";
  AddPair(src, scratch.Path("src.lzh"));  // the folder is gone: every run fails
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertLog(*db, {src.string(), scratch.Path("20100612_src.lzh"), "2010/06/12 12:00"});
  }
  now = {2010, 6, 16, 11, 0, 0};
  main.FormCreate();
  // The catch-up at 11:02 fails; the newest moment more than 3 days ago is
  // still the 12th's, which has its row.
  for (const LocalDateTime& at : {LocalDateTime{2010, 6, 16, 11, 0, 0}, LocalDateTime{2010, 6, 16, 11, 2, 0},
                                  LocalDateTime{2010, 6, 16, 11, 59, 0}}) {
    Tick(at);
    EXPECT_EQ(main.TrayIcon()->Tip(), "Tidekeep");
  }
  Tick({2010, 6, 16, 12, 1, 0});  // now the 13th's moment is more than 3 days ago, without a row
  ASSERT_TRUE(main.TrayIcon()->LastBalloon().has_value());
  const auto balloon = *main.TrayIcon()->LastBalloon();
  EXPECT_NE(balloon.title.find("3日以上"), std::string::npos);
  EXPECT_NE(balloon.text.find(src.string()), std::string::npos);
  EXPECT_NE(balloon.text.find("2010/06/12 12:00"), std::string::npos);
  EXPECT_NE(main.TrayIcon()->Tip().find("2010/06/12 12:00"), std::string::npos);
  Tick({2010, 6, 16, 18, 0, 0});
  EXPECT_NE(main.TrayIcon()->Tip().find(src.string()), std::string::npos);
  EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace

namespace {

// The tray's cancel item: the one input a run lets through.
class CancelTest : public UnattendedTest {
 protected:
  // Three pairs of three files, each backed up yesterday (no warning about stopped backups
  // takes the balloon); the second already has today's archive from an earlier run.
  void AddThreePairs() {
    for (const char* name : {"one", "two", "three"}) {
      MakeFolder(scratch.dir / name, 3);
      AddPair(scratch.dir / name, scratch.Path(std::string(name) + ".lzh"));
      auto db = backupdb::OpenDatabase();
      backupdb::InsertLog(*db, {(scratch.dir / name).string(), scratch.Path("20100616_" + std::string(name) + ".lzh"),
                                "2010/06/16 02:00"});
    }
    PackArchive(scratch, scratch.Path("20100617_two.lzh"), "this morning's content\n");
  }
  std::vector<std::string> ScratchFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(scratch.dir)) {
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<backupdb::LogRow> TodaysRows() const {
    std::vector<backupdb::LogRow> rows;
    for (const auto& row : LogRows()) {
      if (row.bkup_date.starts_with("2010/06/17")) rows.push_back(row);
    }
    return rows;
  }
  std::vector<QAction*> OtherItems() const { return {main.N5, main.N6, main.N3, main.N7, main.N4}; }
};

// Cancelled while the second of three pairs packs: the first keeps its row, the second's
// archive is the morning's to the byte, the third is never tried, and the user is told.
TEST_F(CancelTest, CancelDuringTheSecondOfThreePairsKeepsTheFirstAndTheSecondsOldArchive) {
  AddThreePairs();
  const std::string two = scratch.Path("20100617_two.lzh");
  const std::string before = *platform::ReadWholeFile(two);
  main.FormCreate();
  main.bk_time = "2:00:00";
  QObject::connect(&main, &TfrmMain::RunProgressed, [&] {
    if (Status().starts_with("バックアップ中 2/3 (1 件)")) main.NCancelRun->trigger();
  });
  Tick({2010, 6, 17, 2, 0, 0});

  const auto rows = TodaysRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].bkup_file, scratch.Path("20100617_one.lzh"));
  EXPECT_EQ(*platform::ReadWholeFile(two), before);
  EXPECT_FALSE(fs::exists(scratch.Path("20100617_three.lzh")));
  // Nothing half-written is left beside the archives.
  EXPECT_EQ(ScratchFiles(), (std::vector<std::string>{"20100617_one.lzh", "20100617_two.lzh", "backup.db"}));

  EXPECT_NE(Status().find("バックアップを中止しました"), std::string::npos) << Status();
  ASSERT_TRUE(main.TrayIcon()->LastBalloon().has_value());
  const auto balloon = *main.TrayIcon()->LastBalloon();
  EXPECT_EQ(balloon.title, "Tidekeep: バックアップを中止しました");
  EXPECT_FALSE(balloon.error);
  EXPECT_NE(balloon.text.find("保存済み: " + (scratch.dir / "one").string()), std::string::npos) << balloon.text;
  EXPECT_NE(balloon.text.find("中止: " + (scratch.dir / "two").string() + " -> " + two + "（以前の書庫はそのままです）"),
            std::string::npos) << balloon.text;
  EXPECT_NE(balloon.text.find("実行せず: " + (scratch.dir / "three").string() + " -> " + scratch.Path("20100617_three.lzh")),
            std::string::npos) << balloon.text;
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_FALSE(main.NCancelRun->isVisible());
}

// The item is there only while a run goes, and then it is the menu's only enabled item; input
// reaches it through the run's pump while a click on the window's "直ぐに実行" is dropped (it
// would start a second run after this one).
TEST_F(CancelTest, TheCancelItemShowsOnlyDuringARunAndAloneTakesInput) {
  AddThreePairs();
  main.FormCreate();
  std::vector<bool> enabledBefore;
  for (QAction* item : OtherItems()) enabledBefore.push_back(item->isEnabled());
  EXPECT_FALSE(main.NCancelRun->isVisible());
  bool checked = false;
  QObject::connect(&main, &TfrmMain::RunProgressed, [&] {
    if (checked || !Status().starts_with("バックアップ中 1/3 (1 件)")) return;
    checked = true;
    EXPECT_TRUE(main.NCancelRun->isVisible());
    EXPECT_TRUE(main.NCancelRun->isEnabled());
    for (QAction* item : OtherItems()) EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    main.show();
    QTest::mouseClick(main.cxbtnGoM, Qt::LeftButton);
    main.PopupMenu1->popup(QPoint(20, 20));
    QTest::mouseClick(main.PopupMenu1, Qt::LeftButton, {}, main.PopupMenu1->actionGeometry(main.NCancelRun).center());
    EXPECT_FALSE(main.NCancelRun->isEnabled());  // asked once
    EXPECT_EQ(Status(), "バックアップを中止しています...");
  });
  main.cxbtnGoM->click();
  QCoreApplication::processEvents();
  EXPECT_TRUE(checked);
  EXPECT_TRUE(TodaysRows().empty());  // cancelled in the first pair; the dropped click ran nothing
  EXPECT_TRUE(dialogs.messages.empty());  // no "バックアップ完了" for a cancelled run
  EXPECT_FALSE(main.NCancelRun->isVisible());
  std::vector<bool> enabledAfter;
  for (QAction* item : OtherItems()) enabledAfter.push_back(item->isEnabled());
  EXPECT_EQ(enabledAfter, enabledBefore);
  main.PopupMenu1->hide();
  // Without a run the window takes its input again.
  QTest::mouseClick(main.cxbtnGoM, Qt::LeftButton);
  EXPECT_EQ(TodaysRows().size(), 3u);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"バックアップ完了"}));
}

// The libraries' workers go to the background (TIDEKEEP_BACKGROUND=1) during a scheduled run's
// library calls only: not during a "直ぐに実行" run, even when the variable came with the
// program, and never after a run.
TEST_F(CancelTest, OnlyScheduledRunsAskTheLibrariesForBackgroundWorkers) {
  MakeFolder(scratch.dir / "one", 2);
  AddPair(scratch.dir / "one", scratch.Path("one.lzh"));
  main.FormCreate();
  main.bk_time = "2:00:00";
  std::vector<std::string> seen;
  QObject::connect(&main, &TfrmMain::RunProgressed, [&] {
    const char* value = std::getenv("TIDEKEEP_BACKGROUND");
    seen.push_back(value == nullptr ? "unset" : value);
  });
  Tick({2010, 6, 17, 2, 0, 0});
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](const std::string& v) { return v == "1"; }))
      << ::testing::PrintToString(seen);
  EXPECT_EQ(std::getenv("TIDEKEEP_BACKGROUND"), nullptr);

  seen.clear();
  setenv("TIDEKEEP_BACKGROUND", "1", 1);
  now = {2010, 6, 17, 9, 0, 0};
  main.cxbtnGoM->click();
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](const std::string& v) { return v == "unset"; }))
      << ::testing::PrintToString(seen);
  EXPECT_EQ(std::getenv("TIDEKEEP_BACKGROUND"), nullptr);
  EXPECT_EQ(LogRows().size(), 2u);
}

}  // namespace

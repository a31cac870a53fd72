// The main window headless: start-up on a new and an existing database, auto-run, hot key,
// tray, menus and the windows it shows, and a start-up whose database cannot be opened.
#include <gtest/gtest.h>

#include <QAction>
#include <QStatusTipEvent>
#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include "AppTestSupport.h"
#include "Forms.h"
#include "ScriptedDialogs.h"
#include "TrayIcon.h"
#include "uFMain.h"
#include "uFSchedule.h"

namespace {

std::string Str(const QString& s) { return s.toStdString(); }

const char kFirstRunText[] = "バックアップ情報を設定してください";

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    for (const char* name : {"TfrmTrgList", "TfrmBkupList", "TfrmLogList", "TfrmMeltArc", "TDlgVersion", "TAboutBox"}) {
      auto& d = windows.emplace_back(std::make_unique<QDialog>());
      d->setObjectName(name);
    }
    main.SetWindows({windows[0].get(), windows[1].get(), windows[2].get(), windows[3].get(), windows[4].get(),
                     windows[5].get()});
  }

  void ExpectRunning(bool running) {
    EXPECT_EQ(main.FStacFlg.Value(), running ? 1 : 0);
    EXPECT_EQ(main.A1->isEnabled(), !running);
    EXPECT_EQ(main.N5->isEnabled(), !running);
    EXPECT_EQ(main.B1->isEnabled(), running);
    EXPECT_EQ(main.N6->isEnabled(), running);
    EXPECT_EQ(Str(main.cxBtnGoA->text()), running ? "自動実行停止" : "自動実行");
  }

  QApplication& app = TestApp();
  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  std::vector<std::unique_ptr<QDialog>> windows;
  TfrmMain main;
};

TEST_F(MainWindowTest, WindowDefinition) {
  EXPECT_EQ(Str(main.windowTitle()), "Tidekeep[データバックアップ]\u3000by Orvanne");
  EXPECT_EQ(main.centralWidget()->height() + main.StatusBar1->height(), 91);
  EXPECT_EQ(main.centralWidget()->width(), 385);
  EXPECT_EQ(main.StatusBar1->height(), 19);
  EXPECT_EQ(main.palette().color(QPalette::Window), QColor(222, 221, 190));
  EXPECT_EQ(Str(main.font().families().value(0)), "Tahoma");
  EXPECT_EQ(main.Timer1->interval(), 1000);
  EXPECT_FALSE(main.Timer1->isActive());

  struct Button { QPushButton* b; const char* caption; const char* hint; int left; };
  for (const Button& b : {Button{main.cxButton1, "バックアップ設定", "バックアップするデータ、スケジュールの設定", 24},
                          Button{main.cxbtnGoM, "直ぐに実行", "直ぐにバックアップを開始する", 144},
                          Button{main.cxBtnGoA, "自動実行", "スケジュールに従い実行", 256}}) {
    EXPECT_EQ(Str(b.b->text()), b.caption);
    EXPECT_EQ(Str(b.b->toolTip()), b.hint);
    EXPECT_EQ(b.b->geometry(), QRect(b.left, 24, 89, 25));
    EXPECT_EQ(main.FaceColor(*b.b), clGradientInactiveCaption);
  }
}

// The fixed place is kept where it fits; on a small or scaled screen the window moves only as far
// as it must to lie inside the area the panels leave free.
TEST_F(MainWindowTest, TheFixedPositionIsKeptInsideTheScreensAvailableArea) {
  struct Case {
    QRect available;
    QPoint expected;
  };
  const QSize window(385, 140);
  const Case cases[] = {
      {QRect(0, 0, 1920, 1080), QPoint(441, 419)},
      {QRect(0, 0, 800, 600), QPoint(415, 419)},
      {QRect(0, 0, 640, 480), QPoint(255, 340)},
      {QRect(0, 32, 1280, 500), QPoint(441, 392)},       // a top panel, a short screen
      {QRect(1920, 0, 1280, 1024), QPoint(1920, 419)},   // a second screen to the right
      {QRect(0, 0, 300, 100), QPoint(0, 0)},             // too small for it: its top left shows
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TfrmMain::StartPosition(c.available, window), c.expected)
        << c.available.width() << "x" << c.available.height() << "+" << c.available.x() << "+" << c.available.y();
  }
  ASSERT_NE(main.screen(), nullptr);
  EXPECT_TRUE(main.screen()->availableGeometry().contains(main.geometry()));
}

TEST_F(MainWindowTest, MenusAndShortcuts) {
  struct Item { QAction* a; const char* caption; QKeySequence key; };
  const Item items[] = {
      {main.F1->menuAction(), "ファイル(&F)", QKeySequence("Ctrl+F")},
      {main.S1, "バックアップ設定(&S)", QKeySequence("Ctrl+S")},
      {main.X1, "終了(&X)", QKeySequence("Ctrl+X")},
      {main.N2->menuAction(), "表示(&D)", QKeySequence()},
      {main.N1, "バックアップファイル閲覧(&L)", QKeySequence("Ctrl+L")},
      {main.R1, "バックアップ履歴(&R)", QKeySequence("Ctrl+R")},
      {main.H2, "隠す(&H)", QKeySequence("Ctrl+H")},
      {main.G2->menuAction(), "実行(&G)", QKeySequence()},
      {main.A1, "自動実行(&A)", QKeySequence("Ctrl+A")},
      {main.B1, "自動実行停止(B)", QKeySequence("Ctrl+B")},
      {main.I1, "直ぐに実行(&I)", QKeySequence("Ctrl+I")},
      {main.M1, "バックアップの解凍(&M)", QKeySequence("Ctrl+M")},
      {main.H1->menuAction(), "ヘルプ(&H)", QKeySequence("Ctrl+H")},
      {main.N8, "バージョン", QKeySequence()},
  };
  for (const Item& i : items) {
    EXPECT_EQ(Str(i.a->text()), i.caption);
    EXPECT_EQ(i.a->shortcut(), i.key) << i.caption;
  }
  EXPECT_FALSE(main.B1->isEnabled());

  // Outside a run the tray menu shows its five items; the cancel item waits for a run.
  std::vector<std::string> popup;
  QList<QAction*> shown;
  for (QAction* a : main.PopupMenu1->actions()) {
    if (!a->isVisible()) continue;
    popup.push_back(Str(a->text()));
    shown.push_back(a);
  }
  EXPECT_EQ(popup, (std::vector<std::string>{"自動実行", "自動実行停止", "バックアップ設定", "表示", "終了"}));
  EXPECT_EQ(shown, (QList<QAction*>{main.N5, main.N6, main.N3, main.N7, main.N4}));
  EXPECT_FALSE(main.NCancelRun->isVisible());
  EXPECT_FALSE(main.N6->isEnabled());
}

TEST_F(MainWindowTest, FirstStartCreatesTheTablesAndShowsTheWindow) {
  main.FormCreate();
  EXPECT_EQ(TableNames(scratch.db), (std::vector<std::string>{"m_bkup", "m_bkup_delete_flg", "m_log", "m_schedule"}));
  TSQLiteDatabase db(scratch.db);
  auto t = db.OpenTable("select bk_type, bk_week, bk_month, bk_time from m_schedule");
  ASSERT_EQ(t->RowTotal(), 1);
  t->FirstRow();
  EXPECT_EQ(t->CellText(0), "0");
  EXPECT_EQ(t->CellText(1), "");
  EXPECT_EQ(t->CellText(2), "");
  EXPECT_EQ(t->CellText(3), "12:00:00");
  EXPECT_EQ(db.OpenTable("select * from m_bkup_delete_flg")->RowTotal(), 0);

  EXPECT_EQ(main.FirstRun, 1);
  EXPECT_TRUE(main.isVisible());
  EXPECT_EQ(Str(main.StatusBar1->currentMessage()), kFirstRunText);
  ExpectRunning(true);
  EXPECT_TRUE(main.Timer1->isActive());
  // Passing over the menu items keeps it.
  QStatusTipEvent tip(QString{});
  QCoreApplication::sendEvent(main.F1, &tip);
  EXPECT_EQ(Str(main.StatusBar1->currentMessage()), kFirstRunText);
  EXPECT_EQ(main.bk_time, "12:00:00");
  EXPECT_EQ(main.bk_type, "0");
  // Started at start-up, not by A1Click: the definition's face colour stays.
  EXPECT_EQ(main.FaceColor(*main.cxBtnGoA), clGradientInactiveCaption);
  ASSERT_NE(main.TrayIcon(), nullptr);
  EXPECT_EQ(main.TrayIcon()->Tip(), "Tidekeep");
  // The window and the tray show the program's own icon, in every size the icon theme gets.
  const QList<QSize> sizes = main.windowIcon().availableSizes();
  for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
  // Offscreen there is neither tray nor X11 display: both are left out without a word.
  EXPECT_FALSE(main.TrayIcon()->Visible());
  EXPECT_TRUE(dialogs.messages.empty());
}

// A later start lives in the tray; where the desktop has none (a plain GNOME session), its window
// is shown minimised, or the program could be found only by the hot key.
TEST_F(MainWindowTest, SecondStartKeepsTheTablesAndStaysInTheTrayOrShowsMinimisedWithoutOne) {
  main.FormCreate();
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertTarget(*db, {"/data", "/backup/data.lzh"});
  }
  struct ResetTray {
    ~ResetTray() { platform::SetTrayAvailableOverride(std::nullopt); }
  } resetTray;
  for (bool tray : {true, false}) {
    SCOPED_TRACE(tray ? "tray" : "no tray");
    platform::SetTrayAvailableOverride(tray);
    TfrmMain again;
    again.FormCreate();
    EXPECT_EQ(again.FirstRun, 0);
    EXPECT_EQ(again.TrayIcon()->Visible(), tray);
    EXPECT_EQ(again.isVisible(), !tray);
    EXPECT_EQ(again.isMinimized(), !tray);
    EXPECT_EQ(Str(again.StatusBar1->currentMessage()), "");
    EXPECT_EQ(again.FStacFlg.Value(), 1);
    EXPECT_TRUE(again.Timer1->isActive());
  }
  auto db = backupdb::OpenDatabase();
  EXPECT_EQ(backupdb::ReadTargets(*db), (std::vector<backupdb::TargetPair>{{"/data", "/backup/data.lzh"}}));
  EXPECT_EQ(db->OpenTable("select * from m_schedule")->RowTotal(), 1);
  EXPECT_EQ(TableNames(scratch.db).size(), 4u);
}

TEST_F(MainWindowTest, AutoRunButtonStopsAndStarts) {
  main.FormCreate();
  main.hide();
  main.cxBtnGoA->click();  // running -> stopped
  ExpectRunning(false);
  EXPECT_TRUE(main.isVisible());
  EXPECT_FALSE(main.Timer1->isActive());
  EXPECT_EQ(main.FaceColor(*main.cxBtnGoA), clGradientInactiveCaption);

  // A schedule saved meanwhile is read when auto-run starts again.
  {
    auto db = backupdb::OpenDatabase();
    backupdb::ReplaceSchedule(*db, 1, "1,3", "", "9:30:00");
  }
  main.cxBtnGoA->click();  // stopped -> running
  ExpectRunning(true);
  EXPECT_FALSE(main.isVisible());
  EXPECT_TRUE(main.Timer1->isActive());
  EXPECT_EQ(main.FaceColor(*main.cxBtnGoA), clLime);
  EXPECT_EQ(main.bk_type, "1");
  EXPECT_EQ(main.bk_week, "1,3");
  EXPECT_EQ(main.bk_time, "9:30:00");
}

TEST_F(MainWindowTest, StopItemStopsTheTimer) {
  main.FormCreate();
  main.B1->trigger();
  ExpectRunning(false);
  EXPECT_FALSE(main.Timer1->isActive());
  main.N5->trigger();  // the pop-up's start item runs A1Click
  ExpectRunning(true);
  EXPECT_TRUE(main.Timer1->isActive());
  main.N6->trigger();
  ExpectRunning(false);
  EXPECT_FALSE(main.Timer1->isActive());
}

TEST_F(MainWindowTest, HotKeyShowsOnlyForCtrlShiftQ) {
  main.FormCreate();
  main.hide();
  struct Case { unsigned mods, key; bool shows; };
  for (const Case& c : {Case{2, 81, false}, Case{4, 81, false}, Case{6, 80, false}, Case{7, 81, false},
                        Case{6, 81, true}}) {
    main.hide();
    main.WMHotKey(main.FHotKeyId, static_cast<LPARAM>(c.key << 16 | c.mods));
    EXPECT_EQ(main.isVisible(), c.shows) << c.mods << "/" << c.key;
  }
  // A minimised window comes back as a window, not only as a shown icon.
  main.showMinimized();
  main.WMHotKey(main.FHotKeyId, static_cast<LPARAM>(81 << 16 | 6));
  EXPECT_TRUE(main.isVisible());
  EXPECT_FALSE(main.isMinimized());
  EXPECT_EQ(main.FHotKeyMod, 6u);
  EXPECT_EQ(main.FHotKeyKey, 81u);
  EXPECT_GE(main.FHotKeyId, 0xC000);
}

TEST_F(MainWindowTest, TrayLeftPressShowsRightPressOpensTheMenu) {
  main.FormCreate();
  main.hide();
  std::vector<std::pair<QMenu*, QPoint>> popups;
  main.PopupAt = [&](QMenu& menu, const QPoint& at) { popups.emplace_back(&menu, at); };

  main.WMTrayIcon(512);  // a move: ignored
  EXPECT_FALSE(main.isVisible());
  EXPECT_TRUE(popups.empty());

  main.WMTrayIcon(platform::WM_RBUTTONDOWN);
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0].first, main.PopupMenu1);
  EXPECT_EQ(popups[0].second, platform::GetCursorPos());
  EXPECT_FALSE(main.isVisible());
  // While running the pop-up offers to stop, not to start.
  EXPECT_FALSE(main.N5->isEnabled());
  EXPECT_TRUE(main.N6->isEnabled());

  main.WMTrayIcon(platform::WM_LBUTTONDOWN);
  EXPECT_TRUE(main.isVisible());
  EXPECT_EQ(popups.size(), 1u);

  EXPECT_EQ(platform::TrayMessageFor(QSystemTrayIcon::Trigger), 513);
  EXPECT_EQ(platform::TrayMessageFor(QSystemTrayIcon::Context), 516);
  EXPECT_EQ(platform::TrayMessageFor(QSystemTrayIcon::DoubleClick), 0);
}

TEST_F(MainWindowTest, SettingsClearsTheFirstRunText) {
  main.FormCreate();
  ASSERT_EQ(Str(main.StatusBar1->currentMessage()), kFirstRunText);
  main.cxButton1->click();
  EXPECT_EQ(main.FirstRun, 0);
  EXPECT_EQ(Str(main.StatusBar1->currentMessage()), "");
  main.hide();
  main.show();  // shown again: the text does not come back
  EXPECT_EQ(Str(main.StatusBar1->currentMessage()), "");
  main.N3->trigger();
  EXPECT_EQ(dialogs.modalShown, (std::vector<std::string>{"TfrmTrgList", "TfrmTrgList"}));
}

TEST_F(MainWindowTest, CtrlHHides) {
  main.FormCreate();
  main.show();
  main.activateWindow();
  WaitUntil([&] { return main.isActiveWindow(); });
  QTest::keyClick(&main, Qt::Key_H, Qt::ControlModifier);
  EXPECT_FALSE(main.isVisible());
  EXPECT_TRUE(dialogs.modalShown.empty());  // not the help heading's version dialog
}

TEST_F(MainWindowTest, MenuItemsShowTheirWindows) {
  main.FormCreate();
  main.N1->trigger();
  main.R1->trigger();
  main.M1->trigger();
  main.N8->trigger();
  emit main.H1->aboutToShow();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogs.modalShown,
            (std::vector<std::string>{"TfrmBkupList", "TfrmLogList", "TfrmMeltArc", "TAboutBox", "TDlgVersion"}));
}

TEST_F(MainWindowTest, RunNowWithoutPairsStillEndsWithDone) {
  main.FormCreate();
  main.cxbtnGoM->click();
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"バックアップ完了"}));
  main.I1->trigger();
  EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
}

TEST_F(MainWindowTest, ErrorsOfACommandAreShownAndEndIt) {
  main.FormCreate();
  main.cxBtnGoA->click();  // stopped
  // The database turns unreadable: starting auto-run fails in LoadSchedule, before any change.
  WriteFile(scratch.db, std::string(4096, 'x'));
  main.cxBtnGoA->click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].kind, platform::MsgKind::Error);
  ExpectRunning(false);
  EXPECT_FALSE(main.Timer1->isActive());
}

TEST_F(MainWindowTest, ClosingEndsTheProgramAlsoFromTheTray) {
  main.FormCreate();
  main.hide();
  QSignalSpy closed(&main, &TfrmMain::Closed);
  main.N4->trigger();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(main.FHotKeyRegistered);
}

TEST(FormsTest, StartUpCreatesEveryWindowAndWiresTheMainOne) {
  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  std::vector<std::string> shown;
  for (int i = 0; i < 6; ++i) {
    dialogs.modalHandlers.push_back([&](QDialog& d) {
      shown.emplace_back(d.metaObject()->className());
      return int(QDialog::Rejected);
    });
  }
  TForms forms;
  ASSERT_TRUE(forms.Create());
  forms.frmMain().S1Click();
  forms.frmMain().N1Click();
  forms.frmMain().R1Click();
  forms.frmMain().M1Click();
  forms.frmMain().H1Click();
  forms.frmMain().N8Click();
  EXPECT_EQ(shown, (std::vector<std::string>{"TfrmTrgList", "TfrmBkupList", "TfrmLogList", "TfrmMeltArc",
                                             "TDlgVersion", "TAboutBox"}));
  EXPECT_TRUE(forms.frmMain().isVisible());
}

// The user sets 14:16 and presses OK: the timer runs at 14:16 from now on, without a restart
// or a toggle of auto-run.
TEST(FormsTest, ASavedScheduleReachesTheTimerAtOnce) {
  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  TForms forms;
  ASSERT_TRUE(forms.Create());
  TfrmMain& main = forms.frmMain();
  const std::string before = main.bk_time;
  auto* schedule = main.findChild<TfrmSchedule*>();
  ASSERT_NE(schedule, nullptr);
  schedule->ReadSchedule();
  schedule->SetInterval(1);
  schedule->SetWeekdayChecked(3, true);
  schedule->cxTimeEd->setTime(QTime(14, 16, 0));
  schedule->OKBtnClick();
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(main.bk_type, "1");
  EXPECT_EQ(main.bk_week, "3");
  EXPECT_EQ(main.bk_time, "14:16:00");
  EXPECT_NE(main.bk_time, before);
  EXPECT_TRUE(main.Timer1->isActive());
}

TEST(FormsTest, StartUpOnADatabaseThatCannotBeOpenedShowsTheErrorAndFails) {
  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  for (bool folder : {true, false}) {
    dialogs.messages.clear();
    std::filesystem::remove_all(scratch.db);
    if (folder) {
      std::filesystem::create_directories(scratch.db);  // a folder where the file should be
    } else {
      WriteFile(scratch.db, std::string(4096, 'x'));  // not a database
    }
    TForms forms;
    EXPECT_FALSE(forms.Create());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].kind, platform::MsgKind::Error);
    EXPECT_FALSE(dialogs.messages[0].text.empty());
    EXPECT_FALSE(forms.frmMain().Timer1->isActive());
    EXPECT_FALSE(forms.frmMain().isVisible());
  }
}

}  // namespace

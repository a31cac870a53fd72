#include "uFMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFont>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QString>
#include <QTimer>
#ifdef TIDEKEEP_HAVE_DBUS
#include <QDBusConnection>
#endif

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <utility>

#include <time.h>

#include "BackgroundRun.h"
#include "DefaultHandler.h"
#include "Dialogs.h"
#include "HotKey.h"
#include "InputGate.h"
#include "Shell.h"
#include "SleepInhibitor.h"
#include "TrayIcon.h"

namespace {

constexpr char kCaption[] = "Tidekeep[データバックアップ]\u3000by Orvanne";
constexpr char kFirstRunText[] = "バックアップ情報を設定してください";
constexpr char kBackupDone[] = "バックアップ完了";
constexpr char kAutoRun[] = "自動実行";
constexpr char kAutoRunStop[] = "自動実行停止";
constexpr char kTip[] = "Tidekeep";
constexpr char kBackupFailed[] = "スケジュール実行のバックアップに失敗しました";
constexpr char kPurged[] = "古いバックアップの整理";
constexpr char kBackupsStopped[] = "バックアップが3日以上行われていません";
constexpr char kTickFailed[] = "スケジュール実行でエラーが発生しました";
constexpr char kCancelItem[] = "バックアップを中止";
constexpr char kCancelling[] = "バックアップを中止しています...";
constexpr char kRunCancelled[] = "バックアップを中止しました";
constexpr char kInhibitReason[] = "バックアップ中";
constexpr int kClientWidth = 385, kClientHeight = 91, kStatusHeight = 19;
constexpr int kButtonWidth = 89, kButtonHeight = 25;

QString q(const char* s) { return QString::fromUtf8(s); }

QAction* AddItem(QMenu* menu, const char* caption, const QKeySequence& key = {}) {
  QAction* item = menu->addAction(q(caption));
  item->setShortcut(key);
  return item;
}

// The tray menu while a backup runs: the cancel item shown, every other item disabled (their
// commands would wait for the run anyway); as before when the run ends, however it ends.
class TRunMenu {
 public:
  TRunMenu(QMenu& menu, std::initializer_list<QAction*> runItems) : FRunItems(runItems) {
    for (QAction* item : menu.actions()) {
      if (std::find(FRunItems.begin(), FRunItems.end(), item) != FRunItems.end()) continue;
      FOthers.emplace_back(item, item->isEnabled());
      item->setEnabled(false);
    }
    for (QAction* item : FRunItems) {
      item->setEnabled(true);
      item->setVisible(true);
    }
  }
  ~TRunMenu() {
    for (QAction* item : FRunItems) item->setVisible(false);
    for (auto& [item, enabled] : FOthers) item->setEnabled(enabled);
  }
  TRunMenu(const TRunMenu&) = delete;
  TRunMenu& operator=(const TRunMenu&) = delete;

 private:
  std::vector<QAction*> FRunItems;
  std::vector<std::pair<QAction*, bool>> FOthers;
};

}  // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent), Clock(platform::NowLocal) {
  setWindowTitle(q(kCaption));
  setWindowIcon(platform::ProgramIcon());
  QPalette pal = palette();
  pal.setColor(QPalette::Window, clMainBackground);
  setPalette(pal);
  setAutoFillBackground(true);
  QFont font(QStringLiteral("Tahoma"));
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif")});
  font.setPointSize(8);
  setFont(font);

  BuildMenus();
  BuildControls();

  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TfrmMain::TimerTick);

  PopupAt = [](QMenu& menu, const QPoint& at) { menu.popup(at); };

  // The client area (below the menu bar) is 385 x 91 and the window opens at (441, 419).
  resize(kClientWidth, MainMenu1->sizeHint().height() + kClientHeight);
  move(screen() != nullptr ? StartPosition(screen()->availableGeometry(), size()) : QPoint(441, 419));
}

QPoint TfrmMain::StartPosition(const QRect& available, const QSize& window) {
  // Moved only as far as the window must, to lie within the area; the top left corner wins.
  const int x = std::max(available.left(), std::min(441, available.right() + 1 - window.width()));
  const int y = std::max(available.top(), std::min(419, available.bottom() + 1 - window.height()));
  return {x, y};
}

// A window that never closed still gives its hot key back: the grab calls into it.
TfrmMain::~TfrmMain() { FormClose(); }

void TfrmMain::SetWindows(const TMainWindows& windows) { FWindows = windows; }

template <class Sender, class Signal>
void TfrmMain::Bind(Sender* sender, Signal signal, TCommand command) {
  connect(sender, signal, this, [this, command] { Command(command); });
}

void TfrmMain::Command(TCommand command) {
  if (FBusy) {
    // Asked twice while waiting, it still runs once.
    if (std::find(FDeferred.begin(), FDeferred.end(), command) == FDeferred.end()) FDeferred.push_back(command);
    return;
  }
  RunCommand(this, [this, command] { (this->*command)(); });
}

void TfrmMain::RunDeferredCommands() {
  std::vector<TCommand> commands;
  commands.swap(FDeferred);
  for (TCommand command : commands) Command(command);
}

void TfrmMain::BuildMenus() {
  MainMenu1 = menuBar();
  // A heading's key is shadowed by the items' keys (Ctrl+H belongs to H2 first), so it stays
  // scoped to the menu bar, which never takes the focus, and never competes with them.
  auto heading = [this](const char* caption, const QKeySequence& key) {
    QMenu* menu = MainMenu1->addMenu(q(caption));
    menu->menuAction()->setShortcut(key);
    menu->menuAction()->setShortcutContext(Qt::WidgetShortcut);
    return menu;
  };
  F1 = heading("ファイル(&F)", QKeySequence(Qt::CTRL | Qt::Key_F));
  S1 = AddItem(F1, "バックアップ設定(&S)", QKeySequence(Qt::CTRL | Qt::Key_S));
  X1 = AddItem(F1, "終了(&X)", QKeySequence(Qt::CTRL | Qt::Key_X));
  N2 = heading("表示(&D)", {});
  N1 = AddItem(N2, "バックアップファイル閲覧(&L)", QKeySequence(Qt::CTRL | Qt::Key_L));
  R1 = AddItem(N2, "バックアップ履歴(&R)", QKeySequence(Qt::CTRL | Qt::Key_R));
  H2 = AddItem(N2, "隠す(&H)", QKeySequence(Qt::CTRL | Qt::Key_H));
  G2 = heading("実行(&G)", {});
  A1 = AddItem(G2, "自動実行(&A)", QKeySequence(Qt::CTRL | Qt::Key_A));
  B1 = AddItem(G2, "自動実行停止(B)", QKeySequence(Qt::CTRL | Qt::Key_B));
  B1->setEnabled(false);
  I1 = AddItem(G2, "直ぐに実行(&I)", QKeySequence(Qt::CTRL | Qt::Key_I));
  M1 = AddItem(G2, "バックアップの解凍(&M)", QKeySequence(Qt::CTRL | Qt::Key_M));
  H1 = heading("ヘルプ(&H)", QKeySequence(Qt::CTRL | Qt::Key_H));
  N8 = AddItem(H1, "バージョン");

  Bind(S1, &QAction::triggered, &TfrmMain::S1Click);
  Bind(X1, &QAction::triggered, &TfrmMain::X1Click);
  Bind(N1, &QAction::triggered, &TfrmMain::N1Click);
  Bind(R1, &QAction::triggered, &TfrmMain::R1Click);
  Bind(H2, &QAction::triggered, &TfrmMain::H2Click);
  Bind(A1, &QAction::triggered, &TfrmMain::A1Click);
  Bind(B1, &QAction::triggered, &TfrmMain::B1Click);
  Bind(I1, &QAction::triggered, &TfrmMain::cxbtnGoMClick);
  Bind(M1, &QAction::triggered, &TfrmMain::M1Click);
  // Opening the heading is its command; queued so that the menu is up before the dialog runs.
  connect(H1, &QMenu::aboutToShow, this, [this] { QTimer::singleShot(0, this, [this] { Command(&TfrmMain::H1Click); }); });
  Bind(N8, &QAction::triggered, &TfrmMain::N8Click);

  PopupMenu1 = new QMenu(this);
  NCancelRun = AddItem(PopupMenu1, kCancelItem);
  NCancelRun->setVisible(false);
  FCancelSeparator = PopupMenu1->addSeparator();
  FCancelSeparator->setVisible(false);
  // Not a command: it must reach the run, which every command waits for.
  connect(NCancelRun, &QAction::triggered, this, &TfrmMain::CancelRun);
  N5 = AddItem(PopupMenu1, "自動実行");
  N6 = AddItem(PopupMenu1, "自動実行停止");
  N6->setEnabled(false);
  N3 = AddItem(PopupMenu1, "バックアップ設定");
  N7 = AddItem(PopupMenu1, "表示");
  N4 = AddItem(PopupMenu1, "終了");
  Bind(N5, &QAction::triggered, &TfrmMain::A1Click);
  Bind(N6, &QAction::triggered, &TfrmMain::B1Click);
  Bind(N3, &QAction::triggered, &TfrmMain::S1Click);
  Bind(N7, &QAction::triggered, &TfrmMain::N7Click);
  Bind(N4, &QAction::triggered, &TfrmMain::X1Click);
}

void TfrmMain::BuildControls() {
  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight - kStatusHeight);
  setCentralWidget(client);
  auto button = [client, this](const char* caption, const char* hint, int left) {
    auto* b = new QPushButton(q(caption), client);
    b->setGeometry(left, 24, kButtonWidth, kButtonHeight);
    b->setToolTip(q(hint));
    b->setFlat(true);
    b->setAutoFillBackground(true);
    SetFaceColor(*b, clGradientInactiveCaption);
    return b;
  };
  cxButton1 = button("バックアップ設定", "バックアップするデータ、スケジュールの設定", 24);
  cxbtnGoM = button("直ぐに実行", "直ぐにバックアップを開始する", 144);
  cxBtnGoA = button(kAutoRun, "スケジュールに従い実行", 256);
  Bind(cxButton1, &QPushButton::clicked, &TfrmMain::S1Click);
  Bind(cxbtnGoM, &QPushButton::clicked, &TfrmMain::cxbtnGoMClick);
  Bind(cxBtnGoA, &QPushButton::clicked, &TfrmMain::A1Click);

  StatusBar1 = statusBar();
  StatusBar1->setFixedHeight(kStatusHeight);
}

void TfrmMain::SetFaceColor(QPushButton& button, const QColor& color) {
  QPalette pal = button.palette();
  pal.setColor(QPalette::Button, color);
  button.setPalette(pal);
}

QColor TfrmMain::FaceColor(const QPushButton& button) const { return button.palette().color(QPalette::Button); }

void TfrmMain::ShowWindowModal(QDialog* window) {
  if (window != nullptr) platform::dialogs().ShowModal(*window);
}

void TfrmMain::FormCreate() {
  FHotKeyKey = 81;
  FHotKeyMod = platform::MOD_CONTROL | platform::MOD_SHIFT;
  FHotKeyId = platform::GlobalAddAtom("Myhotkey1");
  // Not reported when it fails: the tray icon is the other way back to the window.
  FHotKeyRegistered = platform::RegisterHotKey(this, FHotKeyId, FHotKeyMod, FHotKeyKey, [this](WPARAM id, LPARAM l) {
    RunCommand(this, [this, id, l] { WMHotKey(id, l); });
  });

  FTrayIcon = std::make_unique<platform::TrayIcon>(windowIcon(), "Tidekeep", [this](LPARAM l) {
    RunCommand(this, [this, l] { WMTrayIcon(l); });
  });
  const bool inTray = FTrayIcon->Add();

  FirstRun = 0;
  {
    auto db = backupdb::OpenDatabase();
    if (backupdb::EnsureSchema(*db)) {
      FirstRun = 1;
      show();
    } else if (!inTray) {
      // Without a tray (a plain GNOME session) a hidden window could be found only by the hot key.
      showMinimized();
    }
  }

  FStacFlg.Clear();
  ToggleAutoRun();
  LoadSchedule();
  Timer1->start();
  ScheduleCatchUp();
#ifdef TIDEKEEP_HAVE_DBUS
  // logind says when the machine wakes; without the system bus the ticks notice the sleep.
  QDBusConnection::systemBus().connect(QStringLiteral("org.freedesktop.login1"),
                                       QStringLiteral("/org/freedesktop/login1"),
                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                       QStringLiteral("PrepareForSleep"), this, SLOT(PrepareForSleep(bool)));
#endif
}

void TfrmMain::ScheduleCatchUp() {
  FCatchUpAt = platform::ToDays(Clock()) + scheduler::CatchUpDelayDays;
}

void TfrmMain::CheckStalePairs(const platform::LocalDateTime& now) {
  // Read at the first tick, then once a minute: the tip stays current without a query a second.
  if (FStaleChecked && now.second > 1) return;
  FStaleChecked = true;
  FStaleText = scheduler::StaleText(scheduler::StalePairs(CurrentSchedule(), now));
  if (!FTrayIcon) return;
  FTrayIcon->SetTip(FStaleText.empty() ? std::string(kTip) : std::string(kTip) + "\n" + FStaleText);
  const int today = now.year * 10000 + now.month * 100 + now.day;
  if (FStaleText.empty() || FStaleBalloonDay == today) return;
  FStaleBalloonDay = today;
  FTrayIcon->ShowBalloon({std::string(kTip) + ": " + kBackupsStopped, FStaleText, true});
}

void TfrmMain::PrepareForSleep(bool sleeping) {
  if (!sleeping) ScheduleCatchUp();
}

namespace {

// Seconds the machine has spent suspended since it booted: the boot-time clock runs on in
// suspend, the monotonic one does not.
double SuspendedSeconds() {
  timespec boot{}, mono{};
  clock_gettime(CLOCK_BOOTTIME, &boot);
  clock_gettime(CLOCK_MONOTONIC, &mono);
  return static_cast<double>(boot.tv_sec - mono.tv_sec) + static_cast<double>(boot.tv_nsec - mono.tv_nsec) / 1e9;
}

}  // namespace

bool TfrmMain::event(QEvent* event) {
  // The status bar shows one simple text; the menu items' (empty) status tips must not replace it.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  RunCommand(this, [this] { FormShow(); });
}

void TfrmMain::FormShow() {
  if (FirstRun == 1) StatusBar1->showMessage(q(kFirstRunText));
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (FBusy) {
    // The run finishes first; the program ends after it.
    event->ignore();
    Command(&TfrmMain::X1Click);
    return;
  }
  RunCommand(this, [this] { FormClose(); });
  event->accept();
  emit Closed();
}

void TfrmMain::FormClose() {
  if (FHotKeyRegistered) platform::UnregisterHotKey(this, FHotKeyId);
  FHotKeyRegistered = false;
}

void TfrmMain::S1Click() {
  if (FirstRun == 1) {
    FirstRun = 0;
    StatusBar1->clearMessage();
  }
  ShowWindowModal(FWindows.frmTrgList);
}

void TfrmMain::cxbtnGoMClick() {
  if (RunBackup()) platform::dialogs().ShowMessage(this, kBackupDone);
}

void TfrmMain::A1Click() {
  LoadSchedule();
  ToggleAutoRun();
  if (FStacFlg.Value() == 1) {
    Timer1->start();
    hide();
    SetFaceColor(*cxBtnGoA, clLime);
  } else {
    Timer1->stop();
    show();
    SetFaceColor(*cxBtnGoA, clGradientInactiveCaption);
  }
}

void TfrmMain::B1Click() {
  ToggleAutoRun();
  Timer1->stop();
}

void TfrmMain::H2Click() { hide(); }

void TfrmMain::N7Click() { show(); }

void TfrmMain::X1Click() { close(); }

void TfrmMain::N1Click() { ShowWindowModal(FWindows.frmBkupList); }
void TfrmMain::R1Click() { ShowWindowModal(FWindows.frmLogList); }
void TfrmMain::M1Click() { ShowWindowModal(FWindows.frmMeltArc); }
void TfrmMain::H1Click() { ShowWindowModal(FWindows.dlgVersion); }
void TfrmMain::N8Click() { ShowWindowModal(FWindows.aboutBox); }

void TfrmMain::WMHotKey(WPARAM, LPARAM lParam) {
  const auto bits = static_cast<std::uintptr_t>(lParam);
  if ((bits & 0xFFFF) != FHotKeyMod || ((bits >> 16) & 0xFFFF) != FHotKeyKey) return;
  BringToFront();
}

void TfrmMain::BringToFront() {
  // A minimised window stays an icon through show() and raise(): restore it first.
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TfrmMain::WMTrayIcon(LPARAM lParam) {
  const QPoint at = platform::GetCursorPos();
  if (lParam == platform::WM_LBUTTONDOWN) {
    show();
  } else if (lParam == platform::WM_RBUTTONDOWN) {
    PopupAt(*PopupMenu1, at);
  }
}

void TfrmMain::ToggleAutoRun() {
  const bool wasStopped = FStacFlg.Value() == 0;
  FStacFlg.Toggle();
  A1->setEnabled(!wasStopped);
  N5->setEnabled(!wasStopped);
  B1->setEnabled(wasStopped);
  N6->setEnabled(wasStopped);
  cxBtnGoA->setText(q(wasStopped ? kAutoRunStop : kAutoRun));
}

void TfrmMain::LoadSchedule() {
  auto db = backupdb::OpenDatabase();
  // An older database may lack the row: it means the schedule a new database starts with.
  const backupdb::Schedule schedule = backupdb::ReadSchedule(*db).value_or(backupdb::Schedule{});
  bk_type = schedule.bk_type;
  bk_week = schedule.bk_week;
  bk_month = schedule.bk_month;
  bk_time = schedule.bk_time;
}

void TfrmMain::RunJob(const std::function<void()>& job) {
  const platform::LocalDateTime since = Clock();
  FStatusBeforeJob = StatusBar1->currentMessage();
  std::exception_ptr error;
  FLastRunCancelled = false;
  FBusy = true;
  try {
    job();
  } catch (...) {
    error = std::current_exception();
  }
  FBusy = false;
  StatusBar1->showMessage(FStatusBeforeJob);
  if (FTrayIcon) FTrayIcon->SetTip(FStaleText.empty() ? std::string(kTip) : std::string(kTip) + "\n" + FStaleText);
  if (!FCatchingUp) RunMissedJobs(since);
  if (!FDeferred.empty()) QTimer::singleShot(0, this, [this] { RunDeferredCommands(); });
  if (error) std::rethrow_exception(error);
}

void TfrmMain::RunMissedJobs(platform::LocalDateTime since) {
  if (!Timer1->isActive()) return;
  FCatchingUp = true;
  for (;;) {
    const platform::LocalDateTime now = Clock();
    std::optional<platform::LocalDateTime> backup;
    try {
      backup = scheduler::MissedBackup(CurrentSchedule(), since, now);
    } catch (const platform::EConvertError&) {
      // An unreadable schedule is reported by the ticks.
    }
    const std::optional<platform::LocalDateTime> purge = scheduler::MissedPurge(since, now);
    // Cancelled, the run stays stopped: what fell due while it went is not started behind it.
    const bool runBackup = backup && !FLastRunCancelled && FBackupLatch.Take(*backup);
    const bool runPurge = purge && FPurgeLatch.Take(*purge);
    if (!runBackup && !runPurge) break;
    since = now;
    try {
      if (runBackup) RunBackup(TRunOrigin::Timer);
      if (runPurge) RunPurge(now);
    } catch (const std::exception& e) {
      Notify(kTickFailed, e.what());
    }
  }
  FCatchingUp = false;
}

std::string TfrmMain::ProgressText(const backuprun::TRunProgress& p) {
  std::string text = "バックアップ中 " + std::to_string(p.pair) + "/" + std::to_string(p.pairs);
  if (p.members > 0) return text + " (" + std::to_string(p.members) + " 件) " + p.current;
  if (p.selected > 0) return text + " ファイルを選択中 (" + std::to_string(p.selected) + " 件)";
  return text + " " + p.folder;
}

void TfrmMain::ShowProgress(const backuprun::TRunProgress& progress) {
  // Once cancelled, the library's last messages must not look like a run going on.
  const std::string text = FCancelRequested ? std::string(kCancelling) : ProgressText(progress);
  StatusBar1->showMessage(QString::fromStdString(text));
  if (FTrayIcon) FTrayIcon->SetTip(std::string(kTip) + "\n" + text);
  // The run keeps the one thread: repaint from here, a few times a second, and let the desktop's
  // messages through (expose, show requests, ticks that wait); the run's input gate lets only
  // the tray icon and its menu's cancel item have the user's input.
  const auto now = std::chrono::steady_clock::now();
  if (now - FLastRepaint >= std::chrono::milliseconds(100)) {
    FLastRepaint = now;
    StatusBar1->repaint();
    QCoreApplication::processEvents();
  }
  emit RunProgressed();
}

void TfrmMain::Notify(const std::string& summary, const std::string& details, bool error) {
  const std::string when = platform::FormatLogDateTime(Clock());
  StatusBar1->showMessage(QString::fromStdString(summary + " (" + when + ")"));
  StatusBar1->setToolTip(QString::fromStdString(details));
  if (FTrayIcon) FTrayIcon->ShowBalloon({std::string(kTip) + ": " + summary, details, error});
}

void TfrmMain::CancelRun() {
  if (!FBusy || FCancelRequested) return;
  FCancelRequested = true;
  NCancelRun->setEnabled(false);
  StatusBar1->showMessage(q(kCancelling));
}

bool TfrmMain::RunBackup(TRunOrigin origin) {
  std::vector<backuprun::TPairResult> results;
  RunJob([&] {
    FCancelRequested = false;
    const TRunMenu runMenu(*PopupMenu1, {NCancelRun, FCancelSeparator});
    const platform::TInputGate gate({PopupMenu1});
    const TSleepInhibitor inhibitor(kInhibitReason);
    if (!inhibitor.Held() && inhibitor.Problem() != FSleepProblem) {
      // Told once: the run goes on, and the machine may sleep during it.
      std::cerr << "tidekeep: backups run without a sleep inhibitor (" << inhibitor.Problem() << ")" << std::endl;
    }
    FSleepProblem = inhibitor.Problem();
    // Only the timer's runs go to the background: a run the user asked for has their attention.
    const platform::TBackgroundRun background(origin == TRunOrigin::Timer);
    backuprun::TBackupEvents events;
    events.OnProgress = [this](const backuprun::TRunProgress& p) { ShowProgress(p); };
    events.CancelRequested = [this] { return FCancelRequested; };
    results = backuprun::RunBackup(0, Clock, events);
    FLastRunCancelled = backuprun::RunCancelled(results);
  });
  const std::string failures = backuprun::FailuresText(results);
  if (backuprun::RunCancelled(results)) {
    // The user asked for it: told without a box, with what was kept and what failed before.
    std::string details = backuprun::CancelText(results);
    if (!failures.empty()) details += "\n\n" + failures;
    Notify(kRunCancelled, details, false);
    return false;
  }
  if (failures.empty()) return true;
  if (origin == TRunOrigin::Timer) {
    Notify(kBackupFailed, failures);
  } else {
    platform::dialogs().ShowError(this, failures);
  }
  return false;
}

void TfrmMain::RunPurge(const platform::LocalDateTime& now) {
  std::vector<scheduler::TExpired> expired;
  RunJob([&] { expired = scheduler::PurgeExpiredArchives(now); });
  // Said in a balloon that waits for no one: what went, and what stayed past its time and why.
  const std::string report = scheduler::PurgeReport(expired);
  if (!report.empty() && FTrayIcon) FTrayIcon->ShowBalloon({std::string(kTip) + ": " + kPurged, report, false});
}

void TfrmMain::TimerTick() {
  if (FBusy) return;
  try {
    Timer1Timer();
    FLastTickError.clear();
  } catch (const std::exception& e) {
    // Once, not every second while it repeats.
    if (e.what() == FLastTickError) return;
    FLastTickError = e.what();
    Notify(kTickFailed, FLastTickError);
  }
}

void TfrmMain::Timer1Timer() {
  const platform::LocalDateTime now = Clock();
  // A wake the bus did not announce: the suspended time grew since the last tick.
  const double slept = SuspendedSeconds();
  if (FSleptSeconds >= 0 && slept - FSleptSeconds > 5) ScheduleCatchUp();
  FSleptSeconds = slept;
  // The schedule before the purge: set to 14:35, the backup runs first.
  if (scheduler::ScheduleDue(CurrentSchedule(), now) && FBackupLatch.Take(now)) RunBackup(TRunOrigin::Timer);
  if (scheduler::PurgeDue(now) && FPurgeLatch.Take(now)) RunPurge(now);
  CheckStalePairs(now);
  // After the due job: a moment due now is this tick's, not a missed one.
  if (FCatchUpAt && platform::ToDays(now) >= *FCatchUpAt) {
    FCatchUpAt.reset();
    // Never more than one catch-up run, however many moments were missed.
    if (scheduler::BackupMissed(CurrentSchedule(), now)) RunBackup(TRunOrigin::Timer);
    RunPurge(now);
  }
}

// The main window: menus, tray icon, hot key, the auto-run state and the one-second timer that
// runs the schedule and the daily purge. It is created first and normally stays hidden.
#pragma once
#include <QColor>
#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BackupRun.h"
#include "Scheduler.h"
#include "TStatFlg.h"
#include "WinMsg.h"

class QAction;
class QDialog;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace platform {
class TrayIcon;
}

// The face colour of the three buttons: the system colour for a gradient inactive caption, as the
// Windows default theme sets it (the desktops here have no such colour).
inline const QColor clGradientInactiveCaption{215, 228, 242};
inline const QColor clLime{0, 255, 0};
inline const QColor clMainBackground{222, 221, 190};

// The windows the main window shows modally; not owned.
struct TMainWindows {
  QDialog* frmTrgList = nullptr;
  QDialog* frmBkupList = nullptr;
  QDialog* frmLogList = nullptr;
  QDialog* frmMeltArc = nullptr;
  QDialog* dlgVersion = nullptr;
  QDialog* aboutBox = nullptr;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  void SetWindows(const TMainWindows& windows);

  // Controls, as the window definition names them.
  QMenuBar* MainMenu1;
  QMenu *F1, *N2, *G2, *H1;
  QAction *S1, *X1, *N1, *R1, *H2, *A1, *B1, *I1, *M1, *N8;
  QMenu* PopupMenu1;
  QAction *N5, *N6, *N3, *N7, *N4;
  // The tray menu's cancel item, shown only while a backup runs; then the menu's only enabled item.
  QAction* NCancelRun;
  QPushButton *cxButton1, *cxbtnGoM, *cxBtnGoA;
  QStatusBar* StatusBar1;
  QTimer* Timer1;

  // Hot key.
  std::uint16_t FHotKeyId = 0;
  std::uint32_t FHotKeyKey = 0;
  std::uint32_t FHotKeyMod = 0;
  bool FHotKeyRegistered = false;

  std::int32_t FirstRun = 0;
  // The schedule as LoadSchedule last read it.
  std::string bk_type, bk_week, bk_month, bk_time;
  TStacFlg FStacFlg;

  // Seams: the clock the timer and the backup run read, and how the tray's pop-up menu opens.
  backuprun::Clock Clock;
  std::function<void(QMenu& menu, const QPoint& at)> PopupAt;

  // Start-up: hot key, tray icon, backup.db and its tables, auto-run on, schedule, timer.
  void FormCreate();
  void FormShow();
  void FormClose();
  void S1Click();
  void cxbtnGoMClick();
  void A1Click();
  void B1Click();
  void H2Click();
  void N7Click();
  void X1Click();
  void N1Click();
  void R1Click();
  void M1Click();
  void H1Click();
  void N8Click();
  // One tick: the schedule, then the purge. Raises what they raise (an unreadable bk_time).
  void Timer1Timer();
  // After a start or a resume: two minutes later (by Clock), one backup when a scheduled moment
  // passed since the newest history row, and the purge.
  void ScheduleCatchUp();
  // The timer's entry: Timer1Timer unless a job runs (the job, when it ends, runs once what fell
  // due meanwhile); its errors go to the status bar and the tray's balloon, never a box.
  void TimerTick();
  void WMHotKey(WPARAM id, LPARAM lParam);
  void WMTrayIcon(LPARAM lParam);
  void ToggleAutoRun();
  // Shows the window in front of the others: the hot key, and a later start of the program.
  void BringToFront();
  void LoadSchedule();
  // Who started a run decides how its failures are told: a command shows them in a box; the
  // timer puts them in the status bar and the tray's balloon, so that no box waits for someone
  // while later schedules and purges fall due.
  enum class TRunOrigin { Command, Timer };
  // Packs and logs every target pair, showing the progress; reports every pair that did not
  // succeed, in one message, and returns false then.
  bool RunBackup(TRunOrigin origin = TRunOrigin::Command);
  // A backup or a purge is running: ticks, commands and other runs wait.
  bool Busy() const { return FBusy; }
  // The cancel item: the running backup stops before the library's next member and logs nothing
  // for the pair it was packing, whose previous archive stays as it was; later pairs are skipped.
  void CancelRun();
  // What the status bar and the tray's tip show while a run goes.
  static std::string ProgressText(const backuprun::TRunProgress& progress);

  // Where the window opens: (441, 419), moved inside a screen's available area that is too small
  // or scaled to hold it there.
  static QPoint StartPosition(const QRect& available, const QSize& window);

  const platform::TrayIcon* TrayIcon() const { return FTrayIcon.get(); }
  QColor FaceColor(const QPushButton& button) const;

 public slots:
  // logind's signal: false when the machine has woken up.
  void PrepareForSleep(bool sleeping);

 signals:
  // The window was closed: the program ends.
  void Closed();
  // A run's progress was put into the status bar and the tray's tip.
  void RunProgressed();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildControls();
  // Connects a menu item or button to a command run under the default handler.
  template <class Sender, class Signal>
  void Bind(Sender* sender, Signal signal, void (TfrmMain::*command)());
  using TCommand = void (TfrmMain::*)();
  // Runs a command under the default handler, or keeps it for when the running job ends.
  void Command(TCommand command);
  void RunDeferredCommands();
  // Runs one job (a backup or a purge) while everything else waits; then, unless it is itself
  // catching up, runs once each job whose due moment passed while it ran.
  void RunJob(const std::function<void()>& job);
  void RunMissedJobs(platform::LocalDateTime since);
  void RunPurge(const platform::LocalDateTime& now);
  void ShowProgress(const backuprun::TRunProgress& progress);
  // A failure of unattended work, or a cancelled run: the status bar and the tray's balloon.
  void Notify(const std::string& summary, const std::string& details, bool error = true);
  backupdb::Schedule CurrentSchedule() const { return {bk_type, bk_week, bk_month, bk_time}; }
  void ShowWindowModal(QDialog* window);
  void SetFaceColor(QPushButton& button, const QColor& color);

  TMainWindows FWindows;
  std::unique_ptr<platform::TrayIcon> FTrayIcon;
  scheduler::TMinuteLatch FBackupLatch, FPurgeLatch;
  bool FBusy = false;
  bool FCancelRequested = false;
  bool FLastRunCancelled = false;  // a moment that passed during a cancelled run is not caught up
  std::string FSleepProblem;       // why the last run held no sleep inhibitor, told once
  QAction* FCancelSeparator = nullptr;
  bool FCatchingUp = false;
  std::optional<double> FCatchUpAt;  // when the start's or resume's catch-up runs, in days (ToDays)
  double FSleptSeconds = -1;
  // The warning about pairs whose backups stopped: its balloon at start and once a day.
  std::optional<int> FStaleBalloonDay;
  bool FStaleChecked = false;
  std::string FStaleText;
  void CheckStalePairs(const platform::LocalDateTime& now);                           // time spent suspended, as last seen
  std::vector<TCommand> FDeferred;
  std::string FLastTickError;  // reported once while it repeats
  QString FStatusBeforeJob;
  std::chrono::steady_clock::time_point FLastRepaint;
};

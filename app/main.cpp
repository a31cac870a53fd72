// Tidekeep: the tray-resident backup program, and its headless runs for servers and cron.
#include <QApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "BackupRun.h"
#include "Dialogs.h"
#include "DisplaySession.h"
#include "Forms.h"
#include "Paths.h"
#include "Scheduler.h"
#include "Shell.h"
#include "SingleInstance.h"
#include "SleepInhibitor.h"

namespace {

constexpr char kUsage[] =
    "Usage: tidekeep [--db PATH] [--show | --run-now | --purge-now]\n"
    "\n"
    "Without a command the program starts in the notification area with auto-run on; when one\n"
    "already runs on the same database, that one shows its window instead.\n"
    "\n"
    "Options:\n"
    "  --db PATH     use the settings database PATH instead of the default backup.db\n"
    "  --show        show the window of the program running on the database, or start the program\n"
    "                with its window shown; bind a desktop shortcut to it where the hot key\n"
    "                Ctrl+Shift+Q cannot work (Wayland)\n"
    "  --run-now     back up every target pair once, without any window, and exit (status 1 when\n"
    "                a pair failed or was stored only in part, or its history row was not written)\n"
    "  --purge-now   delete the archives past the retention choice once, without any window, and exit\n"
    "  --version     print the version and exit\n"
    "  --help        print this help and exit\n";

enum class Command { Window, Show, RunNow, PurgeNow };

int UsageError(const std::string& message) {
  std::cerr << "tidekeep: " << message << "\nTry 'tidekeep --help'.\n";
  return 2;
}

// A database path must name a file in an existing folder; SQLite would fail later and less clearly.
std::string DatabasePathProblem(const std::string& path) {
  if (path.empty()) return "--db needs a file path";
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path full(platform::ExpandFileName(path));
  if (fs::is_directory(full, ec)) return "--db " + path + ": is a folder";
  if (!fs::is_directory(full.parent_path(), ec)) return "--db " + path + ": its folder does not exist";
  return {};
}

// A headless run on a new database finds the tables the window would have made.
void EnsureDatabase() {
  auto db = backupdb::OpenDatabase();
  backupdb::EnsureSchema(*db);
}

// The signal that asked a --run-now to stop; 0 while none did.
volatile std::sig_atomic_t gStopSignal = 0;

void AskToStop(int signal) { gStopSignal = signal; }

// SIGINT and SIGTERM cancel the run as the tray's cancel item does: the pair being packed keeps
// its previous archive and the rest are skipped. A second one ends the program at once.
void CancelOnSignals() {
  struct sigaction action {};
  action.sa_handler = AskToStop;
  // Restarted, the library's reads and writes never see the signal; it sees the cancel.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// One line per pair, and a progress line about once a second while a large pair packs. Exits 1
// when any pair failed or was stored only in part, or its history row could not be written;
// 128 + the signal's number when a signal cancelled the run.
int RunNow() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastProgress = Clock::now();
  backuprun::TBackupEvents events;
  events.OnProgress = [&](const backuprun::TRunProgress& p) {
    if (p.current.empty() || Clock::now() - lastProgress < std::chrono::seconds(1)) return;
    lastProgress = Clock::now();
    std::cout << "  " << p.folder << ": " << p.members << " done, at " << p.current << std::endl;
  };
  events.OnPairDone = [&](const backuprun::TPairResult& r) {
    std::cout << r.pair.target_folder << " -> " << r.archive << ": ";
    switch (r.outcome) {
      case backuprun::TPairOutcome::Stored: std::cout << (r.logged ? "ok" : "ok, not logged"); break;
      case backuprun::TPairOutcome::NothingToPack: std::cout << "nothing to back up"; break;
      case backuprun::TPairOutcome::PartlyStored: std::cout << "partly stored, error " << r.code; break;
      case backuprun::TPairOutcome::Failed:
        if (r.error.empty()) std::cout << "error " << r.code; else std::cout << "error";
        break;
      case backuprun::TPairOutcome::Cancelled: std::cout << "cancelled, the previous archive left as it was"; break;
      case backuprun::TPairOutcome::NotAttempted: std::cout << "not attempted (cancelled)"; break;
    }
    std::cout << std::endl;
  };
  events.CancelRequested = [] { return gStopSignal != 0; };
  CancelOnSignals();
  try {
    EnsureDatabase();
    const TSleepInhibitor inhibitor("バックアップ中");
    if (!inhibitor.Held()) std::cout << "running without a sleep inhibitor (" << inhibitor.Problem() << ")" << std::endl;
    const std::vector<backuprun::TPairResult> results = backuprun::RunBackup(0, platform::NowLocal, events);
    const std::string failures = backuprun::FailuresText(results);
    if (!failures.empty()) std::cerr << "tidekeep: " << failures << "\n";
    if (backuprun::RunCancelled(results)) return 128 + gStopSignal;
    return failures.empty() ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "tidekeep: " << e.what() << "\n";
    return 1;
  }
}

int PurgeNow() {
  try {
    EnsureDatabase();
    for (const scheduler::TExpired& e : scheduler::PurgeExpiredArchives(platform::NowLocal())) {
      switch (e.action) {
        case scheduler::TPurgeAction::Deleted: std::cout << "deleted "; break;
        case scheduler::TPurgeAction::NotDeleted: std::cout << "not found or not deletable "; break;
        case scheduler::TPurgeAction::KeptNewest: std::cout << "kept (the pair's newest) "; break;
        case scheduler::TPurgeAction::KeptNoGoodNewer: std::cout << "kept (no newer archive tests good) "; break;
      }
      std::cout << e.archive << "\n";
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "tidekeep: " << e.what() << "\n";
    return 1;
  }
}

int RunWindow(int argc, char** argv, bool showWindow) {
  if (!platform::HasDisplaySession()) {
    std::cerr << "tidekeep: needs a desktop session (no display found); --run-now and --purge-now work without one\n";
    return 2;
  }
  QApplication app(argc, argv);
  if (!platform::InstallJapaneseQtTranslations()) {
    std::cerr << "tidekeep: Qt's Japanese translations are missing (qt6-translations-l10n); its choosers stay in English\n";
  }
  // Wayland desktops match the window to tidekeep.desktop by this name, for its icon and title.
  QGuiApplication::setDesktopFileName(QStringLiteral("tidekeep"));
  QApplication::setWindowIcon(platform::ProgramIcon());
  // Only the main window's closing ends the program: a dialog or message box opened from the
  // tray while the main window is hidden must not, when it closes as the last visible window.
  QApplication::setQuitOnLastWindowClosed(false);
  // A second start on the same database only brings the first one's window forward.
  const std::unique_ptr<singleinstance::TSingleInstance> instance =
      singleinstance::TSingleInstance::Claim(platform::DatabasePath());
  if (!instance) return 0;
  if (!instance->Listening()) std::cerr << "tidekeep: cannot make sure that no other program runs on this database\n";
  TForms forms;
  if (!forms.Create()) return 1;
  QObject::connect(instance.get(), &singleinstance::TSingleInstance::ShowRequested, &forms.frmMain(),
                   &TfrmMain::BringToFront);
  QObject::connect(&forms.frmMain(), &TfrmMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  if (showWindow) forms.frmMain().BringToFront();
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  Command command = Command::Window;
  bool commandGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "tidekeep " << TIDEKEEP_VERSION << "\n";
      return 0;
    }
    if (arg == "--db" || arg.starts_with("--db=")) {
      std::string path;
      if (arg == "--db") {
        if (i + 1 >= argc) return UsageError("--db needs a file path");
        path = argv[++i];
      } else {
        path = std::string(arg.substr(5));
      }
      if (std::string problem = DatabasePathProblem(path); !problem.empty()) return UsageError(problem);
      platform::SetDatabasePathOverride(platform::ExpandFileName(path));
    } else if (arg == "--show" || arg == "--run-now" || arg == "--purge-now") {
      if (commandGiven) return UsageError("--show, --run-now and --purge-now exclude each other");
      command = arg == "--show" ? Command::Show : arg == "--run-now" ? Command::RunNow : Command::PurgeNow;
      commandGiven = true;
    } else {
      return UsageError("unknown option '" + std::string(arg) + "'");
    }
  }
  switch (command) {
    case Command::RunNow: return RunNow();
    case Command::PurgeNow: return PurgeNow();
    case Command::Show:
      // The running program shows its window; this one is done.
      if (singleinstance::AskToShow(platform::DatabasePath())) return 0;
      return RunWindow(argc, argv, true);
    case Command::Window: break;
  }
  return RunWindow(argc, argv, false);
}

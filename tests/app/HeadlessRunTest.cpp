// The program run headless, as cron runs it: the archiver library found where a built or an
// installed program keeps it, backup.db under the XDG data folder when the program's own folder
// cannot be written, and progress lines while a large pair packs.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "BackupRun.h"
#include "FileSearch.h"

namespace {

namespace fs = std::filesystem;

struct Ran {
  int code = -1;
  std::string out, err;
};

// The tests' environment less the folders they point the program at, so that it looks for its
// library and its database where it would in use.
QProcessEnvironment PlainEnvironment() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("TIDEKEEP_ARCHIVERS");
  env.remove("TIDEKEEP_DB");
  return env;
}

Ran Finish(QProcess& p) {
  EXPECT_TRUE(p.waitForFinished(-1));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

void AddPair(const std::string& db, const fs::path& folder, const fs::path& archive) {
  TSQLiteDatabase d(db);
  backupdb::EnsureSchema(d);
  backupdb::InsertTarget(d, {folder.string(), archive.string()});
}

std::vector<backupdb::LogRow> LogOf(const std::string& db) {
  TSQLiteDatabase d(db);
  return backupdb::ReadLog(d);
}

TEST(HeadlessRun, FindsTheLibraryBesideTheProgramWithoutTheVariable) {
  ScratchDb scratch;
  WriteFile(scratch.Path("src/a.txt"), "alpha\n");
  fs::create_directories(scratch.dir / "out");
  AddPair(scratch.db, scratch.dir / "src", scratch.dir / "out/src.lzh");
  QProcess p;
  p.setProcessEnvironment(PlainEnvironment());
  p.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--run-now"});
  const Ran r = Finish(p);
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  const auto rows = LogOf(scratch.db);
  ASSERT_EQ(rows.size(), 1u) << r.out << r.err;
  EXPECT_TRUE(fs::exists(rows[0].bkup_file));
}

// An installed layout: the program in bin/ (a folder it cannot write), the library in
// lib/tidekeep/archivers/, no variables. backup.db is then the one under $XDG_DATA_HOME. As
// root the program runs as another user, since root may write any folder.
TEST(HeadlessRun, AnInstalledProgramUsesItsLibFolderAndTheXdgDatabase) {
  ScratchDb scratch;
  const fs::path bin = scratch.dir / "prefix/bin";
  const fs::path archivers = scratch.dir / "prefix/lib/tidekeep/archivers";
  fs::create_directories(bin);
  fs::create_directories(archivers);
  fs::copy_file(TIDEKEEP_BIN, bin / "tidekeep");
  fs::copy_file(TK_WINMSG_LIB, bin / fs::path(TK_WINMSG_LIB).filename());
  fs::copy_file(TK_UNLHA_LIB, archivers / fs::path(TK_UNLHA_LIB).filename());
  WriteFile(scratch.Path("src/a.txt"), "alpha\n");
  const fs::path data = scratch.dir / "data";
  const std::string db = (data / "tidekeep/backup.db").string();
  fs::create_directories(data / "tidekeep");
  fs::create_directories(scratch.dir / "out");
  AddPair(db, scratch.dir / "src", scratch.dir / "out/src.lzh");

  // Readable by all, writable where the program must write, never its own folder.
  for (const auto& e : fs::recursive_directory_iterator(scratch.dir))
    fs::permissions(e.path(), e.is_directory() ? fs::perms(0777) : fs::perms(0666), fs::perm_options::add);
  fs::permissions(scratch.dir, fs::perms(0755), fs::perm_options::add);
  fs::permissions(bin / "tidekeep", fs::perms(0755));
  fs::permissions(bin, fs::perms(0555));

  QProcess p;
  QProcessEnvironment env = PlainEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(data.string()));
  env.insert("HOME", QString::fromStdString((scratch.dir / "home").string()));
  p.setProcessEnvironment(env);
  constexpr int kCannotSwitch = 99;
  p.setChildProcessModifier([] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(kCannotSwitch);
  });
  p.start(QString::fromStdString((bin / "tidekeep").string()), {"--run-now"});
  const Ran r = Finish(p);
  fs::permissions(bin, fs::perms::owner_all, fs::perm_options::add);
  if (r.code == kCannotSwitch) GTEST_SKIP() << "root cannot switch to another user here";
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_FALSE(fs::exists(bin / "backup.db"));
  const auto rows = LogOf(db);
  ASSERT_EQ(rows.size(), 1u) << r.out << r.err;
  EXPECT_TRUE(fs::exists(rows[0].bkup_file));
  EXPECT_NE(r.out.find(" -> " + rows[0].bkup_file + ": ok"), std::string::npos) << r.out;
}

// 600 files of 32 KiB: a pair that packs long enough to be caught while it packs.
void MakeLargeFolder(const fs::path& folder) {
  std::string text;
  for (int i = 0; text.size() < (32 << 10); ++i) text += std::to_string(i * 7919 % 10007) + (i % 9 ? " " : "\n");
  for (int i = 0; i < 600; ++i) WriteFile((folder / ("f" + std::to_string(i) + ".txt")).string(), text);
}

// A pair is being packed into out: its temporary archive exists.
bool Packing(const fs::path& out) {
  for (const auto& e : fs::directory_iterator(out))
    if (e.path().extension() == ".tmp") return true;
  return false;
}

// Starts --run-now on db and holds it still (SIGSTOP) once a temporary archive shows in out.
struct THeld {
  pid_t pid = 0;                     // 0 when the program ended first: never signal that
  bool stoppedWhilePacking = false;  // the archive was still being packed when it was held
};
THeld RunNowHeldWhilePacking(QProcess& p, const std::string& db, const fs::path& out) {
  p.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(db), "--run-now"});
  WaitUntil([&] { return Packing(out) || p.state() == QProcess::NotRunning; });
  THeld held{static_cast<pid_t>(p.processId())};
  if (held.pid > 0 && ::kill(held.pid, SIGSTOP) == 0) held.stoppedWhilePacking = Packing(out);
  return held;
}

// Progress lines come at most once a second. The program is held still for longer than that
// while its pair packs (its temporary archive exists and members remain), so the next member
// must bring a line.
TEST(HeadlessRun, ALargePairPrintsProgressLines) {
  ScratchDb scratch;
  const fs::path src = scratch.dir / "src";
  MakeLargeFolder(src);
  const fs::path out = scratch.dir / "out";
  fs::create_directories(out);
  AddPair(scratch.db, src, out / "src.lzh");

  QProcess p;
  const THeld held = RunNowHeldWhilePacking(p, scratch.db, out);
  ASSERT_GT(held.pid, 0) << "the program ended before it packed: " << p.readAllStandardError().toStdString();
  QThread::msleep(1500);
  ::kill(held.pid, SIGCONT);
  const Ran r = Finish(p);
  ASSERT_TRUE(held.stoppedWhilePacking) << "the pair was packed before the program could be held";
  EXPECT_EQ(r.code, 0) << r.err;
  const std::regex progress("  " + src.string() + R"(: \d+ done, at f\d+\.txt)");
  std::istringstream lines(r.out);
  int seen = 0;
  for (std::string line; std::getline(lines, line);) seen += std::regex_match(line, progress) ? 1 : 0;
  EXPECT_GE(seen, 1) << r.out;
}

// Ctrl+C (SIGINT) during a --run-now cancels as the tray's item does: the pair being packed keeps
// the archive it had this morning, to the byte, and no row; the next pair is not tried; the
// program says so and ends with 128 + 2.
TEST(HeadlessRun, AnInterruptCancelsTheRunAndKeepsThePreviousArchive) {
  ScratchDb scratch;
  const fs::path src = scratch.dir / "big";  // PackArchive packs from "src"
  MakeLargeFolder(src);
  const fs::path out = scratch.dir / "out";
  fs::create_directories(out);
  AddPair(scratch.db, src, out / "src.lzh");
  AddPair(scratch.db, scratch.dir / "second", out / "second.lzh");
  const std::string morning = backuprun::MakeArchiveName((out / "src.lzh").string(), platform::NowLocal());
  PackArchive(scratch, morning, "this morning\n");
  const std::string before = *platform::ReadWholeFile(morning);

  QProcess p;
  // Held still, the interrupt is sure to come while the pair packs.
  const THeld held = RunNowHeldWhilePacking(p, scratch.db, out);
  ASSERT_GT(held.pid, 0) << "the program ended before it packed: " << p.readAllStandardError().toStdString();
  ::kill(held.pid, SIGINT);
  ::kill(held.pid, SIGCONT);
  const Ran r = Finish(p);
  ASSERT_TRUE(held.stoppedWhilePacking) << "the pair was packed before the program could be held";
  EXPECT_EQ(r.code, 128 + SIGINT) << r.out << r.err;
  EXPECT_EQ(*platform::ReadWholeFile(morning), before);
  EXPECT_FALSE(Packing(out));
  EXPECT_TRUE(LogOf(scratch.db).empty());
  EXPECT_NE(r.out.find(src.string() + " -> " + morning + ": cancelled"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("second.lzh: not attempted (cancelled)"), std::string::npos) << r.out;
}

}  // namespace

// The program as a process: its options, refusing a database path it cannot use before any
// window opens, where a copy keeps its database, and a start without any display.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <filesystem>

#include "AppTestSupport.h"

namespace {

struct Ran {
  int code;
  std::string out, err;
};

Ran RunProgram(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
               const QString& program = QStringLiteral(TIDEKEEP_BIN)) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  EXPECT_TRUE(p.waitForFinished(-1));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

TEST(ProgramTest, VersionAndHelp) {
  Ran v = RunProgram({"--version"});
  EXPECT_EQ(v.code, 0);
  EXPECT_EQ(v.out, "tidekeep 1.0\n");
  Ran h = RunProgram({"--help"});
  EXPECT_EQ(h.code, 0);
  for (const char* option : {"--db PATH", "--show", "--run-now", "--purge-now", "--version", "--help"}) {
    EXPECT_NE(h.out.find(option), std::string::npos) << option;
  }
}

TEST(ProgramTest, BadOptionsExitWithTwo) {
  ScratchDb scratch;
  const std::string missingFolder = scratch.Path("no/such/folder/backup.db");
  struct Case { QStringList args; const char* says; };
  for (const Case& c : {Case{{"--bogus"}, "unknown option '--bogus'"}, Case{{"--db"}, "--db needs a file path"},
                        Case{{"--db", QString::fromStdString(missingFolder)}, "its folder does not exist"},
                        Case{{"--db", QString::fromStdString(scratch.dir.string())}, "is a folder"},
                        Case{{"--run-now", "--purge-now"}, "exclude each other"},
                        Case{{"--show", "--run-now"}, "exclude each other"}}) {
    Ran r = RunProgram(c.args);
    EXPECT_EQ(r.code, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(missingFolder));
}

// The environment of a login over ssh or of cron: no display of any kind.
QProcessEnvironment WithoutDisplay() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"}) env.remove(name);
  return env;
}

TEST(ProgramTest, WithoutAnyDisplayTheWindowRefusesInOneLineAndTheHeadlessRunsWork) {
  ScratchDb scratch;
  const QString db = QString::fromStdString(scratch.db);
  for (const char* display : {"", ":987"}) {  // none, and one left over from another session
    QProcessEnvironment env = WithoutDisplay();
    if (*display != '\0') env.insert("DISPLAY", display);
    Ran r = RunProgram({"--db", db}, env);
    EXPECT_EQ(r.code, 2) << display;
    EXPECT_EQ(r.err,
              "tidekeep: needs a desktop session (no display found); --run-now and --purge-now work without one\n");
    EXPECT_TRUE(r.out.empty());
  }
  for (const char* option : {"--version", "--help"}) EXPECT_EQ(RunProgram({option}, WithoutDisplay()).code, 0) << option;
  for (const char* command : {"--run-now", "--purge-now"}) {
    Ran r = RunProgram({"--db", db, command}, WithoutDisplay());
    EXPECT_EQ(r.code, 0) << command << ": " << r.err;
  }
}

// A copy of the program outside the build tree, as an installed one is: only the portable marker
// beside it makes it keep its database there, whoever runs it (for root every folder is writable).
TEST(ProgramTest, OnlyAMarkedCopyKeepsItsDatabaseBesideItself) {
  namespace fs = std::filesystem;
  ScratchDb scratch;
  const fs::path bin = scratch.dir / "bin", data = scratch.dir / "data";
  fs::create_directories(bin);
  const fs::path built = fs::path(TIDEKEEP_BIN).parent_path();
  for (const char* part : {"tidekeep", "libtidekeep-winmsg.so"}) fs::copy_file(built / part, bin / part);
  QProcessEnvironment env = WithoutDisplay();
  env.remove("TIDEKEEP_DB");
  env.insert("XDG_DATA_HOME", QString::fromStdString(data.string()));
  const QString program = QString::fromStdString((bin / "tidekeep").string());

  Ran installed = RunProgram({"--purge-now"}, env, program);
  EXPECT_EQ(installed.code, 0) << installed.err;
  EXPECT_TRUE(fs::exists(data / "tidekeep" / "backup.db"));
  EXPECT_FALSE(fs::exists(bin / "backup.db"));

  WriteFile((bin / platform::PortableMarkerName).string(), "");
  Ran portable = RunProgram({"--purge-now"}, env, program);
  EXPECT_EQ(portable.code, 0) << portable.err;
  EXPECT_TRUE(fs::exists(bin / "backup.db"));
}

}  // namespace

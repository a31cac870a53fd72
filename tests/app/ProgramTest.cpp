// The program as a process: its options, and refusing a database path it cannot use before any
// window opens.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include "AppTestSupport.h"

namespace {

struct Ran {
  int code;
  std::string out, err;
};

Ran RunProgram(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(TIDEKEEP_BIN), args);
  EXPECT_TRUE(p.waitForFinished(-1));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

TEST(ProgramTest, VersionAndHelp) {
  Ran v = RunProgram({"--version"});
  EXPECT_EQ(v.code, 0);
  EXPECT_EQ(v.out, "tidekeep 0.1.0\n");
  Ran h = RunProgram({"--help"});
  EXPECT_EQ(h.code, 0);
  for (const char* option : {"--db PATH", "--run-now", "--purge-now", "--version", "--help"}) {
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
                        Case{{"--run-now", "--purge-now"}, "exclude each other"}}) {
    Ran r = RunProgram(c.args);
    EXPECT_EQ(r.code, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(missingFolder));
}

}  // namespace

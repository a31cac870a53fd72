// One program per database: the socket's name, the first program's request channel, and the
// program itself started twice on one database.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>
#include <QStringList>
#include <chrono>
#include <thread>

#include "AppTestSupport.h"
#include "SingleInstance.h"

namespace {

namespace fs = std::filesystem;
using singleinstance::TSingleInstance;

TEST(SingleInstanceTest, TheNameFollowsTheDatabaseNotTheWayItIsWritten) {
  ScratchDb scratch;
  const fs::path link = scratch.dir / "link";
  fs::create_directory_symlink(scratch.dir, link);
  const std::string name = singleinstance::SocketName(scratch.db);
  EXPECT_EQ(singleinstance::SocketName((scratch.dir / "." / "backup.db").string()), name);
  EXPECT_EQ(singleinstance::SocketName((link / "backup.db").string()), name);
  EXPECT_NE(singleinstance::SocketName(scratch.Path("other.db")), name);
  EXPECT_EQ(name.find('/'), std::string::npos);
}

TEST(SingleInstanceTest, ALaterClaimAsksTheFirstToShowItself) {
  ScratchDb scratch;
  EXPECT_FALSE(singleinstance::AskToShow(scratch.db));
  auto first = TSingleInstance::Claim(scratch.db);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->Listening());
  QSignalSpy shown(first.get(), &TSingleInstance::ShowRequested);
  EXPECT_FALSE(TSingleInstance::Claim(scratch.db));
  ASSERT_TRUE(shown.wait(10000));
  EXPECT_EQ(shown.count(), 1);
  // Another database has a program of its own.
  auto other = TSingleInstance::Claim(scratch.Path("other.db"));
  ASSERT_TRUE(other);
  EXPECT_TRUE(other->Listening());
  // Gone with its program: the next start is the first again.
  first.reset();
  auto again = TSingleInstance::Claim(scratch.db);
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->Listening());
}

// Two starts on one database (autostart and by hand): the second raises the first and ends
// with 0; --run-now still runs beside it.
TEST(SingleInstanceTest, ASecondProgramOnOneDatabaseExitsAndRaisesTheFirst) {
  ScratchDb scratch;
  QProcess first;
  first.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db)});
  ASSERT_TRUE(first.waitForStarted());
  // The first program listens once its start-up is through.
  bool up = false;
  for (int i = 0; i < 300 && !up; ++i) {
    up = singleinstance::AskToShow(scratch.db);
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(up) << first.readAllStandardError().toStdString();

  QProcess second;
  second.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db)});
  ASSERT_TRUE(second.waitForFinished(60000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  EXPECT_EQ(first.state(), QProcess::Running);

  QProcess runNow;
  runNow.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--run-now"});
  ASSERT_TRUE(runNow.waitForFinished(60000));
  EXPECT_EQ(runNow.exitCode(), 0) << runNow.readAllStandardError().toStdString();

  first.terminate();
  ASSERT_TRUE(first.waitForFinished(60000));
}

// `tidekeep --show` (a desktop shortcut where the hot key cannot work): the running program
// shows its window and the new one ends with 0.
TEST(SingleInstanceTest, ShowAsksTheRunningProgramToShowItsWindowAndEnds) {
  ScratchDb scratch;
  auto running = TSingleInstance::Claim(scratch.db);
  ASSERT_TRUE(running);
  QSignalSpy shown(running.get(), &TSingleInstance::ShowRequested);
  QProcess show;
  show.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--show"});
  ASSERT_TRUE(show.waitForStarted());
  ASSERT_TRUE(shown.wait(60000)) << show.readAllStandardError().toStdString();
  // The spy's event loop may already have seen it end, and waiting on an ended process fails.
  ASSERT_TRUE(show.state() == QProcess::NotRunning || show.waitForFinished(60000));
  EXPECT_EQ(show.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(show.exitCode(), 0) << show.readAllStandardError().toStdString();
  EXPECT_EQ(shown.count(), 1);
}

// With none running, `--show` starts the program itself, which then answers the next one.
TEST(SingleInstanceTest, ShowWithNoProgramRunningStartsOneThatAnswersTheNext) {
  ScratchDb scratch;
  QProcess first;
  first.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--show"});
  ASSERT_TRUE(first.waitForStarted());
  bool up = false;
  for (int i = 0; i < 300 && !up && first.state() == QProcess::Running; ++i) {
    up = singleinstance::AskToShow(scratch.db);
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(up) << first.readAllStandardError().toStdString();

  QProcess second;
  second.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--show"});
  ASSERT_TRUE(second.waitForFinished(60000));
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  EXPECT_EQ(first.state(), QProcess::Running);

  first.terminate();
  ASSERT_TRUE(first.waitForFinished(60000));
}

}  // namespace

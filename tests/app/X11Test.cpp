// The program on a real X server: the global hot key grabbed on the root window brings the
// hidden window back when Ctrl+Shift+Q is pressed, and a real message box (not the scripted
// dialog seam) is answered and closed with the keyboard. Each test starts its own Xvfb on a
// display number the server picks itself and drives the program with xdotool. The server has
// no window manager, no tray and no session bus (so the program never finds the desktop's tray
// through the developer's own bus, and libdbus never launches one).
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QThread>
#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "Peers.h"

namespace {

struct Ran {
  int code = -1;
  std::string out;
};

// An Xvfb of the test's own, ended with it.
class TXServer {
 public:
  TXServer() {
    FServer.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    // The server writes its display number once it accepts clients.
    while (FServer.state() != QProcess::NotRunning && !FServer.canReadLine()) FServer.waitForReadyRead(-1);
    const QString number = QString::fromUtf8(FServer.readLine()).trimmed();
    if (!number.isEmpty()) FDisplay = ":" + number;
  }
  ~TXServer() {
    FServer.terminate();
    FServer.waitForFinished(-1);
  }
  TXServer(const TXServer&) = delete;
  TXServer& operator=(const TXServer&) = delete;

  // Empty when the server did not start.
  const QString& Display() const { return FDisplay; }
  std::string Errors() { return FServer.readAllStandardError().toStdString(); }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", FDisplay);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("WAYLAND_DISPLAY");
    return env;
  }

  // Runs xdotool with args on this display.
  Ran Tool(const QStringList& args) const {
    QProcess p;
    p.setProcessEnvironment(Environment());
    p.start("xdotool", args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString()};
  }

  // The first visible window whose name matches pattern, waiting until there is one.
  std::string WaitForWindow(const QString& pattern) const {
    const Ran r = Tool({"search", "--sync", "--onlyvisible", "--name", pattern});
    return r.out.substr(0, r.out.find('\n'));
  }

  bool Visible(const QString& pattern) const { return Tool({"search", "--onlyvisible", "--name", pattern}).code == 0; }

  // The window that has the keyboard focus; empty while the focus follows the pointer.
  std::string Focus() const {
    const Ran r = Tool({"getwindowfocus"});
    return r.code == 0 ? r.out.substr(0, r.out.find('\n')) : std::string();
  }

 private:
  QProcess FServer;
  QString FDisplay;
};

const QString kMainWindow = "^Tidekeep\\[";
const QString kMessageBox = "^Tidekeep$";

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PEER("Xvfb");
    REQUIRE_PEER("xdotool");
    X = std::make_unique<TXServer>();
    ASSERT_FALSE(X->Display().isEmpty()) << "Xvfb did not start: " << X->Errors();
  }
  void TearDown() override {
    if (Program.state() != QProcess::NotRunning) {
      Program.kill();
      Program.waitForFinished(-1);
    }
  }

  void Start() {
    QProcessEnvironment env = X->Environment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + Scratch.Path("no-bus")));
    Program.setProcessEnvironment(env);
    Program.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(Scratch.db)});
    ASSERT_TRUE(Program.waitForStarted(-1));
  }

  // Ends the program from its own menu (Ctrl+X) and expects a clean exit.
  void Quit(const std::string& window) {
    X->Tool({"windowfocus", "--sync", QString::fromStdString(window)});
    X->Tool({"key", "ctrl+x"});
    ASSERT_TRUE(Program.waitForFinished(-1));
    EXPECT_EQ(Program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Program.exitCode(), 0) << Program.readAllStandardError().toStdString();
  }

  ScratchDb Scratch;
  std::unique_ptr<TXServer> X;
  QProcess Program;
};

TEST_F(X11Test, CtrlShiftQShowsTheHiddenWindow) {
  {
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);  // not a first start: the program starts hidden
  }
  Start();
  // Without a tray the program keeps its window minimized, which a server without a window
  // manager leaves mapped, so the window appears; the program grabs the key before it maps it.
  const std::string window = X->WaitForWindow(kMainWindow);
  ASSERT_FALSE(window.empty());
  EXPECT_NE(X->Focus(), window);
  X->Tool({"key", "ctrl+shift+q"});
  // Brought back: the window takes the keyboard focus. A key that is never handled ends in the
  // test's timeout.
  while (X->Focus() != window) {
    ASSERT_EQ(Program.state(), QProcess::Running) << Program.readAllStandardError().toStdString();
    QThread::msleep(50);
  }
  Quit(window);
}

TEST_F(X11Test, ARealMessageBoxIsAnsweredAndClosed) {
  Start();  // a new database: the window shows
  const std::string main = X->WaitForWindow(kMainWindow);
  ASSERT_FALSE(main.empty());
  X->Tool({"windowfocus", "--sync", QString::fromStdString(main)});
  X->Tool({"key", "ctrl+i"});  // 直ぐに実行: no pairs, so at once "バックアップ完了"
  const std::string box = X->WaitForWindow(kMessageBox);
  ASSERT_FALSE(box.empty());
  X->Tool({"windowfocus", "--sync", QString::fromStdString(box)});
  X->Tool({"key", "Return"});
  while (X->Visible(kMessageBox)) QThread::msleep(100);
  EXPECT_TRUE(X->Visible(kMainWindow));
  Quit(main);
}

}  // namespace

// The sleep inhibitor against a stand-in for logind on a private system bus: what it asks for,
// that it is held while a run goes and released when the run ends, however it ends. A program of
// its own: the system bus is connected once per process, so it must point at the stand-in first.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "AppTestSupport.h"
#include "ScriptedDialogs.h"
#include "SleepInhibitor.h"
#include "uFMain.h"

namespace {

namespace fs = std::filesystem;

// logind's Inhibit: answers with the write end of a pipe and keeps the read end, which reads
// end-of-file once every copy of the write end (the inhibitor's) is closed.
class TFakeLogind : public QDBusVirtualObject {
 public:
  struct TCall {
    std::vector<std::string> args;
    int readEnd = -1;
  };
  ~TFakeLogind() override {
    for (const TCall& call : FCalls) close(call.readEnd);
  }
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != "org.freedesktop.login1.Manager" || message.member() != "Inhibit") return false;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    TCall call;
    for (const QVariant& arg : message.arguments()) call.args.push_back(arg.toString().toStdString());
    call.readEnd = ends[0];
    {
      const std::lock_guard lock(FMutex);
      FCalls.push_back(call);
    }
    connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
    close(ends[1]);
    return true;
  }
  std::vector<TCall> Calls() const {
    const std::lock_guard lock(FMutex);
    return FCalls;
  }

 private:
  mutable std::mutex FMutex;
  std::vector<TCall> FCalls;
};

// Whether the inhibitor behind the pipe is still held: no end-of-file yet.
bool StillHeld(int readEnd) {
  pollfd p{readEnd, POLLIN, 0};
  return poll(&p, 1, 0) == 0;
}

// Blocks until the inhibitor is released (the test's time limit ends a hang).
bool Released(int readEnd) {
  char c;
  return read(readEnd, &c, 1) == 0;
}

// A private bus with the stand-in on it, served by a thread of its own (the inhibitor's call
// blocks the program's thread), and set as the system bus before anything connects to it.
class SleepInhibitorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    if (daemon.isEmpty()) return;
    gFolder = std::make_unique<TTempFolder>("tk-bus");
    const std::string socket = *gFolder / "bus";
    std::ofstream(*gFolder / "bus.conf") << "<busconfig><type>custom</type><listen>unix:path=" << socket
                                         << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                            "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                            "<allow eavesdrop=\"true\"/>"
                                            "</policy></busconfig>\n";
    gDaemon = std::make_unique<QProcess>();
    gDaemon->start(daemon, {"--nofork", "--print-address", QString::fromStdString("--config-file=" + *gFolder / "bus.conf")});
    if (!gDaemon->waitForReadyRead(-1)) return;
    const QString address = QString::fromUtf8(gDaemon->readLine()).trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    gThread = std::make_unique<QThread>();
    gThread->start();
    gLogind = std::make_unique<TFakeLogind>();
    gLogind->moveToThread(gThread.get());
    QDBusConnection service = QDBusConnection::connectToBus(address, "fake-logind");
    if (!service.registerVirtualObject("/org/freedesktop/login1", gLogind.get()) ||
        !service.registerService("org.freedesktop.login1")) {
      gLogind.reset();
    }
  }
  static void TearDownTestSuite() {
    QDBusConnection::disconnectFromBus("fake-logind");
    if (gThread) {
      gThread->quit();
      gThread->wait();
    }
    gLogind.reset();
    gThread.reset();
    if (gDaemon) {
      gDaemon->kill();
      gDaemon->waitForFinished(-1);
    }
    gDaemon.reset();
    gFolder.reset();
  }
  void SetUp() override {
    if (!gLogind) GTEST_SKIP() << "no private bus with the logind stand-in (dbus-daemon missing or refused)";
  }

  static inline std::unique_ptr<TTempFolder> gFolder;
  static inline std::unique_ptr<QProcess> gDaemon;
  static inline std::unique_ptr<QThread> gThread;
  static inline std::unique_ptr<TFakeLogind> gLogind;
};

TEST_F(SleepInhibitorTest, BlocksSleepWhileItLivesAndReleasesItWithItsDescriptor) {
  const std::size_t before = gLogind->Calls().size();
  int readEnd = -1;
  {
    const TSleepInhibitor inhibitor("バックアップ中");
    ASSERT_TRUE(inhibitor.Held()) << inhibitor.Problem();
    EXPECT_EQ(inhibitor.Problem(), "");
    const auto calls = gLogind->Calls();
    ASSERT_EQ(calls.size(), before + 1);
    EXPECT_EQ(calls.back().args, (std::vector<std::string>{"sleep", "Tidekeep", "バックアップ中", "block"}));
    readEnd = calls.back().readEnd;
    EXPECT_TRUE(StillHeld(readEnd));
  }
  EXPECT_TRUE(Released(readEnd));
}

// The window's runs hold it from before the first pair to the end: a run that ends normally, one
// the user cancels, and one whose reading of the pairs raises.
TEST_F(SleepInhibitorTest, EveryRunHoldsItUntilItEnds) {
  ScratchDb scratch;
  platform::ScriptedDialogs dialogs;
  TfrmMain main;
  main.Clock = [] { return platform::LocalDateTime{2010, 6, 17, 9, 0, 0}; };
  for (const char* name : {"one", "two"}) {
    WriteFile((scratch.dir / name / "a.txt").string(), "content\n");
    WriteFile((scratch.dir / name / "b.txt").string(), "content\n");
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
    backupdb::InsertTarget(*db, {(scratch.dir / name).string(), scratch.Path(std::string(name) + ".lzh")});
  }
  main.FormCreate();
  enum class End { Normally, Cancelled, Raising };
  for (const End end : {End::Normally, End::Cancelled, End::Raising}) {
    SCOPED_TRACE(static_cast<int>(end));
    const std::size_t before = gLogind->Calls().size();
    const std::size_t boxes = dialogs.messages.size();
    std::vector<bool> heldDuring;
    const auto progressed = QObject::connect(&main, &TfrmMain::RunProgressed, [&] {
      const auto calls = gLogind->Calls();
      heldDuring.push_back(calls.size() == before + 1 && StillHeld(calls.back().readEnd));
      if (end == End::Cancelled) main.NCancelRun->trigger();
    });
    if (end == End::Raising) {
      auto db = backupdb::OpenDatabase();
      db->RunSQL("drop table m_bkup");
    }
    main.cxbtnGoM->click();
    QObject::disconnect(progressed);
    const auto calls = gLogind->Calls();
    ASSERT_EQ(calls.size(), before + 1);
    EXPECT_TRUE(Released(calls.back().readEnd));
    if (end == End::Raising) {
      EXPECT_EQ(dialogs.messages.size(), boxes + 1);  // the command's error box, after the release
    } else {
      ASSERT_FALSE(heldDuring.empty());
      EXPECT_EQ(heldDuring, std::vector<bool>(heldDuring.size(), true));
    }
  }
}

}  // namespace

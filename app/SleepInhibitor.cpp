#include "SleepInhibitor.h"

#include <fcntl.h>
#include <unistd.h>

#ifdef TIDEKEEP_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QString>
#endif

namespace {
// logind answers at once; a bus that does not answer must not hold up a backup for long.
constexpr int kReplyTimeoutMs = 5000;
}  // namespace

TSleepInhibitor::TSleepInhibitor(std::string_view why) {
#ifdef TIDEKEEP_HAVE_DBUS
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    FProblem = "no system bus: " + bus.lastError().message().toStdString();
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
  call << QStringLiteral("sleep") << QStringLiteral("Tidekeep")
       << QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size())) << QStringLiteral("block");
  const QDBusMessage reply = bus.call(call, QDBus::Block, kReplyTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
      !reply.arguments().first().canConvert<QDBusUnixFileDescriptor>()) {
    FProblem = "logind refused: " + reply.errorMessage().toStdString();
    return;
  }
  const auto fd = reply.arguments().first().value<QDBusUnixFileDescriptor>();
  // The reply's descriptor closes with it: the inhibitor keeps its own.
  if (fd.isValid()) FFd = fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  if (FFd < 0) FProblem = "logind sent no descriptor";
#else
  (void)why;
  FProblem = "built without D-Bus";
#endif
}

TSleepInhibitor::~TSleepInhibitor() {
  if (FFd >= 0) close(FFd);
}

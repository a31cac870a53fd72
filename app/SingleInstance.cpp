#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <filesystem>
#include <system_error>

#include "Paths.h"

namespace singleinstance {

namespace {

constexpr char kShowRequest[] = "show\n";
constexpr int kWaitMs = 3000;
// Listening and asking may both lose to a program that is starting or ending at that moment.
constexpr int kAttempts = 5;

QString Name(std::string_view databasePath) { return QString::fromStdString(SocketName(databasePath)); }

bool Ask(const QString& name) {
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(name);
  if (!socket.waitForConnected(kWaitMs)) return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(kWaitMs)) return false;
  socket.disconnectFromServer();
  return true;
}

}  // namespace

std::string SocketName(std::string_view databasePath) {
  // Links resolved: two names of one database are one database.
  std::error_code ec;
  std::string absolute = std::filesystem::weakly_canonical(platform::ExpandFileName(databasePath), ec).string();
  if (ec) absolute = platform::ExpandFileName(databasePath);
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(absolute), QCryptographicHash::Sha256).toHex().left(32);
  return "tidekeep-" + hash.toStdString();
}

bool AskToShow(std::string_view databasePath) { return Ask(Name(databasePath)); }

TSingleInstance::TSingleInstance() : FServer(std::make_unique<QLocalServer>()) {
  FServer->setSocketOptions(QLocalServer::AbstractNamespaceOption);
  connect(FServer.get(), &QLocalServer::newConnection, this, &TSingleInstance::Accept);
}

TSingleInstance::~TSingleInstance() = default;

std::unique_ptr<TSingleInstance> TSingleInstance::Claim(std::string_view databasePath) {
  const QString name = Name(databasePath);
  std::unique_ptr<TSingleInstance> self(new TSingleInstance);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (self->FServer->listen(name)) return self;
    if (self->FServer->serverError() != QAbstractSocket::AddressInUseError) break;
    if (Ask(name)) return nullptr;
  }
  return self;
}

bool TSingleInstance::Listening() const { return FServer->isListening(); }

void TSingleInstance::Accept() {
  while (QLocalSocket* socket = FServer->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto read = [this, socket] {
      while (socket->canReadLine()) {
        if (socket->readLine() == kShowRequest) emit ShowRequested();
      }
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    read();
  }
}

}  // namespace singleinstance

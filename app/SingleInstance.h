// One program per database: the first program started on a database listens on a local socket
// named after the database's absolute path; a later start asks it to show its window and ends.
// The socket lives in the abstract namespace, so it vanishes with its program and never goes
// stale, and no two programs can hold the name at once.
#pragma once
#include <QObject>
#include <memory>
#include <string>
#include <string_view>

class QLocalServer;

namespace singleinstance {

// The socket's name for the database at databasePath (made absolute, links resolved).
std::string SocketName(std::string_view databasePath);

// Asks the program running on databasePath to show its window; true when one took the request.
bool AskToShow(std::string_view databasePath);

// The listening side, held by the one program of a database for its whole run.
class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  // Becomes the program of databasePath, or, when another one is, asks it to show its window
  // and returns null. Where no socket can be made at all the program runs without the guard:
  // the object then listens to nothing.
  static std::unique_ptr<TSingleInstance> Claim(std::string_view databasePath);
  ~TSingleInstance() override;

  bool Listening() const;

 signals:
  // A later start asked this program to show its window.
  void ShowRequested();

 private:
  TSingleInstance();
  void Accept();

  std::unique_ptr<QLocalServer> FServer;
};

}  // namespace singleinstance

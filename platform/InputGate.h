// Input during a run that keeps the one thread: the run's event pump lets the desktop's messages
// through, and this gate drops the user's input to every window except the few it opens for
// (the tray icon and the tray's menu, whose only enabled item then is the cancel item).
#pragma once
#include <QObject>
#include <QPointer>
#include <initializer_list>
#include <vector>

class QEvent;
class QWidget;

namespace platform {

// Whether type is a press, release, key, wheel, touch, tablet, drop or shortcut event: what a user
// does to a window, as opposed to what the desktop tells it.
bool IsUserInput(int type);

class TInputGate : public QObject {
 public:
  // Input reaches the widgets in open (and their children) and the tray icon while this lives.
  explicit TInputGate(std::initializer_list<QWidget*> open);
  ~TInputGate() override;
  TInputGate(const TInputGate&) = delete;
  TInputGate& operator=(const TInputGate&) = delete;

  // Whether input for receiver passes.
  bool Passes(const QObject* receiver) const;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override;

 private:
  std::vector<QPointer<QWidget>> FOpen;
};

}  // namespace platform

#include "InputGate.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace platform {

bool IsUserInput(int type) {
  switch (static_cast<QEvent::Type>(type)) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::Drop: return true;
    default: return false;
  }
}

TInputGate::TInputGate(std::initializer_list<QWidget*> open) {
  for (QWidget* w : open) FOpen.emplace_back(w);
  QCoreApplication::instance()->installEventFilter(this);
}

TInputGate::~TInputGate() { QCoreApplication::instance()->removeEventFilter(this); }

bool TInputGate::Passes(const QObject* receiver) const {
  auto open = [this](const QWidget* widget) {
    for (const QPointer<QWidget>& w : FOpen) {
      if (w && (w == widget || w->isAncestorOf(widget))) return true;
    }
    return false;
  };
  // A shortcut goes to its action: it passes only for an action shown in an open widget.
  if (const auto* action = qobject_cast<const QAction*>(receiver)) {
    for (const QObject* shown : action->associatedObjects()) {
      if (shown->isWidgetType() && open(static_cast<const QWidget*>(shown))) return true;
    }
    return false;
  }
  const auto* widget = qobject_cast<const QWidget*>(receiver);
  if (widget == nullptr) return false;
  // Qt's own widget of the icon in an XEmbed tray (a StatusNotifier tray reaches the program
  // over D-Bus, never as input).
  return widget->inherits("QSystemTrayIconSys") || open(widget);
}

bool TInputGate::eventFilter(QObject* receiver, QEvent* event) {
  if (!IsUserInput(event->type())) return false;
  // A window hands its input on to its widgets, which are judged then.
  if (receiver->isWindowType()) return false;
  return !Passes(receiver);
}

}  // namespace platform

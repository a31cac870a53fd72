// Focus the user moved into a field, as opposed to focus that comes back with the window (it was
// re-activated, or a popup or a chooser closed). A field that fills itself on entry must do so
// only for the first kind, or it overwrites what the user typed there.
#pragma once
#include <QEvent>
#include <QFocusEvent>

inline bool UserFocus(const QEvent* event) {
  if (event->type() != QEvent::FocusIn) return false;
  const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

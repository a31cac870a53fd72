// The application's default handler. An exception that no window traps ends the command it came
// from and its message is shown in a message box. Qt does not let exceptions cross its event
// loop, so every entry point (menu item, button, timer tick, tray and hot-key callback, start-up)
// runs its command through here.
#pragma once
#include <functional>

class QWidget;

// Runs command; true when it ended normally, false when an exception was shown.
bool RunCommand(QWidget* owner, const std::function<void()>& command);

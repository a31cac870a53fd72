#include "DefaultHandler.h"

#include <exception>

#include "Dialogs.h"

bool RunCommand(QWidget* owner, const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(owner, e.what());
  } catch (...) {
    platform::dialogs().ShowError(owner, "Unknown error");
  }
  return false;
}

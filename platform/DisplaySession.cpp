#include "DisplaySession.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace platform {

namespace {
bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}
}  // namespace

bool HasDisplaySession() {
  if (isSet("QT_QPA_PLATFORM") || isSet("WAYLAND_DISPLAY") || isSet("WAYLAND_SOCKET")) return true;
  if (!isSet("DISPLAY")) return false;
  // A DISPLAY left over from another session (ssh without forwarding, su) names no live server.
  std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> x11(xcb_connect(nullptr, nullptr), &xcb_disconnect);
  return xcb_connection_has_error(x11.get()) == 0;
}

}  // namespace platform

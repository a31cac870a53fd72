// Whether the program's windows can open at all. Without a display Qt aborts the process from
// inside its platform plugin, so the program asks first and explains instead.
#pragma once

namespace platform {

// True when a platform is named in QT_QPA_PLATFORM (that choice stands), a Wayland display is
// announced, or the X display named by DISPLAY accepts a connection.
bool HasDisplaySession();

}  // namespace platform

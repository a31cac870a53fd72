// A global hot key: on X11 a key grab on the root window, delivered as WM_HOTKEY would be.
// Without an X11 display (offscreen, Wayland without XWayland) registration fails silently.
#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "WinMsg.h"

namespace platform {

inline constexpr unsigned MOD_ALT = 1, MOD_CONTROL = 2, MOD_SHIFT = 4, MOD_WIN = 8;

// The same atom for the same name within the process, from 0xC000 up; 0 for an empty name.
std::uint16_t GlobalAddAtom(std::string_view name);

// Receives one press: wParam the hot-key id, lParam the modifiers in the low word and the
// virtual-key code in the high word.
using HotKeyProc = std::function<void(WPARAM id, LPARAM lParam)>;

// Grabs modifiers + key (virtual-key codes of the letters and digits) for owner under id.
// False without an X11 display, for a key that has no X keysym here, or when another client
// already holds the combination.
bool RegisterHotKey(const void* owner, int id, unsigned modifiers, unsigned key, HotKeyProc proc);
// Releases what RegisterHotKey took for owner and id; false when nothing was registered.
bool UnregisterHotKey(const void* owner, int id);

}  // namespace platform

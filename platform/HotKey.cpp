#include "HotKey.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace {

// Lock and NumLock change the reported state, so each combination is grabbed with them too.
constexpr std::uint16_t kIgnoredMasks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kSignificant =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

struct Registration {
  const void* owner;
  int id;
  unsigned modifiers, key;
  std::uint16_t xmods;
  std::vector<xcb_keycode_t> keycodes;
  HotKeyProc proc;
};

std::vector<Registration>& registrations() {
  static std::vector<Registration> list;
  return list;
}

xcb_connection_t* x11Connection() {
  if (qGuiApp == nullptr) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* conn) { return xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root; }

std::uint16_t xMask(unsigned modifiers) {
  std::uint16_t m = 0;
  if (modifiers & MOD_SHIFT) m |= XCB_MOD_MASK_SHIFT;
  if (modifiers & MOD_CONTROL) m |= XCB_MOD_MASK_CONTROL;
  if (modifiers & MOD_ALT) m |= XCB_MOD_MASK_1;
  if (modifiers & MOD_WIN) m |= XCB_MOD_MASK_4;
  return m;
}

// Virtual-key codes of letters and digits equal their upper-case characters; X names the key
// by its lower-case keysym.
xcb_keysym_t keysymOf(unsigned key) {
  if (key >= 'A' && key <= 'Z') return key - 'A' + 'a';
  if (key >= '0' && key <= '9') return key;
  return 0;
}

std::vector<xcb_keycode_t> keycodesOf(xcb_connection_t* conn, xcb_keysym_t sym) {
  std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> syms(xcb_key_symbols_alloc(conn),
                                                                           &xcb_key_symbols_free);
  std::vector<xcb_keycode_t> codes;
  if (!syms) return codes;
  std::unique_ptr<xcb_keycode_t, decltype(&std::free)> found(xcb_key_symbols_get_keycode(syms.get(), sym),
                                                             &std::free);
  for (xcb_keycode_t* k = found.get(); k != nullptr && *k != XCB_NO_SYMBOL; ++k) codes.push_back(*k);
  return codes;
}

void ungrab(xcb_connection_t* conn, const Registration& r) {
  for (xcb_keycode_t code : r.keycodes) {
    for (std::uint16_t extra : kIgnoredMasks) xcb_ungrab_key(conn, code, rootWindow(conn), r.xmods | extra);
  }
  xcb_flush(conn);
}

// Turns grabbed key presses into hot-key calls; everything else passes through.
class HotKeyFilter final : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS) return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    for (const Registration& r : registrations()) {
      if ((press->state & kSignificant) != r.xmods) continue;
      for (xcb_keycode_t code : r.keycodes) {
        if (code != press->detail) continue;
        // Copied: the procedure may unregister its own key.
        HotKeyProc proc = r.proc;
        WPARAM id = static_cast<WPARAM>(r.id);
        LPARAM lParam = static_cast<LPARAM>((r.key & 0xFFFF) << 16 | (r.modifiers & 0xFFFF));
        proc(id, lParam);
        return true;
      }
    }
    return false;
  }
};

void installFilter() {
  static HotKeyFilter filter;
  static bool installed = false;
  if (!installed) {
    qGuiApp->installNativeEventFilter(&filter);
    installed = true;
  }
}

}  // namespace

std::uint16_t GlobalAddAtom(std::string_view name) {
  if (name.empty()) return 0;
  static std::map<std::string, std::uint16_t, std::less<>> atoms;
  if (auto it = atoms.find(name); it != atoms.end()) return it->second;
  auto atom = static_cast<std::uint16_t>(0xC000 + atoms.size());
  atoms.emplace(std::string(name), atom);
  return atom;
}

bool RegisterHotKey(const void* owner, int id, unsigned modifiers, unsigned key, HotKeyProc proc) {
  xcb_connection_t* conn = x11Connection();
  xcb_keysym_t sym = keysymOf(key);
  if (conn == nullptr || sym == 0) return false;
  for (const Registration& r : registrations()) {
    if (r.owner == owner && r.id == id) return false;
  }
  Registration reg{owner, id, modifiers, key, xMask(modifiers), keycodesOf(conn, sym), std::move(proc)};
  if (reg.keycodes.empty()) return false;
  bool taken = false;
  for (xcb_keycode_t code : reg.keycodes) {
    for (std::uint16_t extra : kIgnoredMasks) {
      xcb_void_cookie_t cookie = xcb_grab_key_checked(conn, 1, rootWindow(conn), reg.xmods | extra, code,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
      if (std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(xcb_request_check(conn, cookie),
                                                                           &std::free);
          error) {
        taken = true;
      }
    }
  }
  if (taken) {
    ungrab(conn, reg);
    return false;
  }
  installFilter();
  registrations().push_back(std::move(reg));
  return true;
}

bool UnregisterHotKey(const void* owner, int id) {
  auto& list = registrations();
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->owner != owner || it->id != id) continue;
    if (xcb_connection_t* conn = x11Connection(); conn != nullptr) ungrab(conn, *it);
    list.erase(it);
    return true;
  }
  return false;
}

}  // namespace platform

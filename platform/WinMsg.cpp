#include "WinMsg.h"

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

struct Window {
  WNDPROC proc;
  void* userData;
};

struct Registry {
  std::mutex lock;
  std::map<std::string, uint32_t> messages;
  uint32_t nextMessage = 0xC000;
  std::unordered_map<HWND, Window> windows;
  HWND nextWindow = 0x10000;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

extern "C" uint32_t RegisterWindowMessage(const char* name) {
  if (name == nullptr || *name == '\0') return 0;
  auto& r = registry();
  std::lock_guard g(r.lock);
  auto [it, inserted] = r.messages.try_emplace(name, r.nextMessage);
  if (inserted) ++r.nextMessage;
  return it->second;
}

extern "C" HWND CreateHiddenWindow(WNDPROC proc, void* userData) {
  auto& r = registry();
  std::lock_guard g(r.lock);
  HWND id = r.nextWindow;
  r.nextWindow += 0x10;
  r.windows.emplace(id, Window{proc, userData});
  return id;
}

extern "C" void* GetWindowUserData(HWND wnd) {
  auto& r = registry();
  std::lock_guard g(r.lock);
  auto it = r.windows.find(wnd);
  return it == r.windows.end() ? nullptr : it->second.userData;
}

extern "C" LRESULT SendMessage(HWND wnd, uint32_t msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    auto& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.windows.find(wnd);
    if (it == r.windows.end()) return 0;
    proc = it->second.proc;
  }
  // Called outside the lock: a procedure may itself send messages or destroy windows.
  return proc ? proc(wnd, msg, wParam, lParam) : 0;
}

extern "C" int DestroyWindow(HWND wnd) {
  auto& r = registry();
  std::lock_guard g(r.lock);
  return r.windows.erase(wnd) ? 1 : 0;
}

extern "C" int IsWindow(HWND wnd) {
  auto& r = registry();
  std::lock_guard g(r.lock);
  return r.windows.count(wnd) ? 1 : 0;
}

extern "C" LRESULT DefWindowProc(HWND, uint32_t, WPARAM, LPARAM) { return 0; }

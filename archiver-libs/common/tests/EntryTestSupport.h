// Helpers of the tests that call a library's entries directly: running the command entry,
// listing through the handle entries, and recording the progress sent to an owner window.
#pragma once
#include <string>
#include <vector>

#include "ArchiverApi.h"

namespace entry_test {

struct TRun {
  int code;
  std::string output;
};

inline TRun RunCommand(ARC_COMMAND entry, const std::string& cmdLine) {
  std::vector<char> out(1 << 16, '\0');
  const int code = entry(0, cmdLine.c_str(), out.data(), static_cast<uint32_t>(out.size()));
  return {code, out.data()};
}

inline std::string Q(const std::string& s) { return "\"" + s + "\""; }

// The records FindFirst / FindNext hand out for every member, opened as the program's probe does.
struct TListingEntries {
  ARC_OPEN_ARCHIVE open;
  ARC_FIND_FIRST findFirst;
  ARC_FIND_NEXT findNext;
  ARC_CLOSE_ARCHIVE close;

  std::vector<INDIVIDUALINFO> List(const std::string& archive) const {
    std::vector<INDIVIDUALINFO> result;
    const HARC h = open(0, archive.c_str(), 0x800002);
    if (h == 0) return result;
    INDIVIDUALINFO info{};
    for (int r = findFirst(h, "", &info); r == 0; r = findNext(h, &info)) result.push_back(info);
    close(h);
    return result;
  }

  std::vector<std::string> Names(const std::string& archive) const {
    std::vector<std::string> names;
    for (const INDIVIDUALINFO& info : List(archive)) names.emplace_back(info.szFileName);
    return names;
  }
};

// The member names announced to a hidden owner window, which asks to stop after StopAfter.
class TProgressWindow {
 public:
  explicit TProgressWindow(size_t stopAfter) : FStopAfter(stopAfter) {
    Current() = this;
    FWnd = CreateHiddenWindow(Proc, nullptr);
  }
  ~TProgressWindow() {
    DestroyWindow(FWnd);
    Current() = nullptr;
  }
  TProgressWindow(const TProgressWindow&) = delete;
  TProgressWindow& operator=(const TProgressWindow&) = delete;

  HWND Wnd() const { return FWnd; }
  void Reset(size_t stopAfter) {
    names.clear();
    FStopAfter = stopAfter;
  }
  std::vector<std::string> names;

 private:
  static TProgressWindow*& Current() {
    static TProgressWindow* current = nullptr;
    return current;
  }
  static LRESULT Proc(HWND, uint32_t msg, WPARAM state, LPARAM lParam) {
    TProgressWindow* self = Current();
    if (self == nullptr || msg != RegisterWindowMessage(WM_ARCEXTRACT_NAME) || state != ARCEXTRACT_INPROCESS) return 0;
    self->names.emplace_back(reinterpret_cast<const EXTRACTINGINFOEX*>(lParam)->szSourceFileName);
    return self->names.size() >= self->FStopAfter ? 1 : 0;
  }

  size_t FStopAfter;
  HWND FWnd = 0;
};

}  // namespace entry_test

// Helpers of the archiver library tests: a temporary folder, files, running peers and Python to
// make archives no peer writes.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ArchiverApi.h"
#include "ShellStatus.h"
#include "WinMsg.h"

namespace arc_test {

namespace fs = std::filesystem;

class TTempDir {
 public:
  TTempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tkarc-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = tmpl;
  }
  ~TTempDir() {
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(FPath, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ec);
    fs::remove_all(FPath, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

inline void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command; its standard output, and the exit status in status.
inline std::string RunShell(const std::string& command, int& status) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) {
    status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  status = ShellExitStatus(::pclose(p), command);
  return out;
}

// Runs a Python 3 script (from a string) with the given arguments; true when it succeeded.
inline bool RunPython(const TTempDir& dir, const std::string& script, const std::string& args) {
  const std::string path = dir / "make.py";
  WriteText(path, script);
  int status = 0;
  RunShell("python3 " + Quote(path) + " " + args + " 2>&1", status);
  return status == 0;
}

// A peer's command with the archive ({arc}) and the folder ({dir}) put in.
inline std::string Fill(std::string command, const std::string& archive, const std::string& dir) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"{arc}", archive}, {"{dir}", dir}})
    for (size_t at = command.find(key); at != std::string::npos; at = command.find(key, at + value.size()))
      command.replace(at, key.size(), value);
  return command;
}

// Every regular file and link below root as "path\tcontent" lines (links as "-> target"),
// sorted, to compare trees.
inline std::string TreeSignature(const std::string& root) {
  std::vector<std::string> lines;
  std::error_code ec;
  for (auto& e : fs::recursive_directory_iterator(root, ec)) {
    const std::string rel = e.path().lexically_relative(root).string();
    if (e.is_symlink())
      lines.push_back(rel + "\t-> " + fs::read_symlink(e.path()).string());
    else if (e.is_regular_file())
      lines.push_back(rel + "\t" + ReadText(e.path().string()));
    else if (e.is_directory())
      lines.push_back(rel + "/");
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// What a library's command entry answered: its code and the text of its output buffer.
struct TRun {
  int code;
  std::string output;
};

inline TRun RunEntry(ARC_COMMAND entry, const std::string& cmdLine) {
  std::vector<char> out(1 << 16, '\0');
  const int code = entry(0, cmdLine.c_str(), out.data(), static_cast<uint32_t>(out.size()));
  return {code, out.data()};
}

// A command-line argument in double quotes, as the drivers write names.
inline std::string Q(const std::string& s) { return "\"" + s + "\""; }

// A library's listing entries.
struct TListing {
  ARC_OPEN_ARCHIVE open;
  ARC_FIND_FIRST findFirst;
  ARC_FIND_NEXT findNext;
  ARC_CLOSE_ARCHIVE close;

  // The records FindFirst (every member) and FindNext hand out, opened as the program's probe does.
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

// The names FindFirst ("*.*") and FindNext give, in the archive's order.
inline std::vector<std::string> ListNames(const TListing& entries, const std::string& archive) {
  std::vector<std::string> names;
  const HARC h = entries.open(0, archive.c_str(), 0x800002);
  if (h == 0) return names;
  INDIVIDUALINFO info{};
  for (int r = entries.findFirst(h, "*.*", &info); r == 0; r = entries.findNext(h, &info))
    names.emplace_back(info.szFileName);
  entries.close(h);
  return names;
}

// The members an owner window is told of; it asks to stop at the StopAfter-th.
struct TProgressLog {
  std::vector<std::string> names;
  size_t stopAfter = 0;
};

inline TProgressLog*& CurrentProgressLog() {
  static TProgressLog* log = nullptr;
  return log;
}

// The window procedure of a hidden owner window that records into CurrentProgressLog().
inline LRESULT ProgressProc(HWND, uint32_t msg, WPARAM state, LPARAM lParam) {
  TProgressLog* log = CurrentProgressLog();
  if (log == nullptr || msg != RegisterWindowMessage(WM_ARCEXTRACT_NAME) || state != ARCEXTRACT_INPROCESS) return 0;
  log->names.emplace_back(reinterpret_cast<const EXTRACTINGINFOEX*>(lParam)->szSourceFileName);
  return log->names.size() >= log->stopAfter ? 1 : 0;
}

// A hidden owner window recording into its own progress log while it lives.
class TProgressWindow : public TProgressLog {
 public:
  explicit TProgressWindow(size_t stop) {
    stopAfter = stop;
    CurrentProgressLog() = this;
    FWnd = CreateHiddenWindow(ProgressProc, nullptr);
  }
  ~TProgressWindow() {
    DestroyWindow(FWnd);
    CurrentProgressLog() = nullptr;
  }
  TProgressWindow(const TProgressWindow&) = delete;
  TProgressWindow& operator=(const TProgressWindow&) = delete;

  HWND Wnd() const { return FWnd; }
  void Reset(size_t stop) {
    names.clear();
    stopAfter = stop;
  }

 private:
  HWND FWnd = 0;
};

}  // namespace arc_test

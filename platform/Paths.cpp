#include "Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace platform {

namespace {
std::string& databaseOverride() {
  static std::string path;
  return path;
}
}  // namespace

std::string ExeDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

std::string TempDir() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t != nullptr && *t != '\0') ? t : "/tmp";
  return IncludeTrailingPathDelimiter(dir);
}

std::string ExtractFilePath(std::string_view path) {
  auto pos = path.rfind(PathDelim);
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string ExtractFileName(std::string_view path) {
  auto pos = path.rfind(PathDelim);
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::string name = ExtractFileName(path);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::string oldExt = ExtractFileExt(path);
  std::string result(path.substr(0, path.size() - oldExt.size()));
  result += ext;
  return result;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != PathDelim) result += PathDelim;
  return result;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string result(path);
  while (result.size() > 1 && result.back() == PathDelim) result.pop_back();
  return result;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  return IncludeTrailingPathDelimiter(folder) + std::string(name);
}

std::string ExpandFileName(std::string_view path) {
  if (path.empty()) return {};
  fs::path p(path);
  if (p.is_relative()) {
    std::error_code ec;
    p = fs::current_path(ec) / p;
  }
  return p.lexically_normal().string();
}

void SetDatabasePathOverride(std::string path) { databaseOverride() = std::move(path); }

bool IsPortableFolder(std::string_view folder) {
  const std::string marker = JoinPath(folder, PortableMarkerName);
  return ::access(marker.c_str(), F_OK) == 0 && ::access(std::string(folder).c_str(), W_OK) == 0;
}

std::string UserDataDir() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = JoinPath(home != nullptr ? home : "", ".local/share");
  }
  std::string dir = JoinPath(base, "tidekeep");
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

std::string DatabasePath() {
  if (!databaseOverride().empty()) return databaseOverride();
  if (const char* env = std::getenv("TIDEKEEP_DB"); env != nullptr && *env != '\0') return env;
  if (std::string exeDir = ExeDir(); IsPortableFolder(exeDir)) return JoinPath(exeDir, "backup.db");
  return JoinPath(UserDataDir(), "backup.db");
}

}  // namespace platform

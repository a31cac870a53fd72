#include "FileSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>

#include "Paths.h"

namespace platform {

namespace {

bool matchFrom(std::string_view name, std::string_view mask) {
  size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  // A trailing ".*" also matches names without an extension, as the archivers' patterns do.
  if (mask.size() > 2 && mask.ends_with(".*") && matchFrom(name, mask.substr(0, mask.size() - 2))) return true;
  return matchFrom(name, mask);
}

std::vector<TSearchRec> FindFiles(std::string_view dir, std::string_view mask) {
  std::vector<TSearchRec> result;
  const std::string folder = dir.empty() ? std::string(".") : std::string(dir);
  std::unique_ptr<DIR, DirCloser> handle(opendir(folder.c_str()));
  if (!handle) return result;
  while (dirent* entry = readdir(handle.get())) {
    std::string_view name(entry->d_name);
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    const std::string full = JoinPath(folder, name);
    struct stat st{};
    if (lstat(full.c_str(), &st) != 0) continue;
    TSearchRec rec;
    rec.Name = std::string(name);
    rec.IsLink = S_ISLNK(st.st_mode);
    rec.IsDir = S_ISDIR(st.st_mode);
    rec.Hidden = name.front() == '.';
    if (auto times = GetFileTimes(full)) rec.Times = *times;
    result.push_back(std::move(rec));
  }
  return result;
}

bool FileExists(std::string_view path) {
  struct stat st{};
  return lstat(std::string(path).c_str(), &st) == 0;
}

bool DirectoryExists(std::string_view path) {
  struct stat st{};
  return lstat(std::string(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(std::string_view path) { return unlink(std::string(path).c_str()) == 0; }

int CheckFolder(std::string_view path) {
  const std::string name(path);
  struct stat st{};
  if (stat(name.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return access(name.c_str(), R_OK | X_OK) == 0 ? 0 : errno;
}

int WriteNewFile(std::string_view path, std::span<const char> data) {
  const std::string name(path);
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  size_t done = 0;
  int error = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) unlink(name.c_str());
  return error;
}

std::optional<std::string> ReadWholeFile(std::string_view path) {
  std::ifstream in{std::string(path), std::ios::binary};
  if (!in) return std::nullopt;
  std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return data;
}

}  // namespace platform

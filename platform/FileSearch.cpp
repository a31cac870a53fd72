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
  int error = 0;
  return FindFiles(dir, mask, error);
}

std::vector<TSearchRec> FindFiles(std::string_view dir, std::string_view mask, int& error, bool withTimes) {
  std::vector<TSearchRec> result;
  const std::string folder = dir.empty() ? std::string(".") : std::string(dir);
  std::unique_ptr<DIR, DirCloser> handle(opendir(folder.c_str()));
  error = handle ? 0 : errno;
  if (!handle) return result;
  bool asked = false;  // an entry's status was had: the folder's entries can be reached
  for (;;) {
    errno = 0;
    dirent* entry = readdir(handle.get());
    if (entry == nullptr) {
      if (errno != 0) error = errno;
      break;
    }
    std::string_view name(entry->d_name);
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    TSearchRec rec;
    rec.Name = std::string(name);
    rec.Hidden = name.front() == '.';
    if (!withTimes && asked && entry->d_type != DT_UNKNOWN) {
      rec.IsLink = entry->d_type == DT_LNK;
      rec.IsDir = entry->d_type == DT_DIR;
      result.push_back(std::move(rec));
      continue;
    }
    // One status call per entry, relative to the open folder: no path to walk again.
    const auto status = StatEntryAt(dirfd(handle.get()), entry->d_name);
    if (!status) {
      if (errno != ENOENT) error = errno;  // listed but not searchable: its entries are lost
      continue;
    }
    asked = true;
    rec.IsLink = S_ISLNK(status->Mode);
    rec.IsDir = S_ISDIR(status->Mode);
    rec.Times = status->Times;
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

int WriteNewFile(std::string_view path, std::span<const char> data, unsigned mode) {
  const std::string name(path);
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
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

namespace platform {

std::optional<std::string> ReadSmallFile(std::string_view path, size_t maxSize) {
  const int fd = open(std::string(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
  } closer{fd};
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxSize) return std::nullopt;
  std::string data(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    done += static_cast<size_t>(n);
  }
  return data;
}

bool IsPlainPathBelow(std::string_view folder, std::string_view path) {
  // No folder: the current one, and Path must be relative to it.
  const std::string base = folder.empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
  const std::string full(path);
  if (!full.starts_with(base) || full.size() == base.size()) return false;
  if (base.empty() && full.front() == PathDelim) return false;
  std::string partial = base;
  size_t i = base.size();
  while (i <= full.size()) {
    size_t j = full.find(PathDelim, i);
    if (j == std::string::npos) j = full.size();
    const std::string_view comp = std::string_view(full).substr(i, j - i);
    if (comp == "..") return false;
    if (!comp.empty() && comp != ".") {
      partial += comp;
      struct stat st{};
      if (lstat(partial.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
      partial += PathDelim;
    }
    i = j + 1;
  }
  return true;
}

}  // namespace platform

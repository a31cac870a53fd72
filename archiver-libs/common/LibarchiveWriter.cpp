#include "LibarchiveWriter.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <unordered_set>

#include "ErrorCodes.h"
#include "Names.h"
#include "Notifier.h"
#include "SafeExtract.h"

namespace arclib {
namespace {

namespace fs = std::filesystem;

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string StoredName(std::string name) {
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  while (name.starts_with("./")) name.erase(0, 2);
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return name;
}

class TCollector {
 public:
  TCollector(const TCollectOptions& options, std::vector<TPackItem>& items) : FOptions(options), FItems(items) {}

  void Add(const std::string& path, const std::string& name) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    const bool isDir = S_ISDIR(st.st_mode);
    std::string stored = StoredName(name);
    if (FOptions.junkPaths) {
      if (isDir && !FOptions.recurse) return;
      if (const size_t slash = stored.rfind('/'); slash != std::string::npos) stored.erase(0, slash + 1);
    }
    if (!isDir || (FOptions.folderEntries && !FOptions.junkPaths)) {
      if (!stored.empty() && FSeen.insert(stored + (isDir ? "/" : "")).second) FItems.push_back({path, stored});
    }
    if (isDir && FOptions.recurse) Descend(path, name);
  }

  void Descend(const std::string& path, const std::string& name) {
    std::error_code ec;
    std::vector<std::string> children;
    for (const fs::directory_entry& e : fs::directory_iterator(path, ec)) {
      const std::string child = e.path().filename().string();
      if (!FOptions.hidden && child.front() == '.') continue;
      children.push_back(child);
    }
    std::sort(children.begin(), children.end());
    for (const std::string& child : children) Add(Join(path, child), name.empty() ? child : Join(name, child));
  }

 private:
  const TCollectOptions& FOptions;
  std::vector<TPackItem>& FItems;
  std::set<std::string> FSeen;
};

// Every entry below Folder (relative names), for wildcard patterns.
void ListBelow(const std::string& base, const std::string& rel, bool recurse, std::vector<std::string>& names) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(base.empty() ? "." : Join(base, rel), ec)) {
    const std::string name = rel.empty() ? e.path().filename().string() : Join(rel, e.path().filename().string());
    names.push_back(name);
    if (recurse && e.is_directory(ec) && !e.is_symlink(ec)) ListBelow(base, name, recurse, names);
  }
}

std::string TempBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + file + ".tk" + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
}

class TArchiveOut {
 public:
  TArchiveOut() : FArchive(archive_write_new()) {}
  ~TArchiveOut() { archive_write_free(FArchive); }
  TArchiveOut(const TArchiveOut&) = delete;
  TArchiveOut& operator=(const TArchiveOut&) = delete;
  archive* Get() const { return FArchive; }

 private:
  archive* FArchive;
};

struct TEntryDeleter {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using TEntry = std::unique_ptr<archive_entry, TEntryDeleter>;

std::string WriteError(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "cannot write the archive";
}

// One file from disk: 0; kErrCannotRead when it could not be read (reported, left out);
// kErrUserCancel or kErrCannotWrite when the archive cannot go on.
int PackItem(archive* a, const TPackItem& item, TOutput& out) {
  struct stat st {};
  if (::lstat(item.path.c_str(), &st) != 0) {
    out.PrintableLine("cannot read " + item.path + ": " + std::strerror(errno));
    return kErrCannotRead;
  }
  TEntry entry(archive_entry_new());
  archive_entry_copy_pathname(entry.get(), item.name.c_str());
  archive_entry_set_mtime(entry.get(), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  archive_entry_set_atime(entry.get(), st.st_atim.tv_sec, st.st_atim.tv_nsec);
  archive_entry_set_perm(entry.get(), st.st_mode & 07777);
  TFd fd;
  if (S_ISDIR(st.st_mode)) {
    archive_entry_set_filetype(entry.get(), AE_IFDIR);
    archive_entry_set_size(entry.get(), 0);
  } else if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
    const ssize_t n = ::readlink(item.path.c_str(), target.data(), target.size());
    if (n < 0) {
      out.PrintableLine("cannot read link " + item.path + ": " + std::strerror(errno));
      return kErrCannotRead;
    }
    target.resize(static_cast<size_t>(n));
    archive_entry_set_filetype(entry.get(), AE_IFLNK);
    archive_entry_copy_symlink(entry.get(), target.c_str());
    archive_entry_set_size(entry.get(), 0);
  } else if (S_ISREG(st.st_mode)) {
    fd = TFd(::open(item.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.Get() < 0) {
      out.PrintableLine("cannot read " + item.path + ": " + std::strerror(errno));
      return kErrCannotRead;
    }
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_size(entry.get(), st.st_size);
  } else {
    out.PrintableLine("skipped (not a file, folder or link): " + item.path);
    return kErrCannotRead;
  }
  TMemberInfo m;
  m.name = item.name;
  m.originalSize = static_cast<uint64_t>(S_ISREG(st.st_mode) ? st.st_size : 0);
  m.mtime = st.st_mtim.tv_sec;
  const std::string attr = AttributeText(m);
  if (!TNotifier::Instance().Member(ProgressOf(m, item.path, attr))) return kErrUserCancel;
  if (archive_write_header(a, entry.get()) < ARCHIVE_WARN) {
    out.PrintableLine("cannot write " + item.name + ": " + WriteError(a));
    return kErrCannotWrite;
  }
  if (fd.Get() >= 0) {
    char buffer[64 * 1024];
    int64_t left = st.st_size;
    while (left > 0) {
      const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // The size is in the header already: pad, so the archive stays readable, and report.
        out.PrintableLine("cannot read " + item.path + ": file changed while packing");
        std::memset(buffer, 0, sizeof buffer);
        while (left > 0) {
          const la_ssize_t k = archive_write_data(a, buffer, static_cast<size_t>(std::min<int64_t>(left, sizeof buffer)));
          if (k <= 0) break;
          left -= k;
        }
        return left > 0 ? kErrCannotWrite : kErrCannotRead;
      }
      if (archive_write_data(a, buffer, static_cast<size_t>(n)) < 0) {
        out.PrintableLine("cannot write " + item.name + ": " + WriteError(a));
        return kErrCannotWrite;
      }
      left -= n;
    }
  }
  out.PrintableLine("a      " + item.name);
  return 0;
}

// Carries the kept members of an existing archive over, decompressed and packed anew.
int CopyMembers(archive* a, const TCopySource& copy, TOutput& out) {
  TArchiveIn in(copy.setup);
  if (const int r = in.Open(copy.path); r != 0) {
    out.PrintableLine("cannot read archive: " + copy.path);
    return r;
  }
  archive_entry* entry = nullptr;
  int r = ARCHIVE_OK;
  while ((r = archive_read_next_header(in.Get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
    const TMemberInfo m = DescribeEntry(entry);
    if (!copy.keep(m)) continue;
    if (m.encrypted) {
      out.PrintableLine("cannot carry over encrypted member " + m.name);
      return kErrEncrypted;
    }
    if (archive_write_header(a, entry) < ARCHIVE_WARN) {
      out.PrintableLine("cannot write " + m.name + ": " + WriteError(a));
      return kErrCannotWrite;
    }
    char buffer[64 * 1024];
    la_ssize_t n = 0;
    while ((n = archive_read_data(in.Get(), buffer, sizeof buffer)) > 0)
      if (archive_write_data(a, buffer, static_cast<size_t>(n)) < 0) return kErrCannotWrite;
    if (n < 0) {
      out.PrintableLine("cannot read " + m.name + ": " + in.Error());
      return kErrBrokenData;
    }
  }
  return r == ARCHIVE_EOF ? 0 : kErrHeaderBroken;
}

}  // namespace

int CollectPackItems(const std::string& base, const std::vector<std::string>& names, const TCollectOptions& options,
                     std::vector<TPackItem>& items, TOutput& out) {
  TCollector collector(options, items);
  int code = 0;
  for (const std::string& name : names) {
    const std::string path = name.starts_with('/') ? name : Join(base, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      collector.Add(path, name);
      continue;
    }
    std::vector<std::string> below;
    if (name.find_first_of("*?") != std::string::npos) ListBelow(base, "", options.recurse, below);
    std::sort(below.begin(), below.end());
    bool found = false;
    for (const std::string& candidate : below) {
      if (!Selected(candidate, {name})) continue;
      found = true;
      collector.Add(Join(base, candidate), candidate);
    }
    if (!found) {
      out.PrintableLine("nothing matches " + name);
      code = kErrNoMatch;
    }
  }
  return code;
}

int WriteArchive(const std::string& path, TWriteSetup setup, int level, const std::vector<TPackItem>& items,
                 const TCopySource* copy, TOutput& out) {
  TUtf8Locale locale;
  const std::string tmp = TempBeside(path);
  int code = 0;
  {
    TArchiveOut writer;
    setup(writer.Get(), level);
    if (archive_write_open_filename(writer.Get(), tmp.c_str()) != ARCHIVE_OK) {
      out.PrintableLine("cannot create " + path + ": " + WriteError(writer.Get()));
      return kErrFileOpen;
    }
    int fatal = copy != nullptr ? CopyMembers(writer.Get(), *copy, out) : 0;
    for (size_t k = 0; fatal == 0 && k < items.size(); ++k) {
      const int r = PackItem(writer.Get(), items[k], out);
      if (r == kErrCannotRead)
        code = code != 0 ? code : r;  // reported and left out; the rest is still packed
      else
        fatal = r;
    }
    if (fatal == 0 && archive_write_close(writer.Get()) != ARCHIVE_OK) {
      out.PrintableLine("cannot write " + path + ": " + WriteError(writer.Get()));
      fatal = kErrCannotWrite;
    }
    if (fatal != 0) {
      // Nothing half-written is left, and an old archive of that name stays as it was.
      if (fatal == kErrUserCancel) out.PrintableLine("cancelled");
      ::unlink(tmp.c_str());
      return fatal;
    }
  }
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::chmod(tmp.c_str(), old.st_mode & 07777);
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    out.PrintableLine("cannot replace " + path + ": " + std::strerror(errno));
    ::unlink(tmp.c_str());
    return kErrCannotWrite;
  }
  return code;
}

int PackFiles(const TPackRequest& request, TReadSetup read, TWriteSetup write, TOutput& out) {
  std::vector<TPackItem> items;
  const int collected = CollectPackItems(request.baseDir, request.names, request.collect, items, out);
  if (items.empty()) {
    out.PrintableLine("nothing to pack");
    return collected != 0 ? collected : kErrNoMatch;
  }
  std::unordered_set<std::string> replaced;
  for (const TPackItem& item : items) replaced.insert(item.name);
  TCopySource copy{request.archive, read, [&replaced](const TMemberInfo& m) { return replaced.count(m.name) == 0; }};
  const bool keep = request.keepOthers && ::access(request.archive.c_str(), F_OK) == 0;
  const int written = WriteArchive(request.archive, write, request.level, items, keep ? &copy : nullptr, out);
  return written != 0 ? written : collected;
}

}  // namespace arclib

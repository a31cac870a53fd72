#include "SafeExtract.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "ErrorCodes.h"

namespace arclib {
namespace {

std::string TempName() {
  static std::atomic<unsigned> counter{0};
  return ".tkarc" + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
}

struct timespec Stamp(int64_t t) {
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(t);
  return ts;
}

uid_t OwnerId(const TOwner& o) {
  if (!o.user.empty()) {
    struct passwd pw {};
    struct passwd* res = nullptr;
    char buf[1024];
    if (::getpwnam_r(o.user.c_str(), &pw, buf, sizeof buf, &res) == 0 && res) return res->pw_uid;
  }
  return o.uid ? static_cast<uid_t>(*o.uid) : static_cast<uid_t>(-1);
}

gid_t GroupId(const TOwner& o) {
  if (!o.group.empty()) {
    struct group gr {};
    struct group* res = nullptr;
    char buf[1024];
    if (::getgrnam_r(o.group.c_str(), &gr, buf, sizeof buf, &res) == 0 && res) return res->gr_gid;
  }
  return o.gid ? static_cast<gid_t>(*o.gid) : static_cast<gid_t>(-1);
}

// Gives a written file or folder its recorded owner (only as root). Returns the set-id bits it
// may keep: otherwise a member with mode 04777 and no owner would come out as a setuid-root file.
mode_t RestoreOwner(const TOwner& o, int fd) {
  if (!IsRoot() || o.Empty()) return 0;
  const uid_t uid = OwnerId(o);
  const gid_t gid = GroupId(o);
  if (::fchown(fd, uid, gid) != 0) return 0;
  return (uid != static_cast<uid_t>(-1) ? S_ISUID : 0) | (gid != static_cast<gid_t>(-1) ? S_ISGID : 0);
}

mode_t ModeBits(const TStamp& stamp, mode_t fallback, mode_t setIdKept) {
  if (stamp.mode) return static_cast<mode_t>(*stamp.mode & (01777 | setIdKept));
  if (stamp.readOnly) return fallback & ~static_cast<mode_t>(0222);
  return fallback;
}

std::string Errno() { return std::strerror(errno); }

}  // namespace

TFd::~TFd() {
  if (FFd >= 0) ::close(FFd);
}

TFd& TFd::operator=(TFd&& o) noexcept {
  std::swap(FFd, o.FFd);
  return *this;
}

std::vector<std::string> SplitName(std::string_view name) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i <= name.size()) {
    size_t j = name.find('/', i);
    if (j == std::string_view::npos) j = name.size();
    if (j > i && name.substr(i, j - i) != ".") out.emplace_back(name.substr(i, j - i));
    i = j + 1;
  }
  return out;
}

std::string UnsafeNameReason(std::string_view name) {
  if (!name.empty() && name.front() == '/') return "refused: absolute path";
  const std::vector<std::string> comps = SplitName(name);
  if (std::find(comps.begin(), comps.end(), "..") != comps.end()) return "refused: name leaves the folder";
  return {};
}

bool IsRoot() { return ::geteuid() == 0; }

bool TDestination::Open(const std::string& dir, TFailure& f) {
  const std::string path = dir.empty() ? "." : dir;
  FRoot = TFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (FRoot.Get() < 0 && errno == ENOENT) {
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
      if ((i == path.size() || path[i] == '/') && !partial.empty()) ::mkdir(partial.c_str(), 0777);
      if (i < path.size()) partial += path[i];
    }
    FRoot = TFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  if (FRoot.Get() < 0) {
    f = {kErrMakeDirectory, "cannot open destination folder " + path + ": " + Errno()};
    return false;
  }
  return true;
}

TFd TDestination::Folder(const std::vector<std::string>& comps, size_t count, bool create, TFailure& f) const {
  TFd cur(::dup(FRoot.Get()));
  for (size_t i = 0; i < count && cur.Get() >= 0; ++i) {
    if (create && ::mkdirat(cur.Get(), comps[i].c_str(), 0777) != 0 && errno != EEXIST) {
      f = {kErrMakeDirectory, "cannot create folder " + comps[i] + ": " + Errno()};
      return TFd();
    }
    const int next = ::openat(cur.Get(), comps[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      if (errno == ELOOP || errno == ENOTDIR)
        f = {kErrUnsafeName, "refused: path passes through a link or a file at " + comps[i]};
      else
        f = {kErrMakeDirectory, "cannot open folder " + comps[i] + ": " + Errno()};
      return TFd();
    }
    cur = TFd(next);
  }
  return cur;
}

void TDestination::WriteFile(const std::vector<std::string>& comps, const TStamp& stamp,
                             const std::function<bool(int fd, TFailure& f)>& fill, TFailure& f) const {
  TFd parent = Folder(comps, comps.size() - 1, true, f);
  if (parent.Get() < 0) return;
  const std::string tmp = TempName();
  {
    TFd fd(::openat(parent.Get(), tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
      f = {kErrFileOpen, "cannot create file: " + Errno()};
      return;
    }
    if (fill(fd.Get(), f)) {
      const mode_t setId = RestoreOwner(stamp.owner, fd.Get());
      struct stat st {};
      ::fstat(fd.Get(), &st);
      const mode_t mode = ModeBits(stamp, st.st_mode & 0777, setId);
      struct timespec times[2] = {Stamp(stamp.atime.value_or(stamp.mtime)), Stamp(stamp.mtime)};
      if (::fchmod(fd.Get(), mode) != 0 || ::futimens(fd.Get(), times) != 0)
        f = {kErrCannotWrite, "cannot set attributes: " + Errno()};
    } else if (f.code == 0) {
      f = {kErrCannotWrite, "cannot write"};
    }
  }
  if (f.code == 0 && ::renameat(parent.Get(), tmp.c_str(), parent.Get(), comps.back().c_str()) != 0)
    f = {kErrCannotWrite, "cannot replace " + comps.back() + ": " + Errno()};
  if (f.code != 0) ::unlinkat(parent.Get(), tmp.c_str(), 0);
}

void TDestination::WriteLink(const std::vector<std::string>& comps, const std::string& target, const TStamp& stamp,
                             TFailure& f) const {
  TFd parent = Folder(comps, comps.size() - 1, true, f);
  if (parent.Get() < 0) return;
  const std::string tmp = TempName();
  if (::symlinkat(target.c_str(), parent.Get(), tmp.c_str()) != 0) {
    f = {kErrFileOpen, "cannot create link: " + Errno()};
    return;
  }
  if (IsRoot() && !stamp.owner.Empty())
    (void)::fchownat(parent.Get(), tmp.c_str(), OwnerId(stamp.owner), GroupId(stamp.owner), AT_SYMLINK_NOFOLLOW);
  struct timespec times[2] = {Stamp(stamp.atime.value_or(stamp.mtime)), Stamp(stamp.mtime)};
  ::utimensat(parent.Get(), tmp.c_str(), times, AT_SYMLINK_NOFOLLOW);
  if (::renameat(parent.Get(), tmp.c_str(), parent.Get(), comps.back().c_str()) != 0) {
    f = {kErrCannotWrite, "cannot replace " + comps.back() + ": " + Errno()};
    ::unlinkat(parent.Get(), tmp.c_str(), 0);
  }
}

void TDestination::WriteHardLink(const std::vector<std::string>& comps, const std::vector<std::string>& target,
                                 TFailure& f) const {
  if (target.empty()) {
    f = {kErrUnsafeName, "refused: hard link without a target"};
    return;
  }
  TFd from = Folder(target, target.size() - 1, false, f);
  if (from.Get() < 0) return;
  TFd parent = Folder(comps, comps.size() - 1, true, f);
  if (parent.Get() < 0) return;
  const std::string tmp = TempName();
  if (::linkat(from.Get(), target.back().c_str(), parent.Get(), tmp.c_str(), 0) != 0) {
    f = {kErrFileOpen, "cannot create hard link to " + target.back() + ": " + Errno()};
    return;
  }
  if (::renameat(parent.Get(), tmp.c_str(), parent.Get(), comps.back().c_str()) != 0) {
    f = {kErrCannotWrite, "cannot replace " + comps.back() + ": " + Errno()};
    ::unlinkat(parent.Get(), tmp.c_str(), 0);
  }
}

bool TDestination::Exists(const std::vector<std::string>& comps) const {
  if (comps.empty()) return false;
  TFailure ignored;
  TFd parent = Folder(comps, comps.size() - 1, false, ignored);
  struct stat st {};
  return parent.Get() >= 0 && ::fstatat(parent.Get(), comps.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

void TDestination::MakeFolder(const std::vector<std::string>& comps, const TStamp& stamp, TFailure& f) {
  TFd dir = Folder(comps, comps.size(), true, f);
  if (dir.Get() >= 0) FFolders.emplace_back(comps, stamp);
}

void TDestination::FinishFolders() {
  // Deepest last-made first: a folder without write permission no longer blocks its contents.
  for (auto it = FFolders.rbegin(); it != FFolders.rend(); ++it) {
    TFailure ignored;
    TFd dir = Folder(it->first, it->first.size(), false, ignored);
    if (dir.Get() < 0) continue;
    const mode_t setId = RestoreOwner(it->second.owner, dir.Get());
    if (it->second.mode) ::fchmod(dir.Get(), ModeBits(it->second, 0777, setId));
    struct timespec times[2] = {Stamp(it->second.atime.value_or(it->second.mtime)), Stamp(it->second.mtime)};
    ::futimens(dir.Get(), times);
  }
  FFolders.clear();
}

}  // namespace arclib

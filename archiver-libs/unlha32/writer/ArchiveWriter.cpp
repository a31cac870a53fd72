#include "ArchiveWriter.h"

#include "Crc16.h"
#include "HeaderWriter.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace unlha {
namespace {

constexpr size_t kWriteBuffer = 1 << 20;
constexpr size_t kReadChunk = 256 << 10;
// The sizes of a level-2 header are 32 bits; a file that may reach this gets the 64-bit size
// header too (one that grows past it while it is read without one is not stored).
constexpr uint64_t kWideSizesFrom = 0xFFFFFFFFu - (64u << 20);
constexpr uint64_t kMaxNarrowSize = 0xFFFFFFFFu;
constexpr uint64_t kIncompressibleProbe = 1 << 20;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes a descriptor on every path out of a scope.
struct TFd {
  int fd = -1;
  explicit TFd(int f) : fd(f) {}
  ~TFd() {
    if (fd >= 0) close(fd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
};

// Temporaries are ".<name>.tk<pid>.tmp"; one whose process is gone was left by a kill.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name) {
  DIR* d = opendir(folder.c_str());
  if (d == nullptr) return;
  const std::string prefix = "." + name + ".tk";
  while (const dirent* e = readdir(d)) {
    const std::string_view n = e->d_name;
    if (n.size() <= prefix.size() + 4 || n.substr(0, prefix.size()) != prefix || n.substr(n.size() - 4) != ".tmp")
      continue;
    const std::string_view digits = n.substr(prefix.size(), n.size() - prefix.size() - 4);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(std::string(digits)));
    if (pid == getpid() || (kill(pid, 0) != 0 && errno == ESRCH)) unlinkat(dirfd(d), e->d_name, 0);
  }
  closedir(d);
}

} // namespace

TArchiveLock::TArchiveLock(const std::string& target) {
  const std::string folder = FolderOf(target);
  FPath = (folder == "/" ? "" : folder) + "/." + NameOf(target) + ".tklock";
  // The file may be removed by the holder between our open and our lock: then the lock is on
  // a file nobody else sees, and it is taken again on the file now at that path.
  for (;;) {
    FFd = open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd < 0) throw EWriteFailed("cannot create the lock file: " + FPath + ": " + std::strerror(errno));
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    int r = 0;
    while ((r = fcntl(FFd, F_OFD_SETLKW, &fl)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
      const int err = errno;
      close(FFd);
      throw EWriteFailed("cannot lock the archive: " + FPath + ": " + std::strerror(err));
    }
    struct stat held{}, now{};
    if (fstat(FFd, &held) == 0 && stat(FPath.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino)
      return;
    close(FFd);
  }
}

TArchiveLock::~TArchiveLock() {
  unlink(FPath.c_str()); // while still held, so a waiter sees the change and locks anew
  close(FFd);
}

TArchiveWriter::TArchiveWriter(std::string target) : FTarget(std::move(target)) {
  const std::string folder = FolderOf(FTarget);
  const std::string name = NameOf(FTarget);
  RemoveStaleTemporaries(folder, name);
  FTempPath = (folder == "/" ? "" : folder) + "/." + name + ".tk" + std::to_string(getpid()) + ".tmp";
  struct stat old{};
  const bool exists = stat(FTarget.c_str(), &old) == 0;
  FFd = open(FTempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, exists ? (old.st_mode & 07777) : 0666);
  if (FFd < 0) Fail("cannot create the temporary archive", errno);
  struct stat st{};
  fstat(FFd, &st);
  FTempDev = st.st_dev;
  FTempIno = st.st_ino;
  if (exists) {
    FTargetDev = old.st_dev;
    FTargetIno = old.st_ino;
  }
  FBuf.reserve(kWriteBuffer + kReadChunk);
  FReadBuf.resize(kReadChunk);
}

TArchiveWriter::~TArchiveWriter() {
  if (FFd >= 0) close(FFd);
  if (!FCommitted) unlink(FTempPath.c_str());
}

bool TArchiveWriter::IsOwnFile(uint64_t dev, uint64_t ino) const {
  return (dev == FTempDev && ino == FTempIno) || (FTargetIno != 0 && dev == FTargetDev && ino == FTargetIno);
}

void TArchiveWriter::Fail(const char* what, int err) const {
  throw EWriteFailed(std::string(what) + ": " + FTempPath + ": " + std::strerror(err));
}

void TArchiveWriter::Write(std::span<const uint8_t> bytes) {
  FBuf.insert(FBuf.end(), bytes.begin(), bytes.end());
  if (FBuf.size() >= kWriteBuffer) Flush();
}

void TArchiveWriter::Flush() {
  size_t done = 0;
  while (done < FBuf.size()) {
    const ssize_t n = pwrite(FFd, FBuf.data() + done, FBuf.size() - done, static_cast<off_t>(FBufStart + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("cannot write the archive", n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  FBufStart += FBuf.size();
  FBuf.clear();
}

void TArchiveWriter::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (offset >= FBufStart && offset + bytes.size() <= Offset()) {
    std::memcpy(FBuf.data() + (offset - FBufStart), bytes.data(), bytes.size());
    return;
  }
  Flush();
  if (pwrite(FFd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes.size()))
    Fail("cannot write the archive", errno != 0 ? errno : ENOSPC);
}

void TArchiveWriter::Truncate(uint64_t offset) {
  if (offset >= FBufStart) {
    FBuf.resize(offset - FBufStart);
    return;
  }
  FBuf.clear();
  if (ftruncate(FFd, static_cast<off_t>(offset)) != 0) Fail("cannot truncate the archive", errno);
  FBufStart = offset;
}

std::string TArchiveWriter::UserName(uint32_t uid) {
  auto it = FUsers.find(uid);
  if (it != FUsers.end()) return it->second;
  std::string name;
  std::vector<char> buf(4096);
  passwd pw{}, *res = nullptr;
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &res) == 0 && res != nullptr) name = pw.pw_name;
  return FUsers[uid] = name;
}

std::string TArchiveWriter::GroupName(uint32_t gid) {
  auto it = FGroups.find(gid);
  if (it != FGroups.end()) return it->second;
  std::string name;
  std::vector<char> buf(4096);
  group gr{}, *res = nullptr;
  if (getgrgid_r(gid, &gr, buf.data(), buf.size(), &res) == 0 && res != nullptr) name = gr.gr_name;
  return FGroups[gid] = name;
}

TAddResult TArchiveWriter::Add(const std::string& storedName, const std::string& path, TLhMethod method) {
  TAddResult r;
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0) {
    r.reason = std::strerror(errno);
    return r;
  }
  // 0xFF separates the folders of a stored name: a name holding it cannot be stored as it is.
  if (storedName.find('\xFF') != std::string::npos) {
    r.reason = "the name holds the byte 0xFF, which LHA reserves as its folder separator";
    return r;
  }
  TLhaMember& m = r.member;
  m.name = storedName;
  m.level = 2;
  m.osId = 'U';
  m.method = "-lhd-";
  auto describe = [&](const struct stat& s) {
    m.mtime = s.st_mtime;
    m.unixMode = static_cast<uint16_t>(s.st_mode & 0xFFFFu);
    m.uid = s.st_uid;
    m.gid = s.st_gid;
    m.user = UserName(s.st_uid);
    m.group = GroupName(s.st_gid);
  };
  describe(st);
  if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) {
    if (S_ISLNK(st.st_mode)) {
      std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
      const ssize_t n = readlink(path.c_str(), target.data(), target.size());
      if (n < 0) {
        r.reason = std::strerror(errno);
        return r;
      }
      target.resize(static_cast<size_t>(n));
      if (target.find('\xFF') != std::string::npos) {
        r.reason = "the link's target holds the byte 0xFF, which LHA reserves as its folder separator";
        return r;
      }
      m.linkTarget = target.empty() ? "." : target;
    }
    Write(BuildHeader(m));
    r.stored = true;
    return r;
  }
  if (!S_ISREG(st.st_mode)) {
    r.reason = "not a regular file, folder or link";
    return r;
  }

  TFd in(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (in.fd < 0 || fstat(in.fd, &st) != 0) {
    r.reason = std::strerror(errno);
    return r;
  }
  if (!S_ISREG(st.st_mode)) {
    r.reason = "not a regular file";
    return r;
  }
  describe(st);
  const bool wide = static_cast<uint64_t>(st.st_size) >= kWideSizesFrom;
  const uint64_t headerAt = Offset();
  m.method = std::string(MethodId(method));
  Write(BuildHeader(m, wide));
  const uint64_t dataAt = Offset();

  // Reads the whole file once, feeding each chunk to f; the CRC covers exactly those bytes.
  // False with the reason set when reading fails or the file grows past the member limit.
  auto readAll = [&](auto&& f) {
    uint64_t total = 0;
    uint16_t crc = 0;
    for (;;) {
      const ssize_t n = read(in.fd, FReadBuf.data(), FReadBuf.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        r.reason = std::strerror(errno);
        return false;
      }
      if (n == 0) break;
      const std::span<const uint8_t> chunk(FReadBuf.data(), static_cast<size_t>(n));
      total += chunk.size();
      if (!wide && total > kMaxNarrowSize) {
        r.reason = "grew past 4 GiB while it was read";
        return false;
      }
      crc = Crc16(crc, chunk);
      if (!f(chunk)) break;
    }
    m.originalSize = total;
    m.crc = crc;
    return true;
  };

  bool packed = false;
  if (method != TLhMethod::lh0 && st.st_size > 0) {
    TLhEncoder enc(method, [&](std::span<const uint8_t> b) { Write(b); });
    // Once the packed data is as large as the file it cannot pay off, and a first stretch
    // that did not shrink at all says the same of already compressed data (archives, images,
    // .gz): stop and store instead.
    bool gaveUp = false;
    uint64_t consumed = 0;
    if (!readAll([&](std::span<const uint8_t> chunk) {
          enc.Write(chunk);
          consumed += chunk.size();
          gaveUp = enc.OutputSize() >= static_cast<uint64_t>(st.st_size) ||
                   (consumed >= kIncompressibleProbe && enc.OutputSize() >= consumed);
          return !gaveUp;
        })) {
      Truncate(headerAt);
      return r;
    }
    if (!gaveUp) {
      enc.Finish();
      packed = Offset() - dataAt < m.originalSize;
    }
  }
  if (!packed) {
    Truncate(dataAt);
    m.method = "-lh0-";
    if (lseek(in.fd, 0, SEEK_SET) != 0 || !readAll([&](std::span<const uint8_t> chunk) {
          Write(chunk);
          return true;
        })) {
      if (r.reason.empty()) r.reason = std::strerror(errno);
      Truncate(headerAt);
      return r;
    }
  }
  m.packedSize = Offset() - dataAt;
  if (!wide && m.packedSize > kMaxNarrowSize) { // packed data larger than a grown file
    r.reason = "grew past 4 GiB while it was read";
    Truncate(headerAt);
    return r;
  }
  WriteAt(headerAt, BuildHeader(m, wide));
  struct stat after{};
  if (fstat(in.fd, &after) == 0 && (after.st_mtim.tv_sec != st.st_mtim.tv_sec || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec ||
                                    after.st_size != st.st_size))
    r.note = "changed while it was read; stored as read";
  r.stored = true;
  return r;
}

void TArchiveWriter::CopyFrom(const TByteSource& src, uint64_t offset, uint64_t length) {
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length, FReadBuf.size()));
    const ptrdiff_t n = src.ReadAt(offset, FReadBuf.data(), want);
    if (n <= 0) throw EWriteFailed("cannot read the existing archive");
    Write({FReadBuf.data(), static_cast<size_t>(n)});
    offset += static_cast<uint64_t>(n);
    length -= static_cast<uint64_t>(n);
  }
}

void TArchiveWriter::Commit() {
  const uint8_t end = 0;
  Write({&end, 1});
  Flush();
  if (fsync(FFd) != 0) Fail("cannot flush the archive to disk", errno);
  if (close(FFd) != 0) {
    FFd = -1;
    Fail("cannot close the archive", errno);
  }
  FFd = -1;
  if (rename(FTempPath.c_str(), FTarget.c_str()) != 0) Fail("cannot replace the archive", errno);
  FCommitted = true;
  TFd dir(open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) fsync(dir.fd);
}

} // namespace unlha

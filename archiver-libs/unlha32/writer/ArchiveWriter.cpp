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

// Reads the whole file from its current position once, feeding each chunk to f (false from f
// stops early); the CRC covers exactly those bytes. False with the reason set when reading
// fails, the file grows past what narrow sizes hold, or stop is set. A short read that brings
// the total to expected ends it without the read that would only confirm the end (whether the
// file grew meanwhile, the stat after reading tells).
template <typename F>
bool ReadAll(int fd, std::span<uint8_t> buffer, uint64_t expected, bool wide, const std::atomic<bool>* stop,
             TAddResult& r, F&& f) {
  uint64_t total = 0;
  uint16_t crc = 0;
  for (;;) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
      r.reason = "cancelled";
      return false;
    }
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      r.reason = std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    const std::span<const uint8_t> chunk(buffer.data(), static_cast<size_t>(n));
    total += chunk.size();
    if (!wide && total > kMaxNarrowSize) {
      r.reason = "grew past 4 GiB while it was read";
      return false;
    }
    crc = Crc16(crc, chunk);
    if (!f(chunk) || (chunk.size() < buffer.size() && total == expected)) break;
  }
  r.member.originalSize = total;
  r.member.crc = crc;
  return true;
}

// What the stat of an open file after reading it says of the stat taken before.
enum class EAfterRead { Unchanged, Changed, OtherFile };

EAfterRead CompareAfterRead(int fd, const struct stat& before) {
  struct stat after{};
  if (fstat(fd, &after) != 0) return EAfterRead::Unchanged;
  if (after.st_dev != before.st_dev || after.st_ino != before.st_ino ||
      (after.st_mode & S_IFMT) != (before.st_mode & S_IFMT))
    return EAfterRead::OtherFile;
  const bool same = after.st_mtim.tv_sec == before.st_mtim.tv_sec && after.st_mtim.tv_nsec == before.st_mtim.tv_nsec &&
                    after.st_size == before.st_size;
  return same ? EAfterRead::Unchanged : EAfterRead::Changed;
}

constexpr const char* kChangedNote = "changed while it was read; stored as read";

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

namespace {

// Packs the open regular file that st describes into p: encoded, or stored as it is when that
// does not shrink it. Tells how the file after reading compares with st; none when it could not
// be read (the reason is in p).
std::optional<EAfterRead> PackOpened(TPackedMember& p, arclib::TFd& in, const struct stat& st, TLhMethod method,
                                     const TSpoolPlace& spool, const std::atomic<bool>* stop) {
  TAddResult& r = p.result;
  TLhaMember& m = r.member;
  p.wide = static_cast<uint64_t>(st.st_size) >= kWideSizesFrom;
  if (method != TLhMethod::lh0 && st.st_size > 0) {
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(st.st_size + 1, kReadChunk)));
    TSpool data(spool.folder, spool.memoryLimit);
    TLhEncoder enc(method, [&](std::span<const uint8_t> b) { data.Write(b); });
    // Once the packed data is as large as the file it cannot pay off, and a first stretch
    // that did not shrink at all says the same of already compressed data (archives, images,
    // .gz): stop and store instead.
    bool gaveUp = false;
    uint64_t consumed = 0;
    int chunks = 0;
    if (!ReadAll(in.Get(), buffer, static_cast<uint64_t>(st.st_size), p.wide, stop, r, [&](std::span<const uint8_t> chunk) {
          enc.Write(chunk);
          consumed += chunk.size();
          ++chunks;
          gaveUp = enc.OutputSize() >= static_cast<uint64_t>(st.st_size) ||
                   (consumed >= kIncompressibleProbe && enc.OutputSize() >= consumed);
          return !gaveUp;
        }))
      return std::nullopt;
    if (!gaveUp) {
      enc.Finish();
      if (data.Size() < m.originalSize) {
        m.method = std::string(MethodId(method));
        m.packedSize = data.Size();
        p.data.emplace(std::move(data));
        r.stored = true;
        return CompareAfterRead(in.Get(), st);
      }
    }
    // A file read whole in one piece is stored from what was read, and its handle goes now.
    if (chunks == 1 && consumed == static_cast<uint64_t>(st.st_size)) {
      m.method = "-lh0-";
      m.packedSize = m.originalSize;
      TSpool raw(spool.folder, spool.memoryLimit);
      raw.Write({buffer.data(), static_cast<size_t>(consumed)});
      p.data.emplace(std::move(raw));
      r.stored = true;
      return CompareAfterRead(in.Get(), st);
    }
  }
  // An empty file holds nothing open while it waits for its turn (thousands may wait at once):
  // one read tells that it is still empty.
  if (st.st_size == 0) {
    uint8_t probe = 0;
    ssize_t n = 0;
    while ((n = read(in.Get(), &probe, 1)) < 0 && errno == EINTR) {
    }
    if (n < 0) {
      r.reason = std::strerror(errno);
      return std::nullopt;
    }
    if (n == 0) {
      m.method = "-lh0-";
      m.originalSize = m.packedSize = 0;
      m.crc = 0;
      p.data.emplace(spool.folder, spool.memoryLimit);
      r.stored = true;
      return CompareAfterRead(in.Get(), st);
    }
  }
  // Stored as it is: the writer copies the file when its turn comes, reading it once more and
  // telling a change then.
  const EAfterRead after = CompareAfterRead(in.Get(), st);
  m.method = "-lh0-";
  p.file = std::move(in);
  p.opened = st;
  r.stored = true;
  return after == EAfterRead::OtherFile ? after : EAfterRead::Unchanged;
}

} // namespace

TPackedMember PackMember(const std::string& storedName, const TObjectPlace& place, TLhMethod method,
                         const TSpoolPlace& spool, const std::atomic<bool>* stop, const struct stat* known) {
  TPackedMember p;
  TAddResult& r = p.result;
  const bool inFolder = place.folder >= 0;
  const int at = inFolder ? place.folder : AT_FDCWD;
  const char* name = inFolder ? place.name : place.path.c_str();
  struct stat st{};
  if (known != nullptr) {
    st = *known;
  } else if (fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    r.reason = std::strerror(errno);
    return p;
  }
  // 0xFF separates the folders of a stored name: a name holding it cannot be stored as it is.
  if (storedName.find('\xFF') != std::string::npos) {
    r.reason = "the name holds the byte 0xFF, which LHA reserves as its folder separator";
    return p;
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
  };
  describe(st);
  if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) {
    if (S_ISLNK(st.st_mode)) {
      std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
      const ssize_t n = readlinkat(at, name, target.data(), target.size());
      if (n < 0) {
        r.reason = std::strerror(errno);
        return p;
      }
      target.resize(static_cast<size_t>(n));
      if (target.find('\xFF') != std::string::npos) {
        r.reason = "the link's target holds the byte 0xFF, which LHA reserves as its folder separator";
        return p;
      }
      m.linkTarget = target.empty() ? "." : target;
    }
    r.stored = true;
    return p;
  }
  if (!S_ISREG(st.st_mode)) {
    r.reason = "not a regular file, folder or link";
    return p;
  }

  // Not blocking: whatever took the file's place since its stat (a FIFO) cannot hold the pack.
  arclib::TFd in(openat(at, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (in.Get() < 0) {
    r.reason = std::strerror(errno);
    return p;
  }
  // The caller's stat, just taken, stands for the file opened. Only when the file read turns
  // out to be another (or could not be read) is it read again, with a stat of its own.
  if (known != nullptr) {
    TPackedMember first;
    first.result.member = m;
    const std::optional<EAfterRead> after = PackOpened(first, in, st, method, spool, stop);
    const bool cancelled = stop != nullptr && stop->load(std::memory_order_relaxed);
    if (cancelled || (after && *after != EAfterRead::OtherFile)) {
      if (after == EAfterRead::Changed) first.result.note = kChangedNote;
      return first;
    }
    if (first.file.Get() >= 0) in = std::move(first.file);
  }
  if (fstat(in.Get(), &st) != 0) {
    r.reason = std::strerror(errno);
    return p;
  }
  if (!S_ISREG(st.st_mode)) {
    r.reason = "not a regular file";
    return p;
  }
  if (known != nullptr && lseek(in.Get(), 0, SEEK_SET) != 0) {
    r.reason = std::strerror(errno);
    return p;
  }
  describe(st);
  if (PackOpened(p, in, st, method, spool, stop).value_or(EAfterRead::Unchanged) != EAfterRead::Unchanged)
    r.note = kChangedNote;
  return p;
}

std::string TArchiveWriter::Folder() const { return FolderOf(FTarget); }

TAddResult TArchiveWriter::Add(const std::string& storedName, const std::string& path, TLhMethod method) {
  TPackedMember p = PackMember(storedName, TObjectPlace{path}, method, {Folder(), kWriteBuffer});
  return Emit(p);
}

TAddResult TArchiveWriter::Emit(TPackedMember& p) {
  TAddResult r = std::move(p.result);
  if (!r.stored) return r;
  TLhaMember& m = r.member;
  if (m.uid) m.user = UserName(*m.uid);
  if (m.gid) m.group = GroupName(*m.gid);
  if (!p.data && p.file.Get() < 0) { // a folder or a link
    Write(BuildHeader(m));
    return r;
  }
  const uint64_t headerAt = Offset();
  Write(BuildHeader(m, p.wide));
  const uint64_t dataAt = Offset();
  if (p.data) {
    p.data->ReadOut(FReadBuf, [&](std::span<const uint8_t> b) { Write(b); });
  } else {
    const int fd = p.file.Get();
    if (lseek(fd, 0, SEEK_SET) != 0 ||
        !ReadAll(fd, FReadBuf, static_cast<uint64_t>(p.opened.st_size), p.wide, nullptr, r, [&](std::span<const uint8_t> chunk) {
          Write(chunk);
          return true;
        })) {
      if (r.reason.empty()) r.reason = std::strerror(errno);
      r.stored = false;
      Truncate(headerAt);
      return r;
    }
    m.packedSize = Offset() - dataAt;
    if (CompareAfterRead(fd, p.opened) != EAfterRead::Unchanged) r.note = kChangedNote;
  }
  if (!p.wide && m.packedSize > kMaxNarrowSize) { // packed data larger than a grown file
    r.reason = "grew past 4 GiB while it was read";
    r.stored = false;
    Truncate(headerAt);
    return r;
  }
  if (!p.data) WriteAt(headerAt, BuildHeader(m, p.wide)); // a copied file's sizes are known only now
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
  const arclib::TFd dir(open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) fsync(dir.Get());
}

} // namespace unlha

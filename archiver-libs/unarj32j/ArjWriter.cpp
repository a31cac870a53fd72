#include "ArjWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <set>

#include "ArjEncoder.h"
#include "ArjFormat.h"
#include "ErrorCodes.h"
#include "Names.h"
#include "Notifier.h"
#include "SafeExtract.h"

namespace unarj {
namespace {

using arclib::WriteAll;

constexpr uint8_t kVersion = 11;     // the archiver version this writer claims
constexpr uint8_t kMinVersion = 1;   // what a reader needs: method 1 and stored members
constexpr uint8_t kMethodMost = 1;
constexpr uint8_t kMainFileType = 2;

void PutLe16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLe32(std::vector<uint8_t>& b, uint32_t v) {
  for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

struct THeaderFields {
  uint8_t flags = kFlagPathSym;
  uint8_t method = 0;
  uint8_t fileType = kTypeBinary;
  uint32_t stamp = 0;
  uint32_t packed = 0;
  uint32_t original = 0;
  uint32_t crc = 0;
  uint16_t filespec = 0;
  uint16_t mode = 0;
};

// A whole header: id, size, basic header, its CRC-32 and an empty extended header list.
std::vector<uint8_t> Header(const THeaderFields& h, const std::string& name) {
  std::vector<uint8_t> basic;
  basic.push_back(static_cast<uint8_t>(kFirstHeaderSize));
  basic.push_back(kVersion);
  basic.push_back(kMinVersion);
  basic.push_back(kHostUnix);
  basic.push_back(h.flags);
  basic.push_back(h.method);
  basic.push_back(h.fileType);
  basic.push_back(0);
  PutLe32(basic, h.stamp);
  PutLe32(basic, h.packed);
  PutLe32(basic, h.original);
  PutLe32(basic, h.crc);
  PutLe16(basic, h.filespec);
  PutLe16(basic, h.mode);
  PutLe16(basic, 0);
  basic.insert(basic.end(), name.begin(), name.end());
  basic.push_back(0);  // name end
  basic.push_back(0);  // empty comment
  const uint32_t crc = Crc32(0, basic.data(), basic.size());
  const uint16_t size = static_cast<uint16_t>(basic.size());
  basic.insert(basic.begin(), {kHeaderId0, kHeaderId1, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)});
  PutLe32(basic, crc);
  PutLe16(basic, 0);
  return basic;
}

struct TInput {
  std::string path;  // on disk
  std::string name;  // in the archive
  bool directory = false;
  struct stat st {};
};

class TPacker {
 public:
  TPacker(const TPackRequest& req, arclib::TOutput& out) : FReq(req), FOut(out) {}

  int Run() {
    if (!FReq.remove) {
      for (const std::string& n : FReq.names)
        if (const int r = Gather(n); r != 0) return r;
      if (FInputs.empty()) {
        FOut.Line("no file to pack");
        return arclib::kErrNoMatch;
      }
    }
    if (const int r = KeepExisting(); r != 0) return r;
    std::string tmp;
    arclib::TFd fd = CreateTemporary(tmp);
    if (fd.Get() < 0) {
      FOut.Line("cannot create " + FReq.archive + ": " + std::strerror(errno));
      return arclib::kErrFileOpen;
    }
    const int r = WriteArchive(fd.Get());
    if (r == 0 && ::fsync(fd.Get()) == 0 && ::rename(tmp.c_str(), FReq.archive.c_str()) == 0) return 0;
    ::unlink(tmp.c_str());
    if (r != 0) return r;
    FOut.Line("cannot write " + FReq.archive + ": " + std::strerror(errno));
    return arclib::kErrCannotWrite;
  }

 private:
  // A new file beside the archive, with the mode new files get (the umask applies); an
  // archive replaced passes its own mode on.
  arclib::TFd CreateTemporary(std::string& tmp) const {
    for (unsigned n = 0;; ++n) {
      tmp = FReq.archive + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(n);
      arclib::TFd fd(::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd.Get() < 0 && errno == EEXIST && n < 1000) continue;
      struct stat st {};
      if (fd.Get() >= 0 && ::stat(FReq.archive.c_str(), &st) == 0) ::fchmod(fd.Get(), st.st_mode & 07777);
      return fd;
    }
  }

  std::string DiskPath(const std::string& name) const {
    if (FReq.baseDir.empty() || (!name.empty() && name[0] == '/')) return name;
    return FReq.baseDir + (FReq.baseDir.back() == '/' ? "" : "/") + name;
  }

  int Gather(const std::string& given) {
    // The stored name: relative, "/"-separated, without "." components; ".." is never stored.
    std::string name;
    for (const std::string& c : arclib::SplitName(given)) {
      if (c == "..") {
        FOut.Line("refused (\"..\" in the name): " + given);
        return arclib::kErrUnsafeName;
      }
      name += (name.empty() ? "" : "/") + c;
    }
    if (name.empty()) {
      // The base folder itself: everything below it.
      return GatherBelow(DiskPath(given), "");
    }
    return Add(DiskPath(given), name);
  }

  int Add(const std::string& path, const std::string& name) {
    if (!FNames.insert(name).second) return 0;
    TInput in{path, name, false, {}};
    if (::lstat(path.c_str(), &in.st) != 0) {
      FOut.Line("cannot read " + path + ": " + std::strerror(errno));
      return arclib::kErrCannotRead;
    }
    if (S_ISLNK(in.st.st_mode)) {
      FOut.Line("skip   " + name + ": symbolic link (ARJ archives store no links)");
      return 0;
    }
    if (S_ISDIR(in.st.st_mode)) {
      in.directory = true;
      FInputs.push_back(in);
      return GatherBelow(path, name);
    }
    if (!S_ISREG(in.st.st_mode)) {
      FOut.Line("skip   " + name + ": not a regular file");
      return 0;
    }
    if (static_cast<uint64_t>(in.st.st_size) > 0xFFFFFFFFu) {
      FOut.Line("cannot pack " + name + ": ARJ members hold at most 4 GiB");
      return arclib::kErrNotSupport;
    }
    FInputs.push_back(in);
    return 0;
  }

  int GatherBelow(const std::string& dir, const std::string& prefix) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) {
      FOut.Line("cannot read folder " + dir + ": " + std::strerror(errno));
      return arclib::kErrCannotRead;
    }
    std::vector<std::string> entries;
    while (const dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") entries.push_back(n);
    }
    ::closedir(d);
    std::sort(entries.begin(), entries.end());
    for (const std::string& n : entries) {
      const std::string path = (dir.empty() ? "" : dir + (dir.back() == '/' ? "" : "/")) + n;
      if (const int r = Add(path, prefix.empty() ? n : prefix + "/" + n); r != 0) return r;
    }
    return 0;
  }

  // Where the existing archive's members that stay lie: those no new one replaces, or those
  // the names do not select for removal.
  int KeepExisting() {
    struct stat st {};
    if (::stat(FReq.archive.c_str(), &st) != 0 && !FReq.remove) return 0;
    FOld = TFileSource::Open(FReq.archive);
    if (!FOld) {
      FOut.Line("cannot open " + FReq.archive);
      return arclib::kErrArcFileOpen;
    }
    TArjArchive arc;
    std::string why;
    if (const int r = ReadArchive(*FOld, arc, why); r != 0) {
      FOut.Line("cannot add to " + FReq.archive + ": " + why);
      return r;
    }
    if ((arc.flags & kFlagVolume) != 0) {
      FOut.Line("cannot add to one volume of a multi-volume ARJ set: " + FReq.archive);
      return arclib::kErrNotSupport;
    }
    size_t removed = 0;
    for (const TArjMember& m : arc.members) {
      const std::string name = Describe(m).name;
      if (FReq.remove ? arclib::Selected(name, FReq.names) : FNames.count(name) != 0) {
        if (FReq.remove) FOut.Line("d      " + name);
        ++removed;
        continue;
      }
      FKept.emplace_back(m.headerOffset, m.dataOffset + m.packedSize - m.headerOffset);
    }
    if (FReq.remove && removed == 0) {
      FOut.Line("no member matches the names given");
      return arclib::kErrNoMatch;
    }
    return 0;
  }

  // The kept members' bytes, copied as they are.
  int CopyKept(int fd) {
    std::vector<uint8_t> buf(256 * 1024);
    for (auto [offset, size] : FKept) {
      while (size > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, buf.size()));
        if (FOld->ReadAt(offset, buf.data(), n) != static_cast<ptrdiff_t>(n)) {
          FOut.Line("cannot read " + FReq.archive);
          return arclib::kErrCannotRead;
        }
        if (!WriteAll(fd, buf.data(), n)) return WriteFailed();
        offset += n;
        size -= n;
      }
    }
    return 0;
  }

  int WriteArchive(int fd) {
    THeaderFields main;
    main.fileType = kMainFileType;
    main.stamp = static_cast<uint32_t>(std::time(nullptr));
    const size_t slash = FReq.archive.rfind('/');
    const std::vector<uint8_t> head =
        Header(main, slash == std::string::npos ? FReq.archive : FReq.archive.substr(slash + 1));
    if (!WriteAll(fd, head.data(), head.size())) return WriteFailed();
    if (const int r = CopyKept(fd); r != 0) return r;
    for (const TInput& in : FInputs)
      if (const int r = WriteMember(fd, in); r != 0) return r;
    const uint8_t end[4] = {kHeaderId0, kHeaderId1, 0, 0};
    return WriteAll(fd, end, sizeof end) ? 0 : WriteFailed();
  }

  int WriteFailed() {
    FOut.Line("cannot write " + FReq.archive + ": " + std::strerror(errno));
    return arclib::kErrCannotWrite;
  }

  int WriteMember(int fd, const TInput& in) {
    arclib::TMemberInfo info;
    info.name = in.name;
    info.kind = in.directory ? arclib::EMemberKind::Directory : arclib::EMemberKind::File;
    info.originalSize = in.directory ? 0 : static_cast<uint64_t>(in.st.st_size);
    info.mtime = in.st.st_mtime;
    info.unixMode = in.st.st_mode & 07777u;
    info.osType = 3;
    const std::string attr = arclib::AttributeText(info);
    if (!arclib::TNotifier::Instance().Member(arclib::ProgressOf(info, in.path, attr))) {
      FOut.Line("cancelled");
      return arclib::kErrUserCancel;
    }
    THeaderFields h;
    h.fileType = in.directory ? kTypeDirectory : kTypeBinary;
    h.stamp = static_cast<uint32_t>(in.st.st_mtime);  // Unix seconds, as ARJ writes on Unix
    h.mode = static_cast<uint16_t>(in.st.st_mode & 07777u);
    const size_t slash = in.name.rfind('/');
    h.filespec = static_cast<uint16_t>(slash == std::string::npos ? 0 : slash + 1);
    const off_t headerAt = ::lseek(fd, 0, SEEK_CUR);
    std::vector<uint8_t> head = Header(h, in.name);
    if (headerAt < 0 || !WriteAll(fd, head.data(), head.size())) return WriteFailed();
    if (!in.directory) {
      const int r = WriteData(fd, in, headerAt + static_cast<off_t>(head.size()), h);
      if (r != 0) return r;
      head = Header(h, in.name);
      if (::pwrite(fd, head.data(), head.size(), headerAt) != static_cast<ssize_t>(head.size())) return WriteFailed();
    }
    FOut.Line("a      " + in.name);
    return 0;
  }

  // Packs with method 1, or stores when that does not make the member smaller.
  int WriteData(int fd, const TInput& in, off_t dataAt, THeaderFields& h) {
    arclib::TFd file(::open(in.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.Get() < 0) {
      FOut.Line("cannot read " + in.path + ": " + std::strerror(errno));
      return arclib::kErrCannotRead;
    }
    const uint64_t size = static_cast<uint64_t>(in.st.st_size);
    std::vector<uint8_t> buf(256 * 1024);
    bool writeOk = true;
    auto pass = [&](bool compress) -> int {
      if (::lseek(file.Get(), 0, SEEK_SET) != 0 || ::lseek(fd, dataAt, SEEK_SET) != dataAt ||
          ::ftruncate(fd, dataAt) != 0)
        return WriteFailed();
      uint64_t packed = 0;
      TArjEncoder enc([&](std::span<const uint8_t> b) {
        // Packing stops being useful once it is no smaller than the original.
        if (packed + b.size() >= size) return false;
        packed += b.size();
        writeOk = WriteAll(fd, b.data(), b.size());
        return writeOk;
      });
      uint32_t crc = 0;
      uint64_t left = size;
      bool going = true;
      while (left > 0) {
        const ssize_t got = ::read(file.Get(), buf.data(), static_cast<size_t>(std::min<uint64_t>(left, buf.size())));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
          FOut.Line("cannot read " + in.path + (got < 0 ? ": " + std::string(std::strerror(errno)) : ": shrank"));
          return arclib::kErrCannotRead;
        }
        const std::span<const uint8_t> data(buf.data(), static_cast<size_t>(got));
        crc = Crc32(crc, data.data(), data.size());
        if (compress) {
          going = going && enc.Write(data);
        } else if (!WriteAll(fd, data.data(), data.size())) {
          return WriteFailed();
        }
        left -= data.size();
      }
      if (compress) going = going && enc.Finish();
      if (!writeOk) return WriteFailed();
      if (compress && !going) return -1;  // no gain: store instead
      h.method = compress ? kMethodMost : 0;
      h.packed = static_cast<uint32_t>(compress ? packed : size);
      h.original = static_cast<uint32_t>(size);
      h.crc = crc;
      return 0;
    };
    int r = FReq.compress && size > 0 ? pass(true) : -1;
    if (r == -1) r = pass(false);
    return r;
  }

  const TPackRequest& FReq;
  arclib::TOutput& FOut;
  std::vector<TInput> FInputs;
  std::set<std::string> FNames;
  std::unique_ptr<TFileSource> FOld;
  std::vector<std::pair<uint64_t, uint64_t>> FKept;  // offset and size of each member kept
};

}  // namespace

int PackFiles(const TPackRequest& request, arclib::TOutput& out) {
  TPacker packer(request, out);
  return packer.Run();
}

}  // namespace unarj

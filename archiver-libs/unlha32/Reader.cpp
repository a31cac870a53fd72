#include "Reader.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "Archive.h"
#include "Decoder.h"
#include "Listing.h"
#include "MacBinary.h"
#include "WorkerPool.h"

namespace unlha {
namespace {

// Switches the reading commands understand; README.md says what each does.
const std::vector<std::string_view> kReadSwitches = {"a", "c", "n", "p", "r", "w", "x", "jse", "jso", "jx"};

std::string ArchiveError(int code, const std::string& path) {
  switch (code) {
    case kErrArcFileOpen: return "cannot open archive: " + path;
    case kErrNotArcFile: return "not an LHA archive: " + path;
    case kErrHeaderCrc: return "header checksum error in " + path;
    default: return "broken header in " + path;
  }
}

std::string DecodeError(EDecode r, std::string_view method) {
  switch (r) {
    case EDecode::UnknownMethod: return "unknown method " + std::string(method);
    case EDecode::Broken: return "compressed data is broken";
    case EDecode::ReadFailed: return "cannot read archive";
    case EDecode::SinkFailed: return "cannot write";
    case EDecode::Ok: break;
  }
  return "";
}

int DecodeCode(EDecode r) {
  switch (r) {
    case EDecode::UnknownMethod: return kErrMethod;
    case EDecode::Broken: return kErrBrokenData;
    case EDecode::ReadFailed: return kErrCannotRead;
    case EDecode::SinkFailed: return kErrCannotWrite;
    case EDecode::Ok: break;
  }
  return 0;
}

std::string RatioText(const TLhaMember& m) {
  if (m.originalSize == 0) return "  0.0%";
  uint64_t pm = m.packedSize * 1000 / m.originalSize;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%3llu.%llu%%", static_cast<unsigned long long>(pm / 10),
                static_cast<unsigned long long>(pm % 10));
  return buf;
}

class TFdSink final : public TSink {
 public:
  explicit TFdSink(int fd) : FFd(fd) {}
  bool Put(const uint8_t* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(FFd, data, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      data += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }

 private:
  int FFd;
};

class TBufferSink final : public TSink {
 public:
  TBufferSink(uint8_t* buffer, uint32_t size) : FBuffer(buffer), FSize(buffer ? size : 0) {}
  bool Put(const uint8_t* data, size_t n) override {
    if (FUsed < FSize) {
      size_t k = std::min<size_t>(n, FSize - FUsed);
      std::memcpy(FBuffer + FUsed, data, k);
      FUsed += k;
    }
    FTotal += n;
    return true;
  }
  size_t Used() const { return FUsed; }
  uint64_t Total() const { return FTotal; }

 private:
  uint8_t* FBuffer;
  size_t FSize;
  size_t FUsed = 0;
  uint64_t FTotal = 0;
};

bool IsDriveLetter(std::string_view comp) {
  return comp.size() >= 2 && comp[1] == ':' && ((comp[0] >= 'A' && comp[0] <= 'Z') || (comp[0] >= 'a' && comp[0] <= 'z'));
}

// The path a member is written to below the destination, as the Unix LHA tools make it: no
// leading "/", no drive letter (in members not written on Unix, where ':' is an ordinary
// character), and of a name holding ".." components only what follows the last one. True when
// the stored name was changed.
bool SanitisePath(const TLhaMember& m, std::vector<std::string>& comps) {
  bool changed = m.absolute;
  if (m.osId != 'U' && !comps.empty() && IsDriveLetter(comps.front())) {
    comps.front().erase(0, 2);
    if (comps.front().empty()) comps.erase(comps.begin());
    changed = true;
  }
  auto last = std::find(comps.rbegin(), comps.rend(), "..");
  if (last != comps.rend()) {
    comps.erase(comps.begin(), last.base());
    changed = true;
  }
  return changed;
}

struct TTestResult {
  EDecode decode = EDecode::Ok;
  uint16_t crc = 0;
};

// Jobs (a large member, or a batch of small ones) handed to the test workers ahead of the
// results: their results are small.
constexpr size_t kTestAheadPerThread = 32;
// Extracting, members up to this size are decoded by the workers into memory ahead of their
// writing; larger ones stream to their file on the caller's thread while the workers go on with
// those after them. With this many per worker ahead, at most 64 MiB wait to be written.
constexpr uint64_t kExtractInMemoryUpTo = 4 << 20;
constexpr size_t kExtractAheadPerThread = 8;

// A member decoded into memory for its writing.
struct TDecoded {
  bool held = false; // false: too large, the caller streams it
  EDecode decode = EDecode::Ok;
  uint16_t crc = 0;
  std::vector<uint8_t> bytes;
};

// Hands a decoded member's buffer back to the spares once its member is written (on every path).
struct TKeepBuffer {
  TDecoded* decoded;
  std::mutex& lock;
  std::vector<std::vector<uint8_t>>& spare;
  ~TKeepBuffer() {
    if (decoded == nullptr || decoded->bytes.capacity() == 0) return;
    const std::lock_guard hold(lock);
    spare.push_back(std::move(decoded->bytes));
  }
};

// Collects a member's decoded data; refuses more once the run stops.
class TVectorSink final : public TSink {
 public:
  TVectorSink(std::vector<uint8_t>& bytes, const std::atomic<bool>& stop) : FBytes(bytes), FStop(stop) {}
  bool Put(const uint8_t* data, size_t n) override {
    if (FStop.load(std::memory_order_relaxed)) return false;
    FBytes.insert(FBytes.end(), data, data + n);
    return true;
  }

 private:
  std::vector<uint8_t>& FBytes;
  const std::atomic<bool>& FStop;
};

// Takes decoded data of a member under test and drops it; refuses more once the test stops.
class TStopSink final : public TSink {
 public:
  explicit TStopSink(const std::atomic<bool>& stop) : FStop(stop) {}
  bool Put(const uint8_t*, size_t) override { return !FStop.load(std::memory_order_relaxed); }

 private:
  const std::atomic<bool>& FStop;
};

class TReader {
 public:
  // Arc is opened without its member list: every command reads the headers once, as it goes.
  TReader(const TCommand& cmd, TArchive& arc, TOutput& out) : FCmd(cmd), FArc(arc), FOut(out), FScan(arc.Source()) {
    FExcludes = cmd.Values("jx");
    FContinue = cmd.Number("jse", 1) != 0;
  }

  int List(bool verbose) {
    FOut.Line(verbose ? "  Original     Packed  Ratio Method CRC  Attr  Mode   Owner       Lv OS Stamp               Name"
                      : "  Original     Packed  Ratio Method Stamp               Name");
    FOut.Line(verbose ? "---------- ---------- ------ ------ ---- ----- ------ ----------- -- -- ------------------- ----"
                      : "---------- ---------- ------ ------ ------------------- ----");
    uint64_t count = 0, original = 0, packed = 0;
    TLhaMember m;
    while (NextWanted(m)) {
      if (!Notify(m, "")) return kErrUserCancel;
      std::string name = Shown(m);
      if (m.IsSymlink()) name += " -> " + m.linkTarget;
      char line[256];
      std::snprintf(line, sizeof line, "%10llu %10llu %s %-6s ", static_cast<unsigned long long>(m.originalSize),
                    static_cast<unsigned long long>(m.packedSize), RatioText(m).c_str(), m.method.c_str());
      std::string text = line;
      if (verbose) {
        char mode[16] = "     -";
        if (m.unixMode) std::snprintf(mode, sizeof mode, "%06o", *m.unixMode);
        char owner[32] = "          -";
        if (m.uid || m.gid)
          std::snprintf(owner, sizeof owner, "%5u/%-5u", m.uid.value_or(0), m.gid.value_or(0));
        char os[4] = "--";
        if (m.osId >= 0x20 && m.osId < 0x7F) std::snprintf(os, sizeof os, "%c ", m.osId);
        std::snprintf(line, sizeof line, "%04x %s %s %s %2u %s ", m.crc, AttributeText(MemberInfoOf(m)).c_str(), mode,
                      owner, m.level, os);
        text += line;
      }
      text += LocalTimeText(m.mtime) + " " + name;
      FOut.PrintableLine(text);
      ++count;
      original += m.originalSize;
      packed += m.packedSize;
    }
    char total[128];
    std::snprintf(total, sizeof total, "%10llu %10llu        %llu member(s)", static_cast<unsigned long long>(original),
                  static_cast<unsigned long long>(packed), static_cast<unsigned long long>(count));
    FOut.Line(verbose ? "---------- ---------- ------ ------ ---- ----- ------ ----------- -- -- ------------------- ----"
                      : "---------- ---------- ------ ------ ------------------- ----");
    FOut.Line(total);
    return Finish(count);
  }

  // Members are decoded on worker threads, each reading the archive through a handle of its
  // own; announcing, the result lines and stopping stay on this thread, in archive order. Only
  // the members handed out and not yet reported are held.
  int Test() {
    const unsigned threads = WorkerThreads();
    std::vector<std::unique_ptr<TFileSource>> sources(threads); // outlives the workers
    std::deque<TLhaMember> members; // announced, not yet finished; a deque keeps them in place
    TBatchPool<TTestResult> pool(threads, kTestAheadPerThread * threads);
    uint64_t count = 0;
    auto announce = [&](size_t, TItemWork<TTestResult>& work) {
      TLhaMember next;
      if (!NextWanted(next)) return EAnnounce::End;
      const TLhaMember& m = members.emplace_back(std::move(next));
      if (!Notify(m, "")) return EAnnounce::Cancel;
      if (!m.IsDirectory() && !m.IsSymlink()) {
        work.run = [&](const std::atomic<bool>& stop, unsigned worker) { return TestMember(m, sources[worker], stop); };
        work.weight = m.packedSize;
      }
      return EAnnounce::Item;
    };
    auto finish = [&](size_t, const TTestResult* r) {
      ++count;
      const TLhaMember m = std::move(members.front());
      members.pop_front();
      if (r == nullptr) return true; // a folder or a link: nothing to decode
      if (r->decode != EDecode::Ok) return Fail(m, {DecodeCode(r->decode), DecodeError(r->decode, m.method)});
      if (m.hasCrc && r->crc != m.crc) return Fail(m, {kErrFileCrc, "CRC error"});
      FOut.PrintableLine("OK     " + m.name);
      return true;
    };
    if (!RunInOrder(pool, EOnCancel::FinishAnnounced, announce, finish)) return kErrUserCancel;
    if (FFirstError == 0 && count > 0) FOut.Line("all members are intact");
    return Finish(count);
  }

  // Members are announced, written and reported on this thread, in archive order; the workers
  // only decode (each through a handle of its own on the archive) the files small enough to be
  // held until their turn.
  int Extract(bool withPaths) {
    TFailure f;
    TDestination dest;
    if (!dest.Open(FCmd.baseDir, f)) {
      FOut.PrintableLine(f.message);
      return f.code;
    }
    std::string prefix = FCmd.baseDir;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    struct TPlanned {
      TLhaMember m;
      std::vector<std::string> comps;
      std::string rel;
      bool sanitised = false;
      bool skip = false; // the destination itself, or a folder when paths are dropped
    };
    const unsigned threads = WorkerThreads();
    std::vector<std::unique_ptr<TFileSource>> sources(threads); // outlives the workers
    std::deque<TPlanned> planned; // announced, not yet finished; a deque keeps them in place
    // Buffers written out go back to the workers: a fresh one per member would be paged in
    // and cleared by the system each time.
    std::mutex spareLock;
    std::vector<std::vector<uint8_t>> spare;
    TBatchPool<TDecoded> pool(threads, kExtractAheadPerThread * threads);
    uint64_t count = 0;
    auto announce = [&](size_t, TItemWork<TDecoded>& work) {
      TLhaMember next;
      if (!NextWanted(next)) return EAnnounce::End;
      ++count;
      TPlanned& p = planned.emplace_back();
      p.m = std::move(next);
      const TLhaMember& m = p.m;
      p.comps = SplitName(m.name);
      p.sanitised = SanitisePath(m, p.comps);
      if (p.comps.empty()) {
        p.skip = m.IsDirectory();  // "./", "/" or "..": the destination itself
        return p.skip || Notify(m, "") ? EAnnounce::Item : EAnnounce::Cancel;
      }
      if (!withPaths) {
        p.skip = m.IsDirectory();
        if (p.skip) return EAnnounce::Item;
        p.comps.erase(p.comps.begin(), p.comps.end() - 1);
      }
      for (const std::string& c : p.comps) p.rel += (p.rel.empty() ? "" : "/") + c;
      if (!Notify(m, prefix + p.rel)) return EAnnounce::Cancel;
      if (m.IsDirectory() || m.IsSymlink() || !IsSupportedMethod(m.method)) return EAnnounce::Item;
      if (m.originalSize > kExtractInMemoryUpTo) {
        // Streamed by the caller in its turn; an empty job of its own still takes room in the
        // pool, so that announcing runs no further ahead of the writing than for the others.
        work.run = [](const std::atomic<bool>&, unsigned) { return TDecoded{}; };
        work.weight = m.originalSize;
        return EAnnounce::Item;
      }
      work.run = [&](const std::atomic<bool>& stop, unsigned worker) {
        TDecoded r;
        {
          const std::lock_guard lock(spareLock);
          if (!spare.empty()) {
            r.bytes = std::move(spare.back());
            spare.pop_back();
          }
        }
        DecodeMember(m, sources[worker], stop, r);
        return r;
      };
      work.weight = m.originalSize;
      return EAnnounce::Item;
    };
    auto finish = [&](size_t, TDecoded* decoded) {
      const TKeepBuffer keep{decoded, spareLock, spare};
      const TPlanned p = std::move(planned.front());
      planned.pop_front();
      const TLhaMember& m = p.m;
      if (p.skip) return true;
      if (p.comps.empty()) return Fail(m, {kErrUnsafeName, "refused: nothing of the name is left below the folder"});
      TFailure failure;
      if (m.IsDirectory()) {
        dest.MakeFolder(p.comps, StampOf(m), failure);
      } else if (!IsSupportedMethod(m.method)) {
        failure = {kErrMethod, "unknown method " + m.method};
      } else if (m.IsSymlink()) {
        dest.WriteLink(p.comps, m.linkTarget, StampOf(m), failure);
      } else {
        WriteMember(m, dest, p.comps, decoded, failure);
      }
      if (failure.code != 0) return Fail(m, failure);
      FOut.PrintableLine("x      " + prefix + p.rel + (p.sanitised ? "  (stored as " + Shown(m) + ")" : ""));
      return true;
    };
    if (!RunInOrder(pool, EOnCancel::FinishAnnounced, announce, finish)) return kErrUserCancel;
    // Folder modes and times last: their contents are in place by now, and a folder without
    // write permission no longer blocks them.
    dest.FinishFolders();
    return Finish(count);
  }

 private:
  // The next member the names select; false after the last one.
  bool NextWanted(TLhaMember& m) {
    while (FScan.Next(m))
      if (Wanted(m)) return true;
    return false;
  }

  bool Wanted(const TLhaMember& m) const {
    if (!Selected(m.name, FCmd.files)) return false;
    for (const std::string& x : FExcludes)
      if (Selected(m.name, {x})) return false;
    return true;
  }

  static bool Notify(const TLhaMember& m, std::string_view dest) {
    const TMemberInfo info = MemberInfoOf(m);
    const std::string attr = AttributeText(info);
    return TNotifier::Instance().Member(ProgressOf(info, dest, attr));
  }

  static std::string Shown(const TLhaMember& m) { return DisplayName(MemberInfoOf(m)); }

  // Reports a failed member; false when the command is to stop here.
  bool Fail(const TLhaMember& m, const TFailure& f) {
    FOut.PrintableLine("error  " + Shown(m) + ": " + f.message);
    if (FFirstError == 0) FFirstError = f.code;
    return FContinue;
  }

  int Finish(uint64_t count) {
    if (FFirstError != 0) return FFirstError;
    if (FScan.Error() != 0) {
      FOut.PrintableLine(ArchiveError(FScan.Error(), FCmd.archive));
      return FScan.Error();
    }
    if (count == 0 && !FCmd.files.empty()) {
      FOut.Line("no member matches the names given");
      return kErrNoMatch;
    }
    return 0;
  }

  // Writes a file member under a temporary name beside its final one; it is renamed into place
  // only when it is complete and its CRC is right.
  // decoded, when not null and held, is the member decoded already.
  void WriteMember(const TLhaMember& m, const TDestination& dest, const std::vector<std::string>& comps,
                   const TDecoded* decoded, TFailure& f) {
    TFailure forkFailure;  // reported, but the file stays
    auto fill = [&](int fd, TFailure& failure) {
      TFdSink fileSink(fd);
      // Mac LHA members may hold both forks in MacBinary form.
      TMacBinarySink macSink(fileSink, m.originalSize);
      TSink& sink = m.osId == 'm' ? static_cast<TSink&>(macSink) : fileSink;
      uint16_t crc = 0;
      EDecode r = EDecode::Ok;
      if (decoded == nullptr || !decoded->held) {
        r = Decode(m.method, FArc.Source(), m.dataOffset, m.packedSize, m.originalSize, sink, crc);
      } else {
        r = decoded->decode;
        crc = decoded->crc;
        if (r == EDecode::Ok && !sink.Put(decoded->bytes.data(), decoded->bytes.size())) r = EDecode::SinkFailed;
      }
      if (r == EDecode::Ok && !macSink.Finish()) r = EDecode::SinkFailed;
      if (r != EDecode::Ok) {
        failure = {DecodeCode(r), DecodeError(r, m.method)};
        return false;
      }
      if (m.hasCrc && crc != m.crc) {
        failure = {kErrFileCrc, "CRC error"};
        return false;
      }
      KeepResourceFork(macSink, fd, forkFailure);
      return true;
    };
    dest.WriteFile(comps, StampOf(m), fill, f);
    if (f.code == 0) f = forkFailure;
  }

  // A MacBinary member's resource fork becomes the named stream com.apple.ResourceFork.
  static void KeepResourceFork(const TMacBinarySink& mac, int fd, TFailure& f) {
    if (!mac.IsMacBinary() || mac.ResourceForkSize() == 0) return;
    if (mac.ResourceForkSize() > TMacBinarySink::kMaxResourceFork) {
      f = {kErrCannotWrite, "resource fork of " + std::to_string(mac.ResourceForkSize()) +
                                " bytes is too large for a named stream; only the data fork was kept"};
    } else if (::fsetxattr(fd, kResourceForkXattr, mac.ResourceFork().data(), mac.ResourceFork().size(), 0) != 0) {
      f = {kErrCannotWrite, std::string("cannot keep the resource fork: ") + std::strerror(errno)};
    }
  }

  const TCommand& FCmd;
  TArchive& FArc;
  TOutput& FOut;
  // Decodes a member through a worker's own handle on the archive (opened on first use; one of
  // another size is not the file listed, and reading fails).
  TTestResult TestMember(const TLhaMember& m, std::unique_ptr<TFileSource>& source, const std::atomic<bool>& stop) const {
    TTestResult r;
    if (!OpenOwn(source)) {
      r.decode = EDecode::ReadFailed;
      return r;
    }
    TStopSink sink(stop);
    r.decode = Decode(m.method, *source, m.dataOffset, m.packedSize, m.originalSize, sink, r.crc);
    return r;
  }

  // Decodes a member into r.bytes (emptied first, its room kept).
  void DecodeMember(const TLhaMember& m, std::unique_ptr<TFileSource>& source, const std::atomic<bool>& stop,
                    TDecoded& r) const {
    r.held = true;
    r.bytes.clear();
    if (!OpenOwn(source)) {
      r.decode = EDecode::ReadFailed;
      return;
    }
    r.bytes.reserve(static_cast<size_t>(m.originalSize));
    TVectorSink sink(r.bytes, stop);
    r.decode = Decode(m.method, *source, m.dataOffset, m.packedSize, m.originalSize, sink, r.crc);
  }

  bool OpenOwn(std::unique_ptr<TFileSource>& source) const {
    if (!source) source = TFileSource::Open(FCmd.archive);
    return source && source->Size() == FArc.Source().Size();
  }

  TMemberScan FScan;
  std::vector<std::string> FExcludes;
  bool FContinue = true;
  int FFirstError = 0;
};

}  // namespace

bool IsReadCommand(std::string_view letter) {
  return letter == "x" || letter == "e" || letter == "l" || letter == "v" || letter == "t";
}

int RunReadCommand(const TCommand& cmd, TOutput& out) {
  TCommandError err;
  if (!CheckSwitches(cmd, kReadSwitches, err)) {
    out.PrintableLine(err.message);
    return err.code;
  }
  std::unique_ptr<TArchive> arc;
  int r = TArchive::Open(cmd.archive, arc, false);
  if (r != 0) {
    out.PrintableLine(ArchiveError(r, cmd.archive));
    return r;
  }
  TReader reader(cmd, *arc, out);
  if (cmd.letter == "l" || cmd.letter == "v") return reader.List(cmd.letter == "v");
  if (cmd.letter == "t") return reader.Test();
  return reader.Extract(cmd.letter == "x" && cmd.Number("x", 1) != 0);
}

int ExtractToMemory(const TCommand& cmd, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr) {
  if (written) *written = 0;
  std::unique_ptr<TArchive> arc;
  int r = TArchive::Open(cmd.archive, arc, false);
  if (r != 0) return r;
  TMemberScan scan(arc->Source());
  TLhaMember member;
  const TLhaMember* found = nullptr;
  while (found == nullptr && scan.Next(member)) {
    if (member.IsDirectory() || member.IsSymlink()) continue;
    if (cmd.files.empty() || Selected(member.name, std::span(&cmd.files.front(), 1))) found = &member;
  }
  if (!found) return scan.Error() != 0 ? scan.Error() : kErrNoMatch;
  const TMemberInfo info = MemberInfoOf(*found);
  const std::string attrText = AttributeText(info);
  if (!TNotifier::Instance().Member(ProgressOf(info, "", attrText))) return kErrUserCancel;
  TBufferSink sink(buffer, size);
  uint16_t crc = 0;
  EDecode d = Decode(found->method, arc->Source(), found->dataOffset, found->packedSize, found->originalSize, sink, crc);
  if (written) *written = static_cast<uint32_t>(sink.Used());
  if (time) {
    time_t t = static_cast<time_t>(found->mtime);
    std::memcpy(time, &t, sizeof t);
  }
  if (attr) {
    uint32_t a = DosAttributes(info);
    std::memcpy(attr, &a, sizeof a);
  }
  if (d != EDecode::Ok) return DecodeCode(d);
  if (found->hasCrc && crc != found->crc) return kErrFileCrc;
  if (sink.Total() > sink.Used()) return kErrBufferSmall;
  return 0;
}

}  // namespace unlha

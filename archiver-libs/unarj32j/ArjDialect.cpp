#include "ArjDialect.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ArjDecoder.h"
#include "ArjFormat.h"
#include "ArjWriter.h"
#include "CommandLine.h"
#include "ErrorCodes.h"
#include "Listing.h"
#include "Names.h"
#include "Notifier.h"
#include "SafeExtract.h"

namespace unarj {
namespace {

struct TArjCommand {
  std::string letter;  // x e l v t a u d f s m; empty in the memory form
  arclib::TCommandLine line;
  int paths = 1;       // -x0: extract without the stored paths
  int continueOnError = 1;  // -jse0: stop at the first failed member
  std::vector<std::string> excludes;  // "-jx<pattern>"
  bool compress = true;               // -z1 (LHA's store switch): every member stored
  std::vector<arclib::TNameArg> names;  // the line's names, escaped ones decoded and exact
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const arclib::TNameArg& n : names) texts.push_back(n.text);
    return texts;
  }
};

// The switch's value after its name when the name matches exactly (digits follow).
bool SwitchValue(const std::string& sw, std::string_view name, std::string& value) {
  if (sw.size() < name.size() + 1 || sw.compare(1, name.size(), name) != 0) return false;
  value = sw.substr(name.size() + 1);
  return true;
}

bool IsNumber(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

bool Parse(const char* cmdLine, bool memoryForm, TArjCommand& cmd, arclib::TCommandError& err) {
  if (cmdLine == nullptr) {
    err = {arclib::kErrCommandLine, "no command line"};
    return false;
  }
  std::string_view rest(cmdLine);
  if (!memoryForm) {
    cmd.letter = std::string(arclib::TakeCommandWord(rest));
    if (cmd.letter.size() != 1 || std::string_view("xeltvaudfsm").find(cmd.letter[0]) == std::string_view::npos) {
      err = {arclib::kErrCommandName, "unknown command: " + cmd.letter};
      return false;
    }
  }
  if (!arclib::ParseCommandLine(rest, cmd.line, err)) return false;
  for (const std::string& text : cmd.line.names)
    if (!arclib::DecodeNameArgument(text, cmd.names.emplace_back(), err)) return false;
  for (const std::string& sw : cmd.line.switches) {
    std::string v;
    if (sw == "-+") continue;
    if (SwitchValue(sw, "jx", v) && !v.empty()) {
      cmd.excludes.push_back(v);
    } else if (SwitchValue(sw, "jse", v) && IsNumber(v)) {
      cmd.continueOnError = std::stoi(v.substr(0, 4));
    } else if (SwitchValue(sw, "x", v) && IsNumber(v)) {
      cmd.paths = std::stoi(v.substr(0, 4));
    } else if (SwitchValue(sw, "z", v) && IsNumber(v)) {
      cmd.compress = std::stoi(v.substr(0, 4)) == 0;
    } else if (sw.size() >= 2 && sw[0] == '-') {
      // The LHA driver's other switches shape LHA packing and have no ARJ meaning; they are
      // accepted so that its command lines work unchanged. Anything else is refused.
      static const std::vector<std::string_view> kAccepted = {
          "a", "c", "e", "f", "h", "i", "l", "m", "n", "o", "p", "r", "s", "t", "u", "w", "y",
          "jc", "jd", "je", "jf", "jh", "ji", "jm", "jn", "jo", "job", "jp", "jr", "jsb", "jsc", "jsd",
          "jsf", "jsl", "jso", "jss", "jst", "jsv", "jsz", "jw", "jyc", "jyd", "jyk", "jyn", "jyo", "jz",
          "ga", "gd", "ge", "gf", "gj", "gm", "gn", "go", "gp", "gr", "gs", "gu", "gw", "gya", "gyc",
          "gyd", "gye", "gyo", "gyq", "gys", "gyt", "gyw", "gyx"};
      bool known = false;
      for (std::string_view name : kAccepted) {
        // Number switches carry digits, text switches any value: the longest name matching
        // wins, so "-jso0" is jso, not js + "o0".
        if (SwitchValue(sw, name, v) && (IsNumber(v) || v.empty() || name.size() > 1 || name == "w")) known = true;
      }
      if (!known) {
        err = {arclib::kErrSwitch, "unknown switch: " + sw};
        return false;
      }
    }
  }
  return true;
}

// What cannot be read from this one file, said before anything is written.
int OpenArchive(const std::string& path, std::unique_ptr<TFileSource>& src, TArjArchive& arc, arclib::TOutput& out) {
  src = TFileSource::Open(path);
  if (!src) {
    out.Line("cannot open archive " + path + ": " + std::strerror(errno));
    return arclib::kErrArcFileOpen;
  }
  std::string why;
  if (const int r = ReadArchive(*src, arc, why); r != 0) {
    out.Line(why + ": " + path);
    return r;
  }
  if ((arc.flags & kFlagVolume) != 0) {
    out.Line("multi-volume ARJ set: not supported (" + path + " is one volume of several)");
    return arclib::kErrNotSupport;
  }
  return 0;
}

class TFdSink final : public lzcodec::TSink {
 public:
  explicit TFdSink(int fd) : FFd(fd) {}
  bool Put(const uint8_t* data, size_t n) override { return arclib::WriteAll(FFd, data, n); }

 private:
  int FFd;
};

class TNullSink final : public lzcodec::TSink {
 public:
  bool Put(const uint8_t*, size_t) override { return true; }
};

class TBufferSink final : public lzcodec::TSink {
 public:
  TBufferSink(uint8_t* buffer, uint32_t size) : FBuffer(buffer), FSize(size) {}
  bool Put(const uint8_t* data, size_t n) override {
    if (n > FSize - FUsed) return false;
    if (n != 0) std::memcpy(FBuffer + FUsed, data, n);
    FUsed += static_cast<uint32_t>(n);
    return true;
  }
  uint32_t Used() const { return FUsed; }

 private:
  uint8_t* FBuffer;
  uint32_t FSize;
  uint32_t FUsed = 0;
};

// Why a member's data cannot be given out ("" when it can), with the code.
std::string Unreadable(const TArjMember& m, int& code) {
  if ((m.flags & kFlagGarbled) != 0) {
    code = arclib::kErrEncrypted;
    return "encrypted (garbled) member: not extracted (no password support)";
  }
  if ((m.flags & (kFlagVolume | kFlagExtFile)) != 0) {
    code = arclib::kErrNotSupport;
    return "member split across volumes: not supported";
  }
  if (m.method > kMethodFastest) {
    code = arclib::kErrMethod;
    return "unknown method " + std::to_string(m.method);
  }
  return {};
}

// Decodes a member into sink; 0 when its data and CRC are sound.
int Decode(const lzcodec::TByteSource& src, const TArjMember& m, lzcodec::TSink& sink, std::string& why) {
  int code = 0;
  why = Unreadable(m, code);
  if (code != 0) return code;
  uint32_t crc = 0;
  switch (DecodeMember(src, m, sink, crc)) {
    case EDecode::Ok: break;
    case EDecode::UnknownMethod: why = "unknown method"; return arclib::kErrMethod;
    case EDecode::Broken: why = "compressed data is broken"; return arclib::kErrBrokenData;
    case EDecode::ReadFailed: why = "cannot read archive"; return arclib::kErrCannotRead;
    case EDecode::SinkFailed: why = "cannot write"; return arclib::kErrCannotWrite;
  }
  if (crc != m.crc) {
    why = "CRC error";
    return arclib::kErrFileCrc;
  }
  return 0;
}

class TExtractor {
 public:
  TExtractor(const TArjCommand& cmd, const lzcodec::TByteSource& src, const TArjArchive& arc, arclib::TOutput& out)
      : FCmd(cmd), FSrc(src), FArc(arc), FOut(out) {}

  int Run(bool write) {
    arclib::TFailure f;
    if (write && !FDest.Open(FCmd.line.baseDir, f)) {
      FOut.Line(f.message);
      return f.code;
    }
    std::string prefix = FCmd.line.baseDir;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    const bool withPaths = FCmd.letter == "x" && FCmd.paths != 0;
    size_t count = 0;
    for (const TArjMember& raw : FArc.members) {
      if (raw.fileType == kTypeVolumeLabel) continue;
      const arclib::TMemberInfo m = Describe(raw);
      if (!Wanted(m)) continue;
      ++count;
      const std::string attr = arclib::AttributeText(m);
      std::vector<std::string> comps = arclib::SplitName(m.name);
      std::string rel;
      if (write) {
        if (const std::string reason = arclib::UnsafeNameReason(m.name); !reason.empty() || comps.empty()) {
          if (!arclib::TNotifier::Instance().Member(arclib::ProgressOf(m, "", attr))) return Cancelled();
          if (!Fail(m, {arclib::kErrUnsafeName, reason.empty() ? "empty name" : reason})) break;
          continue;
        }
        if (!withPaths) {
          if (m.IsDirectory()) continue;
          comps.erase(comps.begin(), comps.end() - 1);
        }
        for (const std::string& c : comps) rel += (rel.empty() ? "" : "/") + c;
      }
      if (!arclib::TNotifier::Instance().Member(arclib::ProgressOf(m, write ? prefix + rel : "", attr)))
        return Cancelled();
      f = {};
      std::string why;
      if (!write) {
        TNullSink none;
        if (!m.IsDirectory()) f.code = Decode(FSrc, raw, none, why);
        f.message = why;
      } else if (m.IsDirectory()) {
        FDest.MakeFolder(comps, Stamp(m), f);
      } else {
        FDest.WriteFile(comps, Stamp(m), [&](int fd, arclib::TFailure& failure) {
          TFdSink sink(fd);
          failure.code = Decode(FSrc, raw, sink, failure.message);
          return failure.code == 0;
        }, f);
      }
      if (f.code != 0) {
        if (!Fail(m, f)) break;
      } else {
        FOut.Line(write ? "x      " + prefix + rel : "ok     " + m.name);
      }
    }
    if (write) FDest.FinishFolders();
    if (FFirstError != 0) return FFirstError;
    if (count == 0 && !FCmd.names.empty()) {
      FOut.Line("no member matches the names given");
      return arclib::kErrNoMatch;
    }
    return 0;
  }

 private:
  bool Wanted(const arclib::TMemberInfo& m) const {
    if (!arclib::Selected(m.name, FCmd.names)) return false;
    for (const std::string& x : FCmd.excludes)
      if (arclib::Selected(m.name, {x})) return false;
    return true;
  }

  static arclib::TStamp Stamp(const arclib::TMemberInfo& m) {
    arclib::TStamp s;
    s.mtime = m.mtime;
    s.mode = m.unixMode;
    return s;
  }

  bool Fail(const arclib::TMemberInfo& m, const arclib::TFailure& f) {
    FOut.Line("error  " + arclib::DisplayName(m) + ": " + f.message);
    if (FFirstError == 0) FFirstError = f.code;
    return FCmd.continueOnError != 0;
  }

  int Cancelled() {
    FOut.Line("cancelled");
    if (FDest.Exists({})) FDest.FinishFolders();
    return arclib::kErrUserCancel;
  }

  const TArjCommand& FCmd;
  const lzcodec::TByteSource& FSrc;
  const TArjArchive& FArc;
  arclib::TOutput& FOut;
  arclib::TDestination FDest;
  int FFirstError = 0;
};

}  // namespace

int RunUnarj(const char* cmdLine, arclib::TOutput& out) {
  TArjCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, false, cmd, err)) {
    out.Line(err.message);
    return err.code;
  }
  const char c = cmd.letter[0];
  if (c == 'a' || c == 'u') {
    return PackFiles({cmd.line.archive, cmd.line.baseDir, cmd.Texts(), cmd.compress, false}, out);
  }
  if (c == 'd') {
    if (cmd.names.empty()) {
      out.Line("name the members to delete");
      return arclib::kErrNoMatch;
    }
    return PackFiles({cmd.line.archive, "", cmd.Texts(), true, true}, out);
  }
  if (c == 'f' || c == 's' || c == 'm') {
    out.Line("not supported for ARJ archives: command " + cmd.letter);
    return arclib::kErrNotSupport;
  }
  std::unique_ptr<TFileSource> src;
  TArjArchive arc;
  if (const int r = OpenArchive(cmd.line.archive, src, arc, out); r != 0) return r;
  if (c == 'l' || c == 'v') {
    std::vector<arclib::TMemberInfo> members;
    for (const TArjMember& m : arc.members)
      if (m.fileType != kTypeVolumeLabel) members.push_back(Describe(m));
    return arclib::WriteListing(members, cmd.Texts(), out);
  }
  TExtractor ex(cmd, *src, arc, out);
  return ex.Run(c != 't');
}

int RunUnarjToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr) {
  if (written != nullptr) *written = 0;
  TArjCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, true, cmd, err)) return err.code;
  arclib::TOutput none(nullptr, 0);
  std::unique_ptr<TFileSource> src;
  TArjArchive arc;
  if (const int r = OpenArchive(cmd.line.archive, src, arc, none); r != 0) return r;
  const arclib::TNameArg name = cmd.names.empty() ? arclib::TNameArg() : cmd.names.front();
  for (const TArjMember& raw : arc.members) {
    const arclib::TMemberInfo m = Describe(raw);
    if (m.IsDirectory() || raw.fileType == kTypeVolumeLabel) continue;
    if (!name.text.empty() && !arclib::Selected(m.name, std::span(&name, 1))) continue;
    if (m.originalSize > size) return arclib::kErrBufferSmall;
    TBufferSink sink(buffer, size);
    std::string why;
    if (const int r = Decode(*src, raw, sink, why); r != 0) return r;
    if (written != nullptr) *written = sink.Used();
    if (time != nullptr) {
      const time_t t = static_cast<time_t>(m.mtime);
      std::memcpy(time, &t, sizeof t);
    }
    if (attr != nullptr) {
      const uint32_t a = arclib::DosAttributes(m);
      std::memcpy(attr, &a, sizeof a);
    }
    return 0;
  }
  return arclib::kErrNoMatch;
}

}  // namespace unarj

#include "PackCommands.h"

#include "Archive.h"
#include "ArchiveWriter.h"
#include "ErrorCodes.h"
#include "Names.h"
#include "Notifier.h"
#include "WorkerPool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <deque>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace unlha {
namespace {

// Jobs (a heavy member, or a batch of light ones) handed to the workers ahead of the writing,
// per worker: enough that workers rarely wait while a long member at the head is written;
// bounded so that open files stay few.
constexpr size_t kAheadPerThread = 16;
constexpr size_t kMaxAhead = 128;
// Packed data held in memory by all members waiting for their turn; beyond each one's share it
// goes to an anonymous file.
constexpr size_t kSpoolMemory = 64 << 20;
constexpr size_t kMinSpoolMemory = 256 << 10;

// Every switch the program's LHA driver emits for packing, and the method choice.
const std::vector<std::string_view> kWriteSwitches = {"a", "c", "n", "p", "r", "x", "jso", "o"};

struct TInput {
  std::string stored; // member name
  std::string path;   // on disk
  bool implicit = false; // a folder above a named file, stored for its own mode and time
};

// One member of the new archive: a file packed, an old member copied, or a file packed in place
// of an old member, which is kept when the file cannot be stored. Only the members on their way
// through the workers are held as steps.
struct TPackStep {
  std::optional<TInput> input;
  const TLhaMember* old = nullptr;
  bool ownFile = false; // the input is the archive being written: skipped
  std::shared_ptr<const arclib::TFd> folder; // the input's folder, held open, or none
  std::string name;                          // the input's name in that folder
};

// The folder of the inputs that come one after another, held open for them: a file is then
// reached by its name in the folder instead of by its whole path, walked again for each call.
class TFolderCache {
public:
  // Step's folder and name for its input; without a folder when it cannot be opened.
  void Place(TPackStep& step) {
    const std::string& path = step.input->path;
    const size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string::npos ? "." : slash == 0 ? "/" : std::string_view(path).substr(0, slash);
    if (folder != FPath || !FFolder) {
      FPath = folder;
      arclib::TFd fd(open(FPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      FFolder = fd.Get() >= 0 ? std::make_shared<const arclib::TFd>(std::move(fd)) : nullptr;
    }
    step.folder = FFolder;
    step.name = slash == std::string::npos ? path : path.substr(slash + 1);
  }

private:
  std::string FPath;
  std::shared_ptr<const arclib::TFd> FFolder;
};

struct TSettings {
  TLhMethod method = TLhMethod::lh5;
  bool keepFolders = true;     // -x1 (default): names keep their folders; -x0: base names only
  bool recurse = false;        // -r2: a named folder brings everything below it
  bool compareTimes = true;    // -c1 turns it off: u and f replace without comparing times
};

// "a/./b//c" → "a/b/c"; false for names that climb out of the base folder.
bool NormalizeName(std::string_view name, std::string& out) {
  out.clear();
  size_t i = 0;
  while (i <= name.size()) {
    size_t j = name.find('/', i);
    if (j == std::string_view::npos) j = name.size();
    const std::string_view comp = name.substr(i, j - i);
    if (comp == "..") return false;
    if (!comp.empty() && comp != ".") {
      if (!out.empty()) out += '/';
      out += comp;
    }
    i = j + 1;
  }
  return !out.empty();
}

std::string BaseName(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A folder's entries, sorted bytewise; "." and ".." left out. error is 0, or why the folder
// could not be read (whole).
std::vector<std::string> FolderEntries(const std::string& path, int& error) {
  std::vector<std::string> names;
  error = 0;
  DIR* d = opendir(path.c_str());
  if (d == nullptr) {
    error = errno;
    return names;
  }
  errno = 0;
  while (const dirent* e = readdir(d)) {
    const std::string_view n = e->d_name;
    if (n != "." && n != "..") names.emplace_back(n);
    errno = 0;
  }
  error = errno;
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// What is packed, in order, each stored name once. A pack of a million files holds a million
// inputs, so they are kept compact: the names' bytes in one block, a path as one of a few
// folder prefixes followed by the stored name (or, when it is not that, by bytes of its own),
// and the names found again through an open-addressing table.
class TInputList {
public:
  TInputList(TOutput& out, int& rc) : FOut(out), FRc(rc) {}

  // The folders above a stored name first (each once), so that they keep their mode and time.
  void AddParents(std::string_view stored, std::string_view path) {
    size_t slash = stored.find('/');
    while (slash != std::string_view::npos) {
      Add(stored.substr(0, slash), path.substr(0, path.size() - (stored.size() - slash)), true);
      slash = stored.find('/', slash + 1);
    }
  }

  void Add(std::string_view stored, std::string_view path, bool implicit = false) {
    if (2 * (FEntries.size() + 1) > FSlots.size()) Grow();
    const size_t slot = SlotOf(stored);
    if (FSlots[slot] == 0) {
      FEntries.push_back(Store(stored, path, implicit));
      FSlots[slot] = static_cast<uint32_t>(FEntries.size());
      return;
    }
    TEntry& first = FEntries[FSlots[slot] - 1];
    const std::string firstPath = PathOf(first);
    if (path == firstPath || implicit) return;
    if (first.implicit) { // a folder named on its own after a file below it: one member
      first = Store(stored, path, false);
      return;
    }
    FOut.Line(std::string(stored) + ": skipped " + std::string(path) + ": " + firstPath + " is stored under the same name");
    FRc = kErrCannotRead;
  }

  // A folder comes first, then everything below it, before anything outside it: the order in
  // which the Unix extractors restore folder times correctly. A folder that cannot be read is
  // stored, and its loss of contents reported.
  void AddTree(const std::string& stored, const std::string& path) {
    Add(stored, path);
    int error = 0;
    for (const auto& n : FolderEntries(path, error)) {
      const std::string childStored = stored + "/" + n;
      const std::string childPath = path + "/" + n;
      struct stat st{};
      if (lstat(childPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        AddTree(childStored, childPath);
      else
        Add(childStored, childPath);
    }
    if (error != 0) {
      FOut.Line(stored + ": skipped: cannot read the folder: " + std::strerror(error));
      FRc = kErrCannotRead;
    }
  }

  size_t Size() const { return FEntries.size(); }
  TInput At(size_t i) const { return {std::string(StoredOf(FEntries[i])), PathOf(FEntries[i]), FEntries[i].implicit}; }
  // The input stored under name, or none.
  std::optional<size_t> Find(std::string_view name) const {
    if (FSlots.empty()) return std::nullopt;
    const uint32_t at = FSlots[SlotOf(name)];
    return at == 0 ? std::nullopt : std::optional<size_t>(at - 1);
  }

private:
  static constexpr uint32_t kOwnPath = UINT32_MAX; // the path's bytes follow the stored name's
  static constexpr size_t kMaxPrefixes = 64;

  struct TEntry {
    uint64_t at = 0;        // of the stored name in FBytes
    uint32_t length = 0;    // of the stored name
    uint32_t prefix = 0;    // index into FPrefixes, or kOwnPath
    uint32_t pathLength = 0; // with kOwnPath
    bool implicit = false;
  };

  TEntry Store(std::string_view stored, std::string_view path, bool implicit) {
    TEntry e{FBytes.size(), static_cast<uint32_t>(stored.size()), kOwnPath, 0, implicit};
    FBytes += stored;
    if (path.ends_with(stored)) {
      const std::string_view prefix = path.substr(0, path.size() - stored.size());
      const auto known = std::find(FPrefixes.begin(), FPrefixes.end(), prefix);
      if (known != FPrefixes.end()) {
        e.prefix = static_cast<uint32_t>(known - FPrefixes.begin());
      } else if (FPrefixes.size() < kMaxPrefixes) {
        e.prefix = static_cast<uint32_t>(FPrefixes.size());
        FPrefixes.emplace_back(prefix);
      }
    }
    if (e.prefix == kOwnPath) {
      e.pathLength = static_cast<uint32_t>(path.size());
      FBytes += path;
    }
    return e;
  }

  std::string_view StoredOf(const TEntry& e) const { return std::string_view(FBytes).substr(e.at, e.length); }
  std::string PathOf(const TEntry& e) const {
    if (e.prefix == kOwnPath) return std::string(std::string_view(FBytes).substr(e.at + e.length, e.pathLength));
    return FPrefixes[e.prefix] + std::string(StoredOf(e));
  }

  size_t SlotOf(std::string_view name) const {
    const size_t mask = FSlots.size() - 1;
    for (size_t slot = std::hash<std::string_view>{}(name) & mask;; slot = (slot + 1) & mask) {
      const uint32_t at = FSlots[slot];
      if (at == 0 || StoredOf(FEntries[at - 1]) == name) return slot;
    }
  }

  void Grow() { // at most half full, so a search meets a free slot soon
    FSlots.assign(std::max<size_t>(64, FSlots.size() * 2), 0);
    const size_t mask = FSlots.size() - 1;
    for (size_t i = 0; i < FEntries.size(); ++i) {
      size_t slot = std::hash<std::string_view>{}(StoredOf(FEntries[i])) & mask;
      while (FSlots[slot] != 0) slot = (slot + 1) & mask;
      FSlots[slot] = static_cast<uint32_t>(i + 1);
    }
  }

  TOutput& FOut;
  int& FRc;
  std::string FBytes;
  std::vector<std::string> FPrefixes;
  std::vector<TEntry> FEntries;
  std::vector<uint32_t> FSlots; // index + 1 into FEntries, 0 = free
};

bool ParseSettings(const TCommand& cmd, TSettings& s, TOutput& out) {
  const int o = cmd.Number("o", 5);
  if (cmd.Find("o") != nullptr && o != 5 && o != 6 && o != 7) {
    out.Line("-o" + cmd.Find("o")->value + ": the methods are -o5 (-lh5-), -o6 (-lh6-) and -o7 (-lh7-)");
    return false;
  }
  s.method = o == 7 ? TLhMethod::lh7 : o == 6 ? TLhMethod::lh6 : TLhMethod::lh5;
  s.keepFolders = cmd.Number("x", 1) != 0;
  s.recurse = cmd.Number("r", 0) >= 2;
  s.compareTimes = cmd.Number("c", 0) != 1;
  return true;
}

std::string Percent(uint64_t packed, uint64_t original) {
  if (original == 0) return "";
  return " " + std::to_string(packed * 100 / original) + "%";
}

// Reports one member to the owner window and the enumeration callback; false to cancel.
bool Notify(const std::string& stored, const std::string& path, uint64_t size, int64_t mtime) {
  TMemberProgress p;
  p.source = stored;
  p.dest = path;
  p.originalSize = size;
  p.osType = 'U';
  const uint32_t stamp = UnixToDosStamp(mtime);
  p.dosDate = static_cast<uint16_t>(stamp >> 16);
  p.dosTime = static_cast<uint16_t>(stamp & 0xFFFFu);
  return TNotifier::Instance().Member(p);
}

// Opens the archive to update: none when the target does not exist or is empty. A file is an
// archive to update only when its first header is at its start, or after a self-extractor's own
// program (stubStart tells how many bytes to keep); any other file, even one that merely holds
// an archive (a tar with an .lzh in it), is refused and left as it is.
int OpenExisting(const std::string& archive, std::unique_ptr<TArchive>& old, uint64_t& stubSize, TOutput& out) {
  stubSize = 0;
  struct stat ast{};
  if (stat(archive.c_str(), &ast) != 0 || ast.st_size == 0) return 0;
  const int orc = TArchive::Open(archive, old);
  if (orc != 0 || old->ScanError() != 0) {
    out.Line(archive + ": not a readable LHA archive; it is left as it is");
    return orc != 0 ? orc : old->ScanError();
  }
  const uint64_t first = old->Members().empty() ? 0 : old->Members().front().headerOffset;
  if (first != 0) {
    char magic[4] = {};
    const bool program = old->Source().ReadAt(0, magic, sizeof magic) == sizeof magic &&
                         (std::string_view(magic, 2) == "MZ" || std::string_view(magic, 4) == "\x7F" "ELF");
    if (!program) {
      out.Line(archive + ": not an LHA archive (an archive found inside it at offset " + std::to_string(first) +
               " is not this file's own); it is left as it is");
      old.reset();
      return kErrNotArcFile;
    }
    stubSize = first;
  }
  return 0;
}

int Pack(const TCommand& cmd, TOutput& out) {
  TSettings s;
  if (!ParseSettings(cmd, s, out)) return kErrSwitch;

  // What to pack, in command-line order; the first of several inputs with one name wins.
  int rc = 0;
  TInputList list(out, rc);
  for (const auto& f : cmd.files) {
    std::string name;
    if (!NormalizeName(f.text, name)) {
      out.Line(f.text + ": refused: the name leaves the base folder");
      rc = kErrUnsafeName;
      continue;
    }
    const std::string path = f.text.front() == '/' ? "/" + name : cmd.baseDir + name;
    const std::string stored = s.keepFolders ? name : BaseName(name);
    if (s.keepFolders) list.AddParents(stored, path);
    struct stat st{};
    if (s.recurse && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      list.AddTree(stored, path);
    else
      list.Add(stored, path);
  }
  if (list.Size() == 0) {
    out.Line("no files to pack");
    return rc != 0 ? rc : kErrNoMatch;
  }

  try {
    const TArchiveLock lock(cmd.archive);
    std::unique_ptr<TArchive> old;
    uint64_t stubSize = 0;
    if (const int orc = OpenExisting(cmd.archive, old, stubSize, out); orc != 0) return orc;
    TArchiveWriter w(cmd.archive);
    if (stubSize != 0) w.CopyFrom(old->Source(), 0, stubSize);

    // The new archive in order: old members (each copied, or replaced by its file when that is
    // newer), then the files that are not members yet.
    constexpr size_t kNoInput = SIZE_MAX;
    std::vector<std::pair<const TLhaMember*, size_t>> oldSteps; // with the input replacing it
    std::vector<bool> done(list.Size(), false);
    if (old) {
      for (const auto& m : old->Members()) {
        auto& [member, input] = oldSteps.emplace_back(&m, kNoInput);
        const std::optional<size_t> i = list.Find(m.name);
        if (!i || done[*i]) continue;
        done[*i] = true;
        struct stat st{};
        const bool exists = lstat(list.At(*i).path.c_str(), &st) == 0;
        // A file that is gone is tried too, so that its loss is reported.
        if (cmd.letter == "a" || !s.compareTimes || !exists || st.st_mtime > m.mtime) input = *i;
      }
    }
    size_t nextOld = 0, nextInput = 0;
    auto nextStep = [&](TPackStep& step) {
      if (nextOld < oldSteps.size()) {
        const auto& [member, input] = oldSteps[nextOld++];
        step.old = member;
        if (input != kNoInput) step.input = list.At(input);
        return true;
      }
      if (cmd.letter == "f") return false;
      while (nextInput < list.Size() && done[nextInput]) ++nextInput;
      if (nextInput == list.Size()) return false;
      step.input = list.At(nextInput++);
      return true;
    };
    std::deque<TPackStep> steps; // announced and not yet written; outlives the pool's jobs
    TFolderCache folders;

    // Files are announced and handed to the workers ahead of the writing, in order, as far as
    // the pool has room; the writing takes them back in the same order. The packed data of
    // members waiting for their turn shares a memory budget; beyond it, it is spooled.
    const unsigned threads = WorkerThreads();
    const size_t capacity = std::min(kMaxAhead, kAheadPerThread * threads);
    const TSpoolPlace spool{w.Folder(), std::max(kMinSpoolMemory, kSpoolMemory / capacity)};
    TBatchPool<TPackedMember> pool(threads, capacity);
    bool changed = false;
    std::set<std::string> replaced; // a replaced name drops its later duplicates too
    auto announce = [&](size_t, TItemWork<TPackedMember>& work) {
      TPackStep& step = steps.emplace_back();
      if (!nextStep(step)) {
        steps.pop_back();
        return EAnnounce::End;
      }
      if (!step.input) return EAnnounce::Item;
      const TInput& in = *step.input;
      folders.Place(step);
      const TObjectPlace place{in.path, step.folder ? step.folder->Get() : -1, step.name.c_str()};
      struct stat st{};
      const bool exists = place.folder >= 0 ? fstatat(place.folder, place.name, &st, AT_SYMLINK_NOFOLLOW) == 0
                                            : lstat(in.path.c_str(), &st) == 0;
      if (exists && w.IsOwnFile(st.st_dev, st.st_ino)) {
        step.ownFile = true;
        return EAnnounce::Item;
      }
      const uint64_t size = exists && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
      if (!Notify(in.stored, in.path, size, exists ? st.st_mtime : 0)) return EAnnounce::Cancel;
      // What the lstat above found is what the worker packs (a file gone by now is reported
      // as gone when it is opened).
      work.run = [&in, place, &spool, method = s.method, st, exists](const std::atomic<bool>& stop, unsigned) {
        return PackMember(in.stored, place, method, spool, &stop, exists ? &st : nullptr);
      };
      work.weight = size;
      return EAnnounce::Item;
    };
    auto finish = [&](size_t, TPackedMember* packed) {
      const TPackStep step = std::move(steps.front()); // its job, if any, is done
      steps.pop_front();
      if (step.ownFile) {
        out.Line(step.input->stored + ": skipped: it is the archive being written");
      } else if (packed != nullptr) {
        const TInput& in = *step.input;
        const TAddResult r = w.Emit(*packed);
        if (r.stored) {
          changed = true;
          const auto& m = r.member;
          out.Line(in.stored + " - " + (m.IsDirectory() || m.IsSymlink() ? m.method : m.method + Percent(m.packedSize, m.originalSize)) +
                   (r.note.empty() ? "" : " (" + r.note + ")"));
          if (step.old != nullptr) replaced.insert(step.old->name);
          return true;
        }
        if (!in.implicit) { // an implicit folder's contents report the trouble
          out.Line(in.stored + ": skipped: " + r.reason);
          rc = kErrCannotRead;
        }
        // Not readable now: a member it was to replace stays as it was.
      }
      if (step.old != nullptr && replaced.count(step.old->name) == 0) {
        const TLhaMember& m = *step.old;
        w.CopyFrom(old->Source(), m.headerOffset, m.dataOffset + m.packedSize - m.headerOffset);
      }
      return true;
    };
    if (!RunInOrder(pool, EOnCancel::Drop, announce, finish)) {
      out.Line("cancelled; the archive is left as it was");
      return kErrUserCancel;
    }
    if (changed) w.Commit();
    if (!changed && !old && rc == kErrCannotRead) {
      out.Line("nothing could be packed; no archive written");
      return kErrNoMatch;
    }
  } catch (const EWriteFailed& e) {
    out.Line(std::string(e.what()) + "; the archive is left as it was");
    return kErrCannotWrite;
  }
  return rc;
}

int Delete(const TCommand& cmd, TOutput& out) {
  if (cmd.files.empty()) {
    out.Line("no member names to delete");
    return kErrNoMatch;
  }
  auto named = [&](const std::string& member) {
    return std::any_of(cmd.files.begin(), cmd.files.end(), [&](const TNameArg& f) {
      std::string n;
      if (!NormalizeName(f.text, n)) return false;
      return !f.exact && n.find_first_of("*?") != std::string::npos ? WildMatch(n, member) : n == member;
    });
  };
  try {
    const TArchiveLock lock(cmd.archive);
    std::unique_ptr<TArchive> old;
    uint64_t stubSize = 0;
    if (const int orc = OpenExisting(cmd.archive, old, stubSize, out); orc != 0) return orc;
    if (!old) {
      out.Line(cmd.archive + ": cannot be opened as an LHA archive");
      return kErrArcFileOpen;
    }
    TArchiveWriter w(cmd.archive);
    if (stubSize != 0) w.CopyFrom(old->Source(), 0, stubSize);
    int removed = 0, kept = 0;
    for (const auto& m : old->Members()) {
      if (named(m.name)) {
        if (!Notify(m.name, "", m.originalSize, m.mtime)) {
          out.Line("cancelled; the archive is left as it was");
          return kErrUserCancel;
        }
        out.Line(m.name + " - deleted");
        ++removed;
        continue;
      }
      w.CopyFrom(old->Source(), m.headerOffset, m.dataOffset + m.packedSize - m.headerOffset);
      ++kept;
    }
    if (removed == 0) {
      out.Line("no member matches the names given");
      return kErrNoMatch;
    }
    if (kept == 0) {
      // An archive without members is no archive to the LHA tools: it goes.
      if (unlink(cmd.archive.c_str()) != 0) {
        out.Line(cmd.archive + ": cannot be removed: " + std::strerror(errno));
        return kErrCannotWrite;
      }
      out.Line(cmd.archive + ": removed, no members left");
      return 0;
    }
    w.Commit();
  } catch (const EWriteFailed& e) {
    out.Line(std::string(e.what()) + "; the archive is left as it was");
    return kErrCannotWrite;
  }
  return 0;
}

} // namespace

bool IsWriteCommand(std::string_view letter) {
  return letter == "u" || letter == "a" || letter == "f" || letter == "d" || letter == "s" || letter == "m";
}

int RunWriteCommand(const TCommand& cmd, TOutput& out) {
  if (cmd.letter == "s" || cmd.letter == "m") {
    out.Line("command '" + cmd.letter + "' is not supported: this library makes no self-extractors and never moves files");
    return kErrNotSupport;
  }
  if (cmd.archive.empty()) {
    out.Line("no archive named");
    return kErrNoArchiveName;
  }
  TCommandError err;
  if (!CheckSwitches(cmd, kWriteSwitches, err)) {
    out.Line(err.message);
    return err.code;
  }
  return cmd.letter == "d" ? Delete(cmd, out) : Pack(cmd, out);
}

} // namespace unlha

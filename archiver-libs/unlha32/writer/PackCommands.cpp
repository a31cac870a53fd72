#include "PackCommands.h"

#include "Archive.h"
#include "ArchiveWriter.h"
#include "ErrorCodes.h"
#include "Names.h"
#include "Notifier.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace unlha {
namespace {

// Every switch the program's LHA driver emits for packing, and the method choice.
const std::vector<std::string_view> kWriteSwitches = {"a", "c", "n", "p", "r", "x", "jso", "o"};

struct TInput {
  std::string stored; // member name
  std::string path;   // on disk
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

// A folder's entries, sorted bytewise; "." and ".." left out.
std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string_view n = e->d_name;
      if (n != "." && n != "..") names.emplace_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A folder comes first, then everything below it, before anything outside it: the order in
// which the Unix extractors restore folder times correctly.
void AddTree(const std::string& stored, const std::string& path, std::vector<TInput>& inputs) {
  inputs.push_back({stored, path});
  for (const auto& n : FolderEntries(path)) {
    const std::string childStored = stored + "/" + n;
    const std::string childPath = path + "/" + n;
    struct stat st{};
    if (lstat(childPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      AddTree(childStored, childPath, inputs);
    else
      inputs.push_back({childStored, childPath});
  }
}

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

int Pack(const TCommand& cmd, TOutput& out) {
  TSettings s;
  if (!ParseSettings(cmd, s, out)) return kErrSwitch;

  // What to pack, in command-line order; the first of several inputs with one name wins.
  std::vector<TInput> inputs;
  int rc = 0;
  for (const auto& f : cmd.files) {
    std::string name;
    if (!NormalizeName(f, name)) {
      out.Line(f + ": refused: the name leaves the base folder");
      rc = kErrUnsafeName;
      continue;
    }
    const std::string path = f.front() == '/' ? f : cmd.baseDir + name;
    const std::string stored = s.keepFolders ? name : BaseName(name);
    struct stat st{};
    if (s.recurse && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      AddTree(stored, path, inputs);
    else
      inputs.push_back({stored, path});
  }
  std::map<std::string, size_t> byName;
  {
    std::vector<TInput> unique;
    for (auto& in : inputs)
      if (byName.emplace(in.stored, unique.size()).second) unique.push_back(std::move(in));
    inputs = std::move(unique);
  }
  if (inputs.empty()) {
    out.Line("no files to pack");
    return rc != 0 ? rc : kErrNoMatch;
  }

  std::unique_ptr<TArchive> old;
  struct stat ast{};
  if (stat(cmd.archive.c_str(), &ast) == 0 && ast.st_size > 0) {
    const int orc = TArchive::Open(cmd.archive, old);
    if (orc != 0 || old->ScanError() != 0) {
      out.Line(cmd.archive + ": not a readable LHA archive; it is left as it is");
      return orc != 0 ? orc : old->ScanError();
    }
  }

  try {
    TArchiveWriter w(cmd.archive);
    std::vector<bool> done(inputs.size(), false);
    bool changed = false;
    // One input into the archive; false when the owner asked to stop.
    auto add = [&](const TInput& in, bool& stored) {
      struct stat st{};
      const bool exists = lstat(in.path.c_str(), &st) == 0;
      stored = false;
      if (exists && w.IsOwnFile(st.st_dev, st.st_ino)) {
        out.Line(in.stored + ": skipped: it is the archive being written");
        return true;
      }
      const uint64_t size = exists && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
      if (!Notify(in.stored, in.path, size, exists ? st.st_mtime : 0)) return false;
      const TAddResult r = w.Add(in.stored, in.path, s.method);
      stored = r.stored;
      if (!r.stored) {
        out.Line(in.stored + ": skipped: " + r.reason);
        rc = kErrCannotRead;
        return true;
      }
      changed = true;
      const auto& m = r.member;
      out.Line(in.stored + " - " + (m.IsDirectory() || m.IsSymlink() ? m.method : m.method + Percent(m.packedSize, m.originalSize)) +
               (r.note.empty() ? "" : " (" + r.note + ")"));
      return true;
    };

    if (old) {
      std::set<std::string> replaced; // a replaced name drops its later duplicates too
      for (const auto& m : old->Members()) {
        if (replaced.count(m.name) != 0) continue;
        auto it = byName.find(m.name);
        if (it != byName.end() && !done[it->second]) {
          const TInput& in = inputs[it->second];
          done[it->second] = true;
          struct stat st{};
          const bool exists = lstat(in.path.c_str(), &st) == 0;
          // A file that is gone is tried too, so that its loss is reported.
          if (cmd.letter == "a" || !s.compareTimes || !exists || st.st_mtime > m.mtime) {
            bool stored = false;
            if (!add(in, stored)) {
              out.Line("cancelled; the archive is left as it was");
              return kErrUserCancel;
            }
            if (stored) {
              replaced.insert(m.name);
              continue;
            }
            // Not readable now: the member stays as it was.
          }
        }
        w.CopyFrom(old->Source(), m.headerOffset, m.dataOffset + m.packedSize - m.headerOffset);
      }
    }
    if (cmd.letter != "f") {
      for (size_t i = 0; i < inputs.size(); ++i) {
        if (done[i]) continue;
        bool stored = false;
        if (!add(inputs[i], stored)) {
          out.Line("cancelled; the archive is left as it was");
          return kErrUserCancel;
        }
      }
    }
    if (changed) w.Commit();
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
  std::unique_ptr<TArchive> old;
  const int orc = TArchive::Open(cmd.archive, old);
  if (orc != 0) {
    out.Line(cmd.archive + ": cannot be opened as an LHA archive");
    return orc;
  }
  if (old->ScanError() != 0) {
    out.Line(cmd.archive + ": not a readable LHA archive; it is left as it is");
    return old->ScanError();
  }
  auto named = [&](const std::string& member) {
    return std::any_of(cmd.files.begin(), cmd.files.end(), [&](const std::string& f) {
      std::string n;
      if (!NormalizeName(f, n)) return false;
      return n.find_first_of("*?") != std::string::npos ? WildMatch(n, member) : n == member;
    });
  };
  try {
    TArchiveWriter w(cmd.archive);
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

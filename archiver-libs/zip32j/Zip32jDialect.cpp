#include "Zip32jDialect.h"

#include <sys/stat.h>

#include <set>
#include <string_view>

#include "CommandLine.h"
#include "ErrorCodes.h"
#include "Names.h"
#include "ZipFormat.h"
#include "ZipWriter.h"

namespace zipfmt {
namespace {

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// "-A <file>": the archive part of a self-extractor must read; readers find it by its end
// records, so its offsets need no rewriting.
int AdjustSelfExtractor(std::string_view file, arclib::TOutput& out) {
  while (!file.empty() && file.back() == ' ') file.remove_suffix(1);
  std::vector<arclib::TMemberInfo> members;
  if (ScanZip(std::string(file), members) != 0) {
    out.PrintableLine("not a self-extracting ZIP archive: " + std::string(file));
    return arclib::kErrNotArcFile;
  }
  return 0;
}

// "-d": every member the names select goes.
int DeleteMembers(const arclib::TCommandLine& line, arclib::TOutput& out) {
  std::vector<arclib::TMemberInfo> members;
  if (const int r = ScanZip(line.archive, members); r != 0) {
    out.PrintableLine("cannot read ZIP archive: " + line.archive);
    return r;
  }
  size_t gone = 0;
  for (const arclib::TMemberInfo& m : members)
    if (!line.names.empty() && arclib::Selected(m.name, line.names)) ++gone;
  if (gone == 0) {
    out.PrintableLine("no member matches the names given");
    return arclib::kErrNoMatch;
  }
  arclib::TCopySource copy{line.archive, SetupZipReader, [&line](const arclib::TMemberInfo& m) {
                             return !arclib::Selected(m.name, line.names);
                           }};
  return arclib::WriteArchive(line.archive, SetupZipWriter, -1, {}, &copy, out);
}

// "-f": members whose file below the folder is newer are packed anew.
int FreshenMembers(const arclib::TCommandLine& line, int level, arclib::TOutput& out) {
  std::vector<arclib::TMemberInfo> members;
  if (const int r = ScanZip(line.archive, members); r != 0) {
    out.PrintableLine("cannot read ZIP archive: " + line.archive);
    return r;
  }
  std::vector<arclib::TPackItem> items;
  std::set<std::string> fresh;
  for (const arclib::TMemberInfo& m : members) {
    if (m.IsDirectory() || !arclib::Selected(m.name, line.names)) continue;
    const std::string path = Join(line.baseDir, m.name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_mtim.tv_sec > m.mtime) {
      items.push_back({path, m.name});
      fresh.insert(m.name);
    }
  }
  if (items.empty()) return 0;
  arclib::TCopySource copy{line.archive, SetupZipReader,
                           [&fresh](const arclib::TMemberInfo& m) { return fresh.count(m.name) == 0; }};
  return arclib::WriteArchive(line.archive, SetupZipWriter, level, items, &copy, out);
}

}  // namespace

int RunZip32j(const char* cmdLine, arclib::TOutput& out) {
  if (cmdLine == nullptr) {
    out.PrintableLine("no command line");
    return arclib::kErrCommandLine;
  }
  std::string_view text(cmdLine);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.starts_with("-A ")) return AdjustSelfExtractor(text.substr(3), out);

  arclib::TCommandLine line;
  arclib::TCommandError err;
  if (!arclib::ParseCommandLine(cmdLine, line, err)) {
    out.PrintableLine(err.message);
    return err.code;
  }
  char command = 'a';
  arclib::TPackRequest request;
  request.collect.folderEntries = true;
  for (size_t k = 0; k < line.switches.size(); ++k) {
    const std::string& sw = line.switches[k];
    if (k == 0 && (sw == "-d" || sw == "-f")) {
      command = sw[1];
    } else if (sw == "-S") {
      request.collect.hidden = true;
    } else if (sw == "-D") {
      request.collect.folderEntries = false;
    } else if (sw == "-r") {
      request.collect.recurse = true;
    } else if (sw == "-j") {
      request.collect.junkPaths = true;
    } else if (sw.size() == 2 && sw[1] >= '0' && sw[1] <= '9') {
      request.level = sw[1] - '0';
    } else if (sw != "-v" && sw != "-q" && sw != "-o" && sw != "-u" && sw != "-FF" && sw != "-k" && sw != "-J") {
      // Accepted without effect: verbose and quiet output, the archive's own time, update
      // (members are always replaced by newer files of the same name), repair, DOS names and
      // self-extractor prefixes.
      out.PrintableLine("unknown switch: " + sw);
      return arclib::kErrSwitch;
    }
  }
  for (std::string& name : line.names) name = UnescapeName(name);
  if (command == 'd') return DeleteMembers(line, out);
  if (command == 'f') return FreshenMembers(line, request.level, out);
  request.archive = line.archive;
  request.baseDir = line.baseDir;
  request.names = line.names;
  return PackFiles(request, out);
}

}  // namespace zipfmt

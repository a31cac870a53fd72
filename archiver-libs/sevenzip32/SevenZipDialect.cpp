#include "SevenZipDialect.h"

#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "ErrorCodes.h"
#include "LibarchiveReader.h"
#include "LibarchiveWriter.h"
#include "Listing.h"
#include "Names.h"
#include "SevenZipFormat.h"

namespace sevenzip {
namespace {

struct TSevenZipCommand {
  char command = 0;
  arclib::TCommandLine line;
  std::string folder;  // -o: where x and e extract, what u and a pack from
  std::vector<std::string> excludes;
  arclib::EExistingFile existing = arclib::EExistingFile::Replace;
  bool recurse = true;
  int level = -1;
};

bool ParseLevel(std::string_view value, int& level) {
  if (value.size() != 1 || value[0] < '0' || value[0] > '9') return false;
  level = value[0] - '0';
  return true;
}

bool ParseSwitch(const std::string& sw, TSevenZipCommand& cmd, arclib::TCommandError& err) {
  const std::string_view s(sw);
  if (s == "-aoa") {
    cmd.existing = arclib::EExistingFile::Replace;
  } else if (s == "-aos") {
    cmd.existing = arclib::EExistingFile::Skip;
  } else if (s == "-aou") {
    cmd.existing = arclib::EExistingFile::Rename;
  } else if (s == "-r-" || s == "-r0") {
    cmd.recurse = false;
  } else if (s == "-r") {
    cmd.recurse = true;
  } else if (s.starts_with("-o") && s.size() > 2) {
    cmd.folder = sw.substr(2);
  } else if (s.starts_with("-x!") && s.size() > 3) {
    cmd.excludes.push_back(sw.substr(3));
  } else if (s.starts_with("-xr!") && s.size() > 4) {
    cmd.excludes.push_back(sw.substr(4));
  } else if (s.starts_with("-mx")) {
    std::string_view value = s.substr(3);
    if (value.starts_with('=')) value.remove_prefix(1);
    if (!ParseLevel(value, cmd.level)) {
      err = {arclib::kErrSwitch, "bad compression level: " + sw};
      return false;
    }
  } else if (s.starts_with("-p")) {
    err = {arclib::kErrNotSupport, "passwords are not supported: " + sw};
    return false;
  } else if (!(s.starts_with("-ms=") || s == "-hide" || s == "-y" || s == "-bd" || s.starts_with("-w"))) {
    // Accepted without effect: solid mode (libarchive writes one solid block), the hidden
    // progress dialog, answering yes, no progress indicator, and the work folder (a new archive
    // is written beside its final name, so it can be renamed into place).
    err = {arclib::kErrSwitch, "unknown switch: " + sw};
    return false;
  }
  return true;
}

bool Parse(const char* cmdLine, TSevenZipCommand& cmd, arclib::TCommandError& err) {
  if (cmdLine == nullptr) {
    err = {arclib::kErrCommandLine, "no command line"};
    return false;
  }
  std::string_view rest(cmdLine);
  const std::string_view word = arclib::TakeCommandWord(rest);
  if (word.size() != 1 || std::string_view("xeuadl").find(static_cast<char>(word[0] | 0x20)) == std::string_view::npos) {
    err = {arclib::kErrCommandName, "unknown command: " + std::string(word)};
    return false;
  }
  cmd.command = static_cast<char>(word[0] | 0x20);
  if (!arclib::ParseCommandLine(rest, cmd.line, err, false)) return false;
  for (const std::string& sw : cmd.line.switches)
    if (!ParseSwitch(sw, cmd, err)) return false;
  return true;
}

int Extract(const TSevenZipCommand& cmd, arclib::TOutput& out) {
  arclib::TExtractRequest request;
  request.archive = cmd.line.archive;
  request.destDir = cmd.folder;
  request.names = cmd.line.names;
  request.excludes = cmd.excludes;
  request.withPaths = cmd.command == 'x';
  request.existing = cmd.existing;
  return arclib::ExtractMembers(request, SetupSevenZipReader, out);
}

int Pack(const TSevenZipCommand& cmd, arclib::TOutput& out) {
  arclib::TPackRequest request;
  request.archive = cmd.line.archive;
  request.baseDir = cmd.folder;
  request.names = cmd.line.names;
  request.level = cmd.level;
  // 7-Zip packs hidden files like any other, and a folder named brings its contents.
  request.collect.hidden = true;
  request.collect.recurse = cmd.recurse;
  return arclib::PackFiles(request, SetupSevenZipReader, SetupSevenZipWriter, out);
}

int Delete(const TSevenZipCommand& cmd, arclib::TOutput& out) {
  std::vector<arclib::TMemberInfo> members;
  if (const int r = ScanSevenZip(cmd.line.archive, members); r != 0) {
    out.PrintableLine("cannot read 7z archive: " + cmd.line.archive);
    return r;
  }
  // Deleting needs names: none would select every member.
  const auto gone = [&cmd](const arclib::TMemberInfo& m) {
    const bool excluded = !cmd.excludes.empty() && arclib::Selected(m.name, cmd.excludes);
    return !cmd.line.names.empty() && arclib::Selected(m.name, cmd.line.names) && !excluded;
  };
  size_t count = 0;
  for (const arclib::TMemberInfo& m : members)
    if (gone(m)) ++count;
  if (count == 0) {
    out.PrintableLine("no member matches the names given");
    return arclib::kErrNoMatch;
  }
  arclib::TCopySource copy{cmd.line.archive, SetupSevenZipReader,
                           [&gone](const arclib::TMemberInfo& m) { return !gone(m); }};
  const int r = arclib::WriteArchive(cmd.line.archive, SetupSevenZipWriter, cmd.level, {}, &copy, out);
  if (r == 0)
    for (const arclib::TMemberInfo& m : members)
      if (gone(m)) out.PrintableLine("d      " + arclib::DisplayName(m));
  return r;
}

int List(const TSevenZipCommand& cmd, arclib::TOutput& out) {
  std::vector<arclib::TMemberInfo> members;
  if (const int r = ScanSevenZip(cmd.line.archive, members); r != 0) {
    out.PrintableLine((r == arclib::kErrEncrypted ? "encrypted 7z archive (no password support): "
                                                  : "cannot read 7z archive: ") +
                      cmd.line.archive);
    return r;
  }
  return arclib::WriteListing(members, cmd.line.names, out);
}

}  // namespace

int RunSevenZip(const char* cmdLine, arclib::TOutput& out) {
  TSevenZipCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, cmd, err)) {
    out.PrintableLine(err.message);
    return err.code;
  }
  switch (cmd.command) {
    case 'x':
    case 'e': return Extract(cmd, out);
    case 'u':
    case 'a': return Pack(cmd, out);
    case 'd': return Delete(cmd, out);
    default: return List(cmd, out);
  }
}

}  // namespace sevenzip

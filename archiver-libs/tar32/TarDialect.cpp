#include "TarDialect.h"

#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "ErrorCodes.h"
#include "LibarchiveReader.h"
#include "LibarchiveWriter.h"
#include "Listing.h"
#include "TarFormat.h"

namespace tarfmt {
namespace {

enum class ECompression { ByName, None, Gzip, Bzip2 };

struct TTarCommand {
  char command = 0;  // 0 = the memory form
  std::string archive;
  std::string folder;  // -o: where x extracts, what c packs from
  std::vector<std::string> names;
  ECompression compression = ECompression::ByName;
  int level = -1;
  bool hidden = false;
  bool withPaths = true;
};

bool Number(std::string_view text, int& value) {
  if (text.empty() || text.size() > 2) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// A switch with a value: "-f NAME" or "-fNAME".
bool SwitchValue(const std::vector<arclib::TToken>& tokens, size_t& k, std::string_view sw, std::string& value,
                 arclib::TCommandError& err) {
  if (tokens[k].text.size() > sw.size()) {
    value = tokens[k].text.substr(sw.size());
    return true;
  }
  if (k + 1 >= tokens.size()) {
    err = {arclib::kErrSwitch, std::string(sw) + " without its value"};
    return false;
  }
  value = tokens[++k].text;
  return true;
}

bool ParseSwitch(const std::vector<arclib::TToken>& tokens, size_t& k, TTarCommand& cmd, arclib::TCommandError& err) {
  const std::string& sw = tokens[k].text;
  const std::string_view s(sw);
  int n = 0;
  if (s.starts_with("-f")) return SwitchValue(tokens, k, "-f", cmd.archive, err);
  if (s.starts_with("-o")) return SwitchValue(tokens, k, "-o", cmd.folder, err);
  if (s == "-AH") {
    cmd.hidden = true;
  } else if (s == "-I") {
    cmd.hidden = false;
  } else if ((s.starts_with("-z") || s.starts_with("-B")) && (s.size() == 2 || Number(s.substr(2), n))) {
    cmd.compression = s[1] == 'z' ? ECompression::Gzip : ECompression::Bzip2;
    cmd.level = s.size() == 2 ? -1 : n;
  } else if (s.starts_with("--use-directory=") && Number(s.substr(16), n)) {
    cmd.withPaths = n != 0;
  } else if (!((s.starts_with("--display-dialog=") && Number(s.substr(17), n)) ||
               (s.starts_with("--check-all-path=") && Number(s.substr(17), n)) || s == "-g")) {
    // Accepted without effect: the dialog (there is none), the full-path check (names are always
    // matched against the whole stored path and its last component) and -g.
    err = {arclib::kErrSwitch, "unknown switch: " + sw};
    return false;
  }
  return true;
}

bool Parse(const char* cmdLine, bool memoryForm, TTarCommand& cmd, arclib::TCommandError& err) {
  if (cmdLine == nullptr) {
    err = {arclib::kErrCommandLine, "no command line"};
    return false;
  }
  std::string_view rest(cmdLine);
  if (!memoryForm) {
    const std::string_view word = arclib::TakeCommandWord(rest);
    const char c = word.size() == 1 ? static_cast<char>(word[0] | 0x20) : 0;
    if (c == 0 || std::string_view("xclt").find(c) == std::string_view::npos) {
      err = {arclib::kErrCommandName, "unknown command: " + std::string(word)};
      return false;
    }
    cmd.command = c == 't' ? 'l' : c;
  }
  std::vector<arclib::TToken> tokens;
  if (!arclib::Tokenize(rest, tokens, err)) return false;
  bool inNames = false;
  for (size_t k = 0; k < tokens.size(); ++k) {
    if (tokens[k].text.empty()) continue;
    if (!inNames && tokens[k].text.front() == '-') {
      if (!ParseSwitch(tokens, k, cmd, err)) return false;
      continue;
    }
    inNames = true;
    if (!arclib::AddNameArgument(tokens[k].text, cmd.names, err)) return false;
  }
  if (cmd.archive.empty()) {
    err = {arclib::kErrNoArchiveName, "command line names no archive (-f)"};
    return false;
  }
  return true;
}

arclib::TWriteSetup WriterFor(const TTarCommand& cmd) {
  ECompression c = cmd.compression;
  if (c == ECompression::ByName) {
    const std::string& a = cmd.archive;
    const auto ends = [&a](std::string_view ext) { return a.size() > ext.size() && a.ends_with(ext); };
    c = ends(".tgz") || ends(".gz") ? ECompression::Gzip
        : ends(".tbz") || ends(".tbz2") || ends(".bz2") ? ECompression::Bzip2
                                                          : ECompression::None;
  }
  switch (c) {
    case ECompression::Gzip: return SetupTarGzipWriter;
    case ECompression::Bzip2: return SetupTarBzip2Writer;
    default: return SetupTarWriter;
  }
}

int Create(const TTarCommand& cmd, arclib::TOutput& out) {
  arclib::TPackRequest request;
  request.archive = cmd.archive;
  request.baseDir = cmd.folder;
  request.names = cmd.names;
  request.level = cmd.level;
  request.keepOthers = false;
  request.collect.recurse = true;
  request.collect.hidden = cmd.hidden;
  request.collect.junkPaths = !cmd.withPaths;
  return arclib::PackFiles(request, nullptr, WriterFor(cmd), out);
}

// The reader for the archive, or the code why there is none (with a line in the output).
arclib::TReadSetup Reader(const std::string& archive, int& code, arclib::TOutput& out) {
  const arclib::TReadSetup setup = ReaderFor(ArchiveType(archive));
  code = 0;
  if (setup == nullptr) {
    code = ::access(archive.c_str(), R_OK) == 0 ? arclib::kErrNotArcFile : arclib::kErrArcFileOpen;
    out.PrintableLine(
        (code == arclib::kErrArcFileOpen ? "cannot open archive: " : "not a tar, gzip or bzip2 archive: ") + archive);
  }
  return setup;
}

}  // namespace

int RunTar(const char* cmdLine, arclib::TOutput& out) {
  TTarCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, false, cmd, err)) {
    out.PrintableLine(err.message);
    return err.code;
  }
  if (cmd.command == 'c') return Create(cmd, out);
  if (cmd.command == 'l') {
    std::vector<arclib::TMemberInfo> members;
    if (const int r = ScanTar(cmd.archive, members); r != 0) {
      out.PrintableLine("cannot read archive: " + cmd.archive);
      return r;
    }
    return arclib::WriteListing(members, cmd.names, out);
  }
  int code = 0;
  const arclib::TReadSetup setup = Reader(cmd.archive, code, out);
  if (setup == nullptr) return code;
  arclib::TExtractRequest request;
  request.archive = cmd.archive;
  request.destDir = cmd.folder;
  request.names = cmd.names;
  request.withPaths = cmd.withPaths;
  return arclib::ExtractMembers(request, setup, out);
}

int RunTarToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr) {
  if (written != nullptr) *written = 0;
  TTarCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, true, cmd, err)) return err.code;
  int code = 0;
  arclib::TOutput none(nullptr, 0);
  const arclib::TReadSetup setup = Reader(cmd.archive, code, none);
  if (setup == nullptr) return code;
  const std::string name = cmd.names.empty() ? std::string() : cmd.names.front();
  return arclib::ExtractToMemory(cmd.archive, setup, name, buffer, size, written, time, attr);
}

}  // namespace tarfmt

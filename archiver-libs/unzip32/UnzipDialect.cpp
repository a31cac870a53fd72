#include "UnzipDialect.h"

#include <cstdio>
#include <ctime>

#include "CommandLine.h"
#include "ErrorCodes.h"
#include "LibarchiveReader.h"
#include "Names.h"
#include "Notifier.h"
#include "ZipFormat.h"

namespace zipfmt {
namespace {

struct TUnzipCommand {
  char command = 'x';  // x extract, l list
  bool junkPaths = false;
  arclib::TCommandLine line;
};

bool Parse(const char* cmdLine, bool memoryForm, TUnzipCommand& cmd, arclib::TCommandError& err) {
  if (cmdLine == nullptr) {
    err = {arclib::kErrCommandLine, "no command line"};
    return false;
  }
  if (!arclib::ParseCommandLine(cmdLine, cmd.line, err)) return false;
  for (size_t k = 0; k < cmd.line.switches.size(); ++k) {
    const std::string& sw = cmd.line.switches[k];
    if (k == 0 && !memoryForm && (sw == "-x" || sw == "-l")) {
      cmd.command = sw[1];
    } else if (sw == "-j") {
      cmd.junkPaths = true;
    } else if (sw != "-o" && sw != "--i") {
      // -o (overwrite) is how every file is written anyway, atomically; --i asks for the
      // progress messages, which go to a registered window whenever there is one.
      err = {arclib::kErrSwitch, "unknown switch: " + sw};
      return false;
    }
  }
  for (std::string& name : cmd.line.names) name = UnescapeName(name);
  return true;
}

std::string Stamp(int64_t t) {
  const time_t tt = static_cast<time_t>(t);
  std::tm tm{};
  char buf[32] = "0000-00-00 00:00:00";
  if (localtime_r(&tt, &tm) != nullptr) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

int List(const TUnzipCommand& cmd, arclib::TOutput& out) {
  std::vector<arclib::TMemberInfo> members;
  if (const int r = ScanZip(cmd.line.archive, members); r != 0) {
    out.Line("cannot read ZIP archive: " + cmd.line.archive);
    return r;
  }
  out.Line("  Original     Packed Method  Stamp               Name");
  uint64_t count = 0;
  for (const arclib::TMemberInfo& m : members) {
    if (!arclib::Selected(m.name, cmd.line.names)) continue;
    const std::string attr = arclib::AttributeText(m);
    if (!arclib::TNotifier::Instance().Member(arclib::ProgressOf(m, "", attr))) return arclib::kErrUserCancel;
    char line[96];
    std::snprintf(line, sizeof line, "%10llu %10llu %-7s ", static_cast<unsigned long long>(m.originalSize),
                  static_cast<unsigned long long>(m.compressedSize), m.method.c_str());
    out.Line(line + Stamp(m.mtime) + " " + arclib::DisplayName(m) + (m.encrypted ? "  (encrypted)" : ""));
    ++count;
  }
  return count == 0 && !cmd.line.names.empty() ? arclib::kErrNoMatch : 0;
}

}  // namespace

int RunUnzip(const char* cmdLine, arclib::TOutput& out) {
  TUnzipCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, false, cmd, err)) {
    out.Line(err.message);
    return err.code;
  }
  if (cmd.command == 'l') return List(cmd, out);
  arclib::TExtractRequest request;
  request.archive = cmd.line.archive;
  request.destDir = cmd.line.baseDir;
  request.names = cmd.line.names;
  request.withPaths = !cmd.junkPaths;
  return arclib::ExtractMembers(request, SetupZipReader, out);
}

int RunUnzipToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr) {
  if (written != nullptr) *written = 0;
  TUnzipCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, true, cmd, err)) return err.code;
  const std::string name = cmd.line.names.empty() ? std::string() : cmd.line.names.front();
  return arclib::ExtractToMemory(cmd.line.archive, SetupZipReader, name, buffer, size, written, time, attr);
}

}  // namespace zipfmt

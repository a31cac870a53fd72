#include "UnzipDialect.h"

#include "CommandLine.h"
#include "ErrorCodes.h"
#include "LibarchiveReader.h"
#include "Listing.h"
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

int List(const TUnzipCommand& cmd, arclib::TOutput& out) {
  std::vector<arclib::TMemberInfo> members;
  if (const int r = ScanZip(cmd.line.archive, members); r != 0) {
    out.PrintableLine("cannot read ZIP archive: " + cmd.line.archive);
    return r;
  }
  return arclib::WriteListing(members, cmd.line.names, out);
}

}  // namespace

int RunUnzip(const char* cmdLine, arclib::TOutput& out) {
  TUnzipCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, false, cmd, err)) {
    out.PrintableLine(err.message);
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

#include "CabDialect.h"

#include "CabFormat.h"
#include "CabWriter.h"
#include "CommandLine.h"
#include "ErrorCodes.h"
#include "LibarchiveReader.h"
#include "Listing.h"

namespace cabfmt {
namespace {

struct TCabCommand {
  char command = 0;  // x extract, a pack, f self-extractor, l list; 0 in the memory form
  bool recurse = false;
  bool junkPaths = false;
  bool store = false;
  arclib::TCommandLine line;
};

bool Parse(const char* cmdLine, bool memoryForm, TCabCommand& cmd, arclib::TCommandError& err) {
  if (!arclib::ParseEntryLine(cmdLine, memoryForm ? "" : "xafl", cmd.command, cmd.line, err)) return false;
  for (const std::string& sw : cmd.line.switches) {
    if (sw == "-r") {
      cmd.recurse = true;
    } else if (sw == "-j") {
      cmd.junkPaths = true;
    } else if (sw == "-m0") {
      cmd.store = true;
    } else if (sw != "-o" && sw != "-i" && sw != "-q" && !sw.starts_with("-h")) {
      // -o (overwrite): every file is written under a temporary name and renamed over an
      // existing one anyway; -i: progress goes to a registered window whenever there is one;
      // -q (short names) has nothing to do here; -h names a work folder, but temporary files
      // are always written beside their final name.
      err = {arclib::kErrSwitch, "unknown switch: " + sw};
      return false;
    }
  }
  return true;
}

// A set spanning several cabinets cannot be read member by member from one of them.
int RefuseSpanned(const std::string& archive, arclib::TOutput& out) {
  if (!ReadCabHeader(archive).spanned) return 0;
  out.PrintableLine("multi-volume CAB set: not supported (" + archive + " is one of several cabinets)");
  return arclib::kErrNotSupport;
}

}  // namespace

int RunCab(const char* cmdLine, arclib::TOutput& out) {
  TCabCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, false, cmd, err)) {
    out.PrintableLine(err.message);
    return err.code;
  }
  switch (cmd.command) {
    case 'l': {
      std::vector<arclib::TMemberInfo> members;
      if (const int r = ScanCab(cmd.line.archive, members); r != 0) {
        out.PrintableLine("cannot read CAB archive: " + cmd.line.archive);
        return r;
      }
      return arclib::WriteListing(members, cmd.line.names, out);
    }
    case 'a': {
      TCabPackRequest request;
      request.archive = cmd.line.archive;
      request.baseDir = cmd.line.baseDir;
      request.names = cmd.line.names;
      request.collect.recurse = cmd.recurse;
      request.collect.junkPaths = cmd.junkPaths;
      request.collect.hidden = true;  // the caller chose the files; dot-files inside named folders go too
      request.compress = !cmd.store;
      return PackCab(request, out);
    }
    case 'f':
      out.PrintableLine("CAB self-extractors are not made by this library");
      return arclib::kErrNotSupport;
    default: break;
  }
  if (const int r = RefuseSpanned(cmd.line.archive, out); r != 0) return r;
  arclib::TExtractRequest request = arclib::ExtractRequestOf(cmd.line, !cmd.junkPaths);
  request.storesModes = false;  // without it every file would come out writable by everyone
  return arclib::ExtractMembers(request, SetupCabReader, out);
}

int RunCabToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr) {
  if (written != nullptr) *written = 0;
  TCabCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, true, cmd, err)) return err.code;
  return arclib::ExtractToMemory(cmd.line, SetupCabReader, buffer, size, written, time, attr);
}

}  // namespace cabfmt

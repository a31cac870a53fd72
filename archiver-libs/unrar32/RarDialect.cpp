#include "RarDialect.h"

#include <string_view>

#include "CommandLine.h"
#include "ErrorCodes.h"
#include "LibarchiveReader.h"
#include "Listing.h"
#include "RarFormat.h"

namespace rarfmt {
namespace {

struct TRarCommand {
  char command = 0;  // x extract, e extract without paths, l list; 0 in the memory form
  arclib::TCommandLine line;
};

bool Parse(const char* cmdLine, bool memoryForm, TRarCommand& cmd, arclib::TCommandError& err) {
  if (!arclib::ParseEntryLine(cmdLine, memoryForm ? "" : "xelacdfm", cmd.command, cmd.line, err)) return false;
  if (std::string_view("acdfm").find(cmd.command) != std::string_view::npos && cmd.command != 0) {
    err = {arclib::kErrNotSupport, "RAR archives are only read here: no packing, deleting or self-extractors"};
    return false;
  }
  for (const std::string& sw : cmd.line.switches) {
    if (sw != "-u" && sw != "-y" && sw != "-s") {
      // -u (only newer files) and -s: every file is written under a temporary name and renamed
      // over an existing one, and names select as everywhere; -y: there are no questions.
      err = {arclib::kErrSwitch, "unknown switch: " + sw};
      return false;
    }
  }
  return true;
}

// What libarchive cannot read from one file, said before it tries.
int RefuseUnreadable(const std::string& archive, arclib::TOutput& out) {
  const TRarHeader h = ReadRarHeader(archive);
  if (h.headersEncrypted) {
    out.PrintableLine("encrypted RAR archive: names and data need a password, which is not supported: " + archive);
    return arclib::kErrEncrypted;
  }
  if (h.volume) {
    out.PrintableLine("multi-volume RAR set: not supported (" + archive + " is one volume of several)");
    return arclib::kErrNotSupport;
  }
  return 0;
}

}  // namespace

int RunUnrar(const char* cmdLine, arclib::TOutput& out) {
  TRarCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, false, cmd, err)) {
    out.PrintableLine(err.message);
    return err.code;
  }
  if (const int r = RefuseUnreadable(cmd.line.archive, out); r != 0) return r;
  if (cmd.command == 'l') {
    std::vector<arclib::TMemberInfo> members;
    if (const int r = ScanRar(cmd.line.archive, members); r != 0) {
      out.PrintableLine("cannot read RAR archive: " + cmd.line.archive);
      return r;
    }
    return arclib::WriteListing(members, cmd.line.names, out);
  }
  return arclib::ExtractMembers(arclib::ExtractRequestOf(cmd.line, cmd.command == 'x'), SetupRarReader, out);
}

int RunUnrarToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time,
                     void* attr) {
  if (written != nullptr) *written = 0;
  TRarCommand cmd;
  arclib::TCommandError err;
  if (!Parse(cmdLine, true, cmd, err)) return err.code;
  arclib::TOutput none(nullptr, 0);
  if (const int r = RefuseUnreadable(cmd.line.archive, none); r != 0) return r;
  return arclib::ExtractToMemory(cmd.line, SetupRarReader, buffer, size, written, time, attr);
}

}  // namespace rarfmt

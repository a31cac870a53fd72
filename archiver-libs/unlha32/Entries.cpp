// The exported C entries of libunlha32.so: the command entry, listing through an archive
// handle, memory extraction, probes, and the owner-window / enumeration registrations.
#include <memory>
#include <string>

#include "Archive.h"
#include "ArchiverApi.h"
#include "Command.h"
#include "Guarded.h"
#include "Listing.h"
#include "PackCommands.h"
#include "Reader.h"
#include "Unlha32.h"

#define UNLHA_API extern "C" __attribute__((visibility("default")))

using namespace unlha;

UNLHA_API int Unlha(HWND /*wnd*/, const char* cmdLine, char* output, uint32_t size) {
  TOutput out(output, size);
  int code = Guarded(kErrNoMemory, [&] {
    TCommand cmd;
    TCommandError err;
    if (!cmdLine || !ParseCommandLine(cmdLine, cmd, err)) {
      out.PrintableLine(cmdLine ? err.message : "no command line");
      return cmdLine ? err.code : kErrCommandLine;
    }
    if (IsReadCommand(cmd.letter)) return RunReadCommand(cmd, out);
    if (IsWriteCommand(cmd.letter)) return RunWriteCommand(cmd, out);
    out.PrintableLine(cmd.letter.empty() ? "no command letter (the memory form is for UnlhaExtractMem)"
                                         : "unknown command '" + cmd.letter + "'");
    return kErrCommandName;
  });
  if (code == kErrNoMemory) out.Line("out of memory, or an internal failure");
  return code;
}

UNLHA_API HARC UnlhaOpenArchive(HWND /*wnd*/, const char* fileName, uint32_t /*mode*/) {
  return ListingOpen(fileName, ScanMembers);
}

UNLHA_API int UnlhaCloseArchive(HARC arc) { return ListingClose(arc); }

UNLHA_API int UnlhaFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info) {
  return ListingFindFirst(arc, wildName, info);
}

UNLHA_API int UnlhaFindNext(HARC arc, INDIVIDUALINFO* info) { return ListingFindNext(arc, info); }

UNLHA_API int UnlhaExtractMem(HWND /*wnd*/, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time,
                              void* attr, uint32_t* written) {
  if (written) *written = 0;
  return Guarded(kErrNoMemory, [&] {
    TCommand cmd;
    TCommandError err;
    if (!cmdLine || !ParseCommandLine(cmdLine, cmd, err)) return cmdLine ? err.code : kErrCommandLine;
    if (!cmd.letter.empty() && cmd.letter != "x" && cmd.letter != "e") return kErrCommandName;
    if (!CheckSwitches(cmd, {"a", "c", "n", "p", "r", "w", "x", "jse", "jso"}, err)) return err.code;
    return ExtractToMemory(cmd, buffer, size, written, time, attr);
  });
}

// Mode 2 also decodes every member and checks its CRC; other mode bits change nothing. The
// test runs on the name as given: it never goes through a command line, where a '"' in the
// name would end it and name another file.
UNLHA_API int UnlhaCheckArchive(const char* fileName, int mode) {
  return Guarded(0, [&] {
    if (!fileName) return 0;
    std::unique_ptr<TArchive> arc;
    if (TArchive::Open(fileName, arc) != 0 || arc->ScanError() != 0 || arc->Members().empty()) return 0;
    if (mode & 2) {
      TCommand cmd;
      cmd.letter = "t";
      cmd.archive = fileName;
      TOutput out(nullptr, 0);
      if (RunReadCommand(cmd, out) != 0) return 0;
    }
    return 1;
  });
}

// 1 for an LHA archive, 0 for anything else, -1 when the file cannot be read.
UNLHA_API int UnlhaGetArchiveType(const char* fileName) {
  return Guarded(-1, [&] {
    if (!fileName) return -1;
    std::unique_ptr<TArchive> arc;
    int r = TArchive::Open(fileName, arc);
    if (r == kErrArcFileOpen) return -1;
    return r == 0 && !arc->Members().empty() ? 1 : 0;
  });
}

UNLHA_API int UnlhaSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) {
  return Guarded(0, [&] { return TNotifier::Instance().SetOwner(wnd, callback); });
}

UNLHA_API int UnlhaKillOwnerWindowEx(HWND wnd) {
  return Guarded(0, [&] { return TNotifier::Instance().KillOwner(wnd); });
}

UNLHA_API int UnlhaGetWriteTimeEx(HARC arc, uint64_t* fileTime) { return ListingWriteTime(arc, fileTime); }

UNLHA_API int UnlhaGetCreateTimeEx(HARC arc, uint64_t* fileTime) { return ListingCreateTime(arc, fileTime); }

UNLHA_API int UnlhaGetAccessTimeEx(HARC arc, uint64_t* fileTime) { return ListingAccessTime(arc, fileTime); }

UNLHA_API int UnlhaGetOriginalSizeEx(HARC arc, uint64_t* size) { return ListingOriginalSize(arc, size); }

UNLHA_API int UnlhaGetCompressedSizeEx(HARC arc, uint64_t* size) { return ListingCompressedSize(arc, size); }

UNLHA_API int UnlhaSetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize) {
  TNotifier::Instance().SetEnumProc(proc, structSize);
  return 1;
}

UNLHA_API int UnlhaClearEnumMembersProc64(void) {
  TNotifier::Instance().ClearEnumProc();
  return 1;
}

// The exported C entries of libunarj32j.so ("UNARJ32J.DLL"): the command entry "Unarj", the
// listing, probe and query entries, memory extraction, the owner window and the enumeration
// callback.
#include "ArchiverApi.h"
#include "ArjDialect.h"
#include "ArjFormat.h"
#include "Output.h"
#include "StandardEntries.h"

#define UNARJ_API extern "C" __attribute__((visibility("default")))

UNARJ_API int Unarj(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return unarj::RunUnarj(cmdLine, out);
}

UNARJ_API int UnarjExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                              uint32_t* written) {
  return unarj::RunUnarjToMemory(cmdLine, buffer, size, written, time, attr);
}

ARCLIB_STANDARD_ENTRIES(UNARJ_API, Unarj, unarj::ScanArj, arclib::ScanReads<unarj::ScanArj>)

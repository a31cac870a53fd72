// The exported C entries of libunrar32.so ("UNRAR32.DLL"): the command entry "Unrar", the
// listing, probe and query entries, memory extraction, the owner window and the
// enumeration callback.
#include "ArchiverApi.h"
#include "Output.h"
#include "RarDialect.h"
#include "RarFormat.h"
#include "StandardEntries.h"

#define UNRAR_API extern "C" __attribute__((visibility("default")))

UNRAR_API int Unrar(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return rarfmt::RunUnrar(cmdLine, out);
}

UNRAR_API int UnrarExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                              uint32_t* written) {
  return rarfmt::RunUnrarToMemory(cmdLine, buffer, size, written, time, attr);
}

ARCLIB_STANDARD_ENTRIES(UNRAR_API, Unrar, rarfmt::ScanRar, arclib::ScanReads<rarfmt::ScanRar>)

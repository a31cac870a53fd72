// The exported C entries of libunrar32.so ("UNRAR32.DLL"): the command entry "Unrar", the
// listing and query entries, the probe, memory extraction, the owner window and the
// enumeration callback.
#include <vector>

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

// Non-zero for a readable RAR archive (also one whose headers are encrypted); every mode is
// accepted.
UNRAR_API int UnrarCheckArchive(const char* fileName, int) {
  if (fileName == nullptr) return 0;
  std::vector<arclib::TMemberInfo> members;
  return rarfmt::ScanRar(fileName, members) == 0 ? 1 : 0;
}

UNRAR_API int UnrarExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                              uint32_t* written) {
  return rarfmt::RunUnrarToMemory(cmdLine, buffer, size, written, time, attr);
}

ARCLIB_STANDARD_ENTRIES(UNRAR_API, Unrar, rarfmt::ScanRar)

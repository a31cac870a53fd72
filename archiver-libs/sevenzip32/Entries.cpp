// The exported C entries of lib7-zip32.so ("7-zip32.dll"): the command entry "SevenZip" and the
// listing, probing, owner-window and enumeration entries.
#include "ArchiverApi.h"
#include "Output.h"
#include "SevenZipDialect.h"
#include "SevenZipFormat.h"
#include "StandardEntries.h"

#define SEVENZIP_API extern "C" __attribute__((visibility("default")))

SEVENZIP_API int SevenZip(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return sevenzip::RunSevenZip(cmdLine, out);
}

ARCLIB_STANDARD_ENTRIES(SEVENZIP_API, SevenZip, sevenzip::ScanSevenZip, sevenzip::IsSevenZip)

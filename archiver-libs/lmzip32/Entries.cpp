// The exported C entries of liblmzip32.so ("LMZIP32.DLL"), which serves both sides with small-z
// names: "Unzip" (the unzip dialect), "Zip" (the LMZIP dialect) and the "Unzip..." listing,
// probing and memory-extraction entries. It has no owner-window entries, so nothing done
// through it reports progress.
#include "ArchiverApi.h"
#include "LmzipDialect.h"
#include "Output.h"
#include "UnzipDialect.h"
#include "ZipEntries.h"

#define LMZIP_API extern "C" __attribute__((visibility("default")))

LMZIP_API int Unzip(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return zipfmt::RunUnzip(cmdLine, out);
}

LMZIP_API int Zip(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return zipfmt::RunLmzip(cmdLine, out);
}

ZIP_LISTING_ENTRIES(LMZIP_API, Unzip)

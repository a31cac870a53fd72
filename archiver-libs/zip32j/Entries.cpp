// The exported C entries of libzip32j.so ("ZIP32J.DLL"): the command entry "Zip" and the
// listing, probing and memory-extraction entries. It has no owner-window entries, so packing
// through it reports no progress.
#include "ArchiverApi.h"
#include "Output.h"
#include "Zip32jDialect.h"
#include "ZipEntries.h"

#define ZIP32J_API extern "C" __attribute__((visibility("default")))

ZIP32J_API int Zip(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return zipfmt::RunZip32j(cmdLine, out);
}

ZIP_LISTING_ENTRIES(ZIP32J_API, UnZip)

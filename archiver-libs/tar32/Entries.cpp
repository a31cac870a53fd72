// The exported C entries of libtar32.so ("TAR32.DLL"): the command entry "Tar", memory
// extraction, the archive-type probe and the listing, probing, owner-window and enumeration
// entries.
#include "ArchiverApi.h"
#include "Output.h"
#include "StandardEntries.h"
#include "TarDialect.h"
#include "TarFormat.h"

#define TAR_API extern "C" __attribute__((visibility("default")))

TAR_API int Tar(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return tarfmt::RunTar(cmdLine, out);
}

TAR_API int TarExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                          uint32_t* written) {
  return tarfmt::RunTarToMemory(cmdLine, buffer, size, written, time, attr);
}

TAR_API int TarGetArchiveType(const char* fileName) {
  return fileName == nullptr ? tarfmt::kTypeNone : tarfmt::ArchiveType(fileName);
}

ARCLIB_STANDARD_ENTRIES(TAR_API, Tar, tarfmt::ScanTar, tarfmt::IsTarFamily)

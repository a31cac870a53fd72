// The exported C entries of libunzip32.so ("UNZIP32.DLL"): the command entry "UnZip", listing,
// probing, memory extraction and the owner window, the only ZIP library that offers one.
#include "ArchiverApi.h"
#include "ErrorCodes.h"
#include "Listing.h"
#include "Notifier.h"
#include "Output.h"
#include "UnzipDialect.h"
#include "ZipEntries.h"
#include "ZipFormat.h"

#define UNZIP_API extern "C" __attribute__((visibility("default")))

UNZIP_API int UnZip(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return zipfmt::RunUnzip(cmdLine, out);
}

UNZIP_API int UnZipSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) {
  return arclib::TNotifier::Instance().SetOwner(wnd, callback);
}

UNZIP_API int UnZipKillOwnerWindowEx(HWND wnd) { return arclib::TNotifier::Instance().KillOwner(wnd); }

ZIP_LISTING_ENTRIES(UNZIP_API, UnZip)

// The listing, probing and memory-extraction entries that every ZIP library exports, under its
// own spelling (UNZIP32 and ZIP32J "UnZip...", LMZIP32 "Unzip..."). The write-time entry is
// spelled "UnzipGetWriteTimeEx" by all three.
#pragma once
#include <string>
#include <vector>

#include "ArchiverApi.h"
#include "ErrorCodes.h"
#include "Listing.h"
#include "UnzipDialect.h"
#include "ZipFormat.h"

namespace zipfmt {

// Non-zero for a readable ZIP archive with at least one member; every mode is accepted.
inline int CheckZip(const char* fileName) {
  if (fileName == nullptr) return 0;
  std::vector<arclib::TMemberInfo> members;
  return ScanZip(fileName, members) == 0 && !members.empty() ? 1 : 0;
}

}  // namespace zipfmt

#define ZIP_LISTING_ENTRIES(API, P)                                                                             \
  API HARC P##OpenArchive(HWND, const char* fileName, uint32_t) {                                              \
    return arclib::ListingOpen(fileName, zipfmt::ScanZip);                                                      \
  }                                                                                                             \
  API int P##CloseArchive(HARC arc) { return arclib::ListingClose(arc); }                                       \
  API int P##FindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info) {                                  \
    return arclib::ListingFindFirst(arc, wildName, info);                                                       \
  }                                                                                                             \
  API int P##FindNext(HARC arc, INDIVIDUALINFO* info) { return arclib::ListingFindNext(arc, info); }            \
  API int UnzipGetWriteTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingWriteTime(arc, fileTime); } \
  API int P##GetCreateTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingCreateTime(arc, fileTime); } \
  API int P##GetAccessTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingAccessTime(arc, fileTime); } \
  API int P##CheckArchive(const char* fileName, int) { return zipfmt::CheckZip(fileName); }                    \
  API int P##ExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr, \
                        uint32_t* written) {                                                                    \
    return zipfmt::RunUnzipToMemory(cmdLine, buffer, size, written, time, attr);                                \
  }

// The entries a libarchive-backed library exports besides its command entry, spelled with its
// prefix: listing, probing, the time and size queries, the owner window and the enumeration
// callback. Scan reads an archive's members (TScanFn); Check answers the probe.
#pragma once
#include <string>
#include <vector>

#include "ArchiverApi.h"
#include "Listing.h"
#include "Notifier.h"

namespace arclib {

// The probe of a format with no cheaper test: the file is one when the format's scan reads it.
template <int (*Scan)(const std::string&, std::vector<TMemberInfo>&)>
bool ScanReads(const char* fileName) {
  std::vector<TMemberInfo> members;
  return Scan(fileName, members) == 0;
}

}  // namespace arclib

#define ARCLIB_STANDARD_ENTRIES(API, P, SCAN, CHECK)                                                                \
  API HARC P##OpenArchive(HWND, const char* fileName, uint32_t) { return arclib::ListingOpen(fileName, SCAN); }     \
  API int P##CloseArchive(HARC arc) { return arclib::ListingClose(arc); }                                           \
  API int P##FindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info) {                                      \
    return arclib::ListingFindFirst(arc, wildName, info);                                                           \
  }                                                                                                                 \
  API int P##FindNext(HARC arc, INDIVIDUALINFO* info) { return arclib::ListingFindNext(arc, info); }                \
  API int P##GetWriteTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingWriteTime(arc, fileTime); }       \
  API int P##GetCreateTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingCreateTime(arc, fileTime); }     \
  API int P##GetAccessTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingAccessTime(arc, fileTime); }     \
  API int P##GetOriginalSizeEx(HARC arc, uint64_t* size) { return arclib::ListingOriginalSize(arc, size); }         \
  API int P##GetCompressedSizeEx(HARC arc, uint64_t* size) { return arclib::ListingCompressedSize(arc, size); }     \
  API int P##CheckArchive(const char* fileName, int) { return fileName != nullptr && CHECK(fileName) ? 1 : 0; }    \
  API int P##SetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) {                                              \
    return arclib::TNotifier::Instance().SetOwner(wnd, callback);                                                   \
  }                                                                                                                 \
  API int P##KillOwnerWindowEx(HWND wnd) { return arclib::TNotifier::Instance().KillOwner(wnd); }                   \
  API int P##SetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize) {                                   \
    arclib::TNotifier::Instance().SetEnumProc(proc, structSize);                                                    \
    return 1;                                                                                                       \
  }                                                                                                                 \
  API int P##ClearEnumMembersProc64(void) {                                                                         \
    arclib::TNotifier::Instance().ClearEnumProc();                                                                  \
    return 1;                                                                                                       \
  }

// The entries every library on this layer exports in the same way under its own prefix: the
// listing handles, the probe (non-zero for a file the format's scan reads, whatever the mode),
// the time and size queries, the owner window and the enumeration callback. A library adds its
// command and ExtractMem entries itself.
#pragma once
#include <string>
#include <vector>

#include "ArchiverApi.h"
#include "Listing.h"
#include "Notifier.h"

#define ARCLIB_STANDARD_ENTRIES(API, P, SCAN)                                                                   \
  API HARC P##OpenArchive(HWND, const char* fileName, uint32_t) { return arclib::ListingOpen(fileName, SCAN); } \
  API int P##CloseArchive(HARC arc) { return arclib::ListingClose(arc); }                                       \
  API int P##CheckArchive(const char* fileName, int) {                                                          \
    std::vector<arclib::TMemberInfo> members;                                                                   \
    return fileName != nullptr && SCAN(fileName, members) == 0 ? 1 : 0;                                         \
  }                                                                                                             \
  API int P##FindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info) {                                  \
    return arclib::ListingFindFirst(arc, wildName, info);                                                       \
  }                                                                                                             \
  API int P##FindNext(HARC arc, INDIVIDUALINFO* info) { return arclib::ListingFindNext(arc, info); }            \
  API int P##GetWriteTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingWriteTime(arc, fileTime); }   \
  API int P##GetCreateTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingCreateTime(arc, fileTime); } \
  API int P##GetAccessTimeEx(HARC arc, uint64_t* fileTime) { return arclib::ListingAccessTime(arc, fileTime); } \
  API int P##GetOriginalSizeEx(HARC arc, uint64_t* size) { return arclib::ListingOriginalSize(arc, size); }     \
  API int P##GetCompressedSizeEx(HARC arc, uint64_t* size) { return arclib::ListingCompressedSize(arc, size); } \
  API int P##SetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) {                                          \
    return arclib::TNotifier::Instance().SetOwner(wnd, callback);                                               \
  }                                                                                                             \
  API int P##KillOwnerWindowEx(HWND wnd) { return arclib::TNotifier::Instance().KillOwner(wnd); }               \
  API int P##SetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize) {                               \
    arclib::TNotifier::Instance().SetEnumProc(proc, structSize);                                                \
    return 1;                                                                                                   \
  }                                                                                                             \
  API int P##ClearEnumMembersProc64(void) {                                                                     \
    arclib::TNotifier::Instance().ClearEnumProc();                                                              \
    return 1;                                                                                                   \
  }

// Progress to the owner window and the member-enumeration callback, registered process-wide
// (per library) through the SetOwnerWindowEx / SetEnumMembersProc64 entries.
#pragma once
#include <cstdint>
#include <string_view>

#include "ArchiverApi.h"

namespace arclib {

// What a command tells about the member it is about to process.
struct TMemberProgress {
  std::string_view source;  // member name, "/"-separated
  std::string_view dest;    // file on disk ("" when none, e.g. listing or testing)
  uint64_t originalSize = 0;
  uint64_t compressedSize = 0;
  uint64_t written = 0;
  uint32_t crc = 0;
  uint32_t osType = 0;
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
  uint32_t dosAttributes = 0;
  std::string_view attribute;  // short attribute text, at most 7 characters
  std::string_view method;     // e.g. "-lh5-", "deflate"
};

class TNotifier {
 public:
  static TNotifier& Instance();

  // Non-zero when accepted (a window is always accepted, even one that does not exist yet).
  int SetOwner(HWND wnd, ARC_OWNER_CALLBACK callback);
  int KillOwner(HWND wnd);
  void SetEnumProc(ENUM_MEMBER_PROC64 proc, uint32_t structSize);
  void ClearEnumProc();

  // Sends state 1 with the member's progress record to the owner window (or its callback) and
  // hands the enumeration callback its record. False when either asked to stop: the command
  // then ends with ERROR_USER_CANCEL.
  bool Member(const TMemberProgress& p);

 private:
  TNotifier() = default;
  HWND FOwner = 0;
  ARC_OWNER_CALLBACK FCallback = nullptr;
  ENUM_MEMBER_PROC64 FEnumProc = nullptr;
  uint32_t FEnumSize = 0;
  uint32_t FMessage = 0;
};

}  // namespace arclib

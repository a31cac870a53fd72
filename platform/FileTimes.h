// File times as the archiver component exchanges them: 64-bit counts of 100 ns since
// 1601-01-01 UTC ("FILETIME"), and the MS-DOS date and time words of archive members.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

using FILETIME = uint64_t;

// The three times of a file: last write = mtime, last access = atime, creation = the birth
// time where the file system reports one, else mtime.
struct TFileTimes {
  FILETIME LastWrite = 0;
  FILETIME LastAccess = 0;
  FILETIME Creation = 0;
};

FILETIME UnixToFileTime(long long seconds, long nanoseconds = 0);
long long FileTimeToUnix(FILETIME time);  // whole seconds

// MS-DOS date and time taken as local time, as a UTC file time; both words 0 give 0; a date or
// time that does not exist gives nothing.
std::optional<FILETIME> DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime);

// The times of the entry itself (links are not followed); nothing when it cannot be read.
std::optional<TFileTimes> GetFileTimes(std::string_view path);

// The file type and permission bits (st_mode) and the times of Name inside the open folder
// DirFd (AT_FDCWD: the current folder), links not followed, in one system call; errno tells
// why when there is nothing.
struct TEntryStat {
  unsigned Mode = 0;
  TFileTimes Times;
};
std::optional<TEntryStat> StatEntryAt(int dirFd, const char* name);
// Sets last write and last access; a creation time cannot be set here and is skipped.
bool SetFileTimes(std::string_view path, const TFileTimes& times);

}  // namespace platform

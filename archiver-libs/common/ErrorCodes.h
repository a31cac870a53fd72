// Return codes shared by the archiver libraries (0 = success); each library's README lists the
// ones its entries return.
#pragma once

namespace arclib {

inline constexpr int kErrNoMemory = 0x8008;        // out of memory, or another failure inside the library
inline constexpr int kErrMethod = 0x8009;          // member packed with a method we cannot read
inline constexpr int kErrFileCrc = 0x800C;         // data CRC does not match
inline constexpr int kErrFileOpen = 0x800D;        // output file cannot be created
inline constexpr int kErrMakeDirectory = 0x8012;   // folder cannot be created
inline constexpr int kErrCannotWrite = 0x8013;     // writing, renaming or setting attributes failed
inline constexpr int kErrBrokenData = 0x8014;      // compressed data is broken
inline constexpr int kErrHeaderBroken = 0x8017;    // archive structure broken or truncated
inline constexpr int kErrArcFileOpen = 0x8018;     // archive cannot be opened
inline constexpr int kErrNotArcFile = 0x8019;      // not an archive of this format
inline constexpr int kErrCannotRead = 0x801A;      // reading the archive or a file to pack failed
inline constexpr int kErrCommandName = 0x801C;     // unknown command
inline constexpr int kErrUserCancel = 0x8020;      // the owner window or a callback asked to stop
inline constexpr int kErrHarcNotOpened = 0x8021;   // handle is not an open archive
inline constexpr int kErrNotSearchMode = 0x8022;   // FindNext before FindFirst
inline constexpr int kErrNotSupport = 0x8023;      // command known but not provided
inline constexpr int kErrEncrypted = 0x8024;       // member is encrypted: not extracted
inline constexpr int kErrResponseRead = 0x802A;    // response file cannot be read
inline constexpr int kErrNoArchiveName = 0x802B;   // command line names no archive
inline constexpr int kErrSwitch = 0x8030;          // unknown or malformed switch
inline constexpr int kErrUnsafeName = 0x8031;      // member name refused (absolute, "..", through a link)
inline constexpr int kErrNoMatch = 0x8032;         // the names given select no member or file
inline constexpr int kErrBufferSmall = 0x8033;     // memory extraction: member larger than the buffer
inline constexpr int kErrCommandLine = 0x8034;     // malformed command line (unbalanced quote, ...)

// FindFirst / FindNext: no further member.
inline constexpr int kFindEnd = -1;

}  // namespace arclib

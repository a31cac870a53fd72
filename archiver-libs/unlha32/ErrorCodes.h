// Return codes of every entry (0 = success); README.md lists them with their meaning.
#pragma once

namespace unlha {

inline constexpr int kErrNoMemory = 0x8008;        // out of memory, or another failure inside the library
inline constexpr int kErrMethod = 0x8009;          // member packed with a method we do not know
inline constexpr int kErrFileCrc = 0x800C;         // data CRC does not match
inline constexpr int kErrFileOpen = 0x800D;        // output file cannot be created
inline constexpr int kErrMakeDirectory = 0x8012;   // folder cannot be created
inline constexpr int kErrCannotWrite = 0x8013;     // writing, renaming or setting attributes failed
inline constexpr int kErrHuffmanCode = 0x8014;     // compressed data is broken
inline constexpr int kErrHeaderCrc = 0x8016;       // header checksum or CRC does not match
inline constexpr int kErrHeaderBroken = 0x8017;    // header or data is truncated or malformed
inline constexpr int kErrArcFileOpen = 0x8018;     // archive cannot be opened
inline constexpr int kErrNotArcFile = 0x8019;      // no LHA header found
inline constexpr int kErrCannotRead = 0x801A;      // reading the archive failed
inline constexpr int kErrCommandName = 0x801C;     // unknown command letter
inline constexpr int kErrUserCancel = 0x8020;      // the owner window or callback asked to stop
inline constexpr int kErrHarcNotOpened = 0x8021;   // handle is not an open archive
inline constexpr int kErrNotSearchMode = 0x8022;   // FindNext before FindFirst
inline constexpr int kErrNotSupport = 0x8023;      // command known but not provided by this build
inline constexpr int kErrResponseRead = 0x802A;    // response file cannot be read
inline constexpr int kErrNoArchiveName = 0x802B;   // command line names no archive
inline constexpr int kErrSwitch = 0x8030;          // unknown or malformed switch
inline constexpr int kErrUnsafeName = 0x8031;      // member name refused (absolute, "..", through a link)
inline constexpr int kErrNoMatch = 0x8032;         // the names given select no member
inline constexpr int kErrBufferSmall = 0x8033;     // memory extraction: member larger than the buffer
inline constexpr int kErrCommandLine = 0x8034;     // malformed command line (unbalanced quote, ...)

// FindFirst / FindNext: no further member.
inline constexpr int kFindEnd = -1;

}  // namespace unlha

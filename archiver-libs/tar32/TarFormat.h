// The tar family as libtar32 reads and writes it, through libarchive: tar (ustar, pax, GNU) plain
// or under any compression libarchive reads, and single compressed files.
#pragma once
#include <string>
#include <vector>

#include "LibarchiveReader.h"
#include "LibarchiveWriter.h"
#include "Records.h"

namespace tarfmt {

// TarGetArchiveType's answers.
inline constexpr int kTypeNone = 0;        // not of the family, or unreadable
inline constexpr int kTypeTar = 1;         // tar, also under xz, zstd, lzip, lzma, lz4
inline constexpr int kTypeTarGzip = 2;     // tar.gz, tgz
inline constexpr int kTypeGzip = 3;        // one gzip-compressed file
inline constexpr int kTypeTarCompress = 4; // tar.Z, taz
inline constexpr int kTypeCompress = 5;    // one compress(1)ed file
inline constexpr int kTypeTarBzip2 = 6;    // tar.bz2
inline constexpr int kTypeBzip2 = 7;       // one bzip2-compressed file

int ArchiveType(const std::string& path);
// The reader for an archive of that type (tar, or the single compressed file); null for none.
arclib::TReadSetup ReaderFor(int type);
// 0 and every member, or an error code.
int ScanTar(const std::string& path, std::vector<arclib::TMemberInfo>& members);
bool IsTarFamily(const char* fileName);

// pax (plain ustar where a member needs nothing more), plain or compressed.
void SetupTarWriter(archive* a, int level);
void SetupTarGzipWriter(archive* a, int level);
void SetupTarBzip2Writer(archive* a, int level);

}  // namespace tarfmt

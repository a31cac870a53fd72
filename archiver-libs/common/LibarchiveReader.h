// Reading archives through libarchive: member lists, extraction below a destination folder
// (SafeExtract) and extraction of one member into memory. A format library supplies only the
// setup of the libarchive reader for its format.
#pragma once
#include <locale.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Output.h"
#include "Records.h"

struct archive;
struct archive_entry;

namespace arclib {

// libarchive converts names by the thread's character set; under a UTF-8 locale it hands names
// flagged as UTF-8 over unchanged and every other name as its stored bytes, which the name
// decoding then reads. Set for the scope of every libarchive call.
class TUtf8Locale {
 public:
  TUtf8Locale();
  ~TUtf8Locale();
  TUtf8Locale(const TUtf8Locale&) = delete;
  TUtf8Locale& operator=(const TUtf8Locale&) = delete;

 private:
  locale_t FLocale;
  locale_t FPrevious = nullptr;
};

// Enables one format (and its options) on a new reader.
using TReadSetup = void (*)(archive* a);

// An open libarchive reader; closed and freed with the object.
class TArchiveIn {
 public:
  explicit TArchiveIn(TReadSetup setup);
  ~TArchiveIn();
  TArchiveIn(const TArchiveIn&) = delete;
  TArchiveIn& operator=(const TArchiveIn&) = delete;
  // 0, kErrArcFileOpen (cannot be read) or kErrNotArcFile (not this format).
  int Open(const std::string& path);
  archive* Get() const { return FArchive; }
  std::string Error() const;

 private:
  TUtf8Locale FLocale;
  archive* FArchive;
};

// The member a header describes; the name decoded by the stored-name rule.
TMemberInfo DescribeEntry(archive_entry* entry);

int ScanMembers(const std::string& path, TReadSetup setup, std::vector<TMemberInfo>& members);

// What extraction does with a file that exists under a member's name.
enum class EExistingFile {
  Replace,  // the member replaces it, once completely written
  Skip,     // it stays; the member is left out
  Rename,   // it stays; the member goes to the first free "name_N.ext"
};

struct TExtractRequest {
  std::string archive;
  std::string destDir;
  std::vector<std::string> names;     // none = every member
  std::vector<std::string> excludes;
  bool withPaths = true;              // false: every file directly into destDir
  bool continueOnError = true;        // report a failed member and go on
  EExistingFile existing = EExistingFile::Replace;
  bool storesModes = true;            // false: the format keeps no Unix modes, and the ones
                                      // libarchive makes up are narrowed by the umask
};

// What a command line asks to extract: its archive, destination folder and names.
TExtractRequest ExtractRequestOf(const TCommandLine& line, bool withPaths);

// Extracts below destDir; the code of the first failure, 0 when all went well.
int ExtractMembers(const TExtractRequest& request, TReadSetup setup, TOutput& out);

// The first file member selected by Name (the first file member when Name is empty) into
// Buffer. Time (a time_t) and Attr (a 32-bit MS-DOS attribute word) are filled when not null.
int ExtractToMemory(const std::string& path, TReadSetup setup, const std::string& name, uint8_t* buffer,
                    uint32_t size, uint32_t* written, void* time, void* attr);

// The memory form of a command line: its first name (the first file member when none).
int ExtractToMemory(const TCommandLine& line, TReadSetup setup, uint8_t* buffer, uint32_t size, uint32_t* written,
                    void* time, void* attr);

}  // namespace arclib

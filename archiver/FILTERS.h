// The component's own file selection for packing: what lies below the base folder, by the
// patterns and the selection switches, handed to the library as one sorted list of names.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ARCHIVES.h"
#include "LocaleFormats.h"

// The sorted selection, compact: the names one after another in one block, each ended by a
// NUL, and the null-ended array of pointers to them that a driver takes as a file argument.
class TSelection {
 public:
  TSelection() = default;
  TSelection(const TSelection&) = delete;  // the pointers point into this object's own block
  TSelection& operator=(const TSelection&) = delete;
  TSelection(TSelection&&) noexcept = default;
  TSelection& operator=(TSelection&&) noexcept = default;

  size_t size() const { return FNames.empty() ? 0 : FNames.size() - 1; }
  bool empty() const { return size() == 0; }
  std::string_view operator[](size_t i) const { return FNames[i]; }
  // The names, ended by a null pointer; valid while the selection lives.
  const char* const* Names() const { return FNames.data(); }
  std::vector<std::string> Strings() const;

 private:
  friend class TNameList;
  std::vector<char> FBytes;
  std::vector<const char*> FNames;
};

// A set of names handed out sorted ignoring letter case. Only identical names are duplicates:
// "A.txt" and "a.txt" are two files here and both are kept. Adding and looking up cost the same
// whatever the order the names come in; the order is made once, when the names are taken. The
// names are kept in one block of bytes, a few bytes each beside their own.
class TNameList {
 public:
  bool Add(std::string_view name);  // false when the name was there already
  bool Contains(std::string_view name) const;
  size_t Size() const { return FEnds.size(); }
  TSelection Take();  // the names, sorted; the list is empty afterwards

 private:
  std::string_view NameAt(size_t i) const;
  size_t SlotOf(std::string_view name) const;  // where Name is, or the free slot it would take
  void Grow();

  std::string FBytes;            // the names in the order added, one after another
  std::vector<uint64_t> FEnds;   // where each name ends in FBytes
  std::vector<uint32_t> FSlots;  // open addressing over the names: index + 1, 0 = free
};

// Absolute paths of the files the stream staging created; they are deleted when the list goes
// (failures ignored). A file the staging did not create never gets on the list.
class TStagedFiles {
 public:
  TStagedFiles() = default;
  TStagedFiles(const TStagedFiles&) = delete;
  TStagedFiles& operator=(const TStagedFiles&) = delete;
  ~TStagedFiles();
  void Add(std::string path) { FPaths.push_back(std::move(path)); }

 private:
  std::vector<std::string> FPaths;
};

// What Pack returns when the selection met folders it could not read (each named with the reason
// in the output): the LHA library's code for skipped items when the rest was packed, and its
// code for "nothing packed" when nothing was.
inline constexpr int kPackSkippedItems = 0x801A;
inline constexpr int kPackNothingStored = 0x8032;

// Progress of the selection: every newly selected name is reported with this state.
inline constexpr int kSelectedState = 2053;
using TSelectionProgress = std::function<void(int state, EXTRACTINGINFOEX* info, bool& abort)>;

// The sorted selection of Files below BaseDir. Adjusts Options (the caller's private copy) to
// what the library must be told for an explicit list: r unset, jo and job unset, p = 1. Sets
// Cancel when a progress handler asked to stop. Names are computed against BaseDir; the
// process's current folder is never changed. A folder that cannot be read is added to
// Unreadable ("name: reason") when given, and the scan goes on with the rest.
TSelection CollectFiles(TStagedFiles& staged, TArchiverOptions& options, std::string_view baseDir,
                                      bool& cancel, const TFileArgs& files, const TSelectionProgress& progress,
                                      std::vector<std::string>* unreadable = nullptr);

// One scanning pass over Patterns (an empty list scans everything when ScanAllWhenEmpty; an
// empty pattern selects nothing).
TNameList ScanFiles(TStagedFiles& staged, const TArchiverOptions& options, std::string_view baseDir, bool& cancel,
                    const TSelectionProgress* progress, const TNameList* exclusions,
                    const std::vector<std::string>& patterns, bool scanAllWhenEmpty,
                    std::vector<std::string>* unreadable = nullptr);

// A jo/job bound: [l]yymmdd, [l]yymmddhhnnss, [l]yyyymmdd or [l]yyyymmddhhnnss; the time comes
// from DefaultTime (hhnnss) when the text has none. Any other length means no bound; digits
// that form no valid date or time raise platform::EConvertError.
std::optional<platform::LocalDateTime> ParseDateSwitch(std::string_view text, std::string_view defaultTime);

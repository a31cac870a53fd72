// What the archive views show, worked out from the member records alone: the folder tree, the
// list rows of a place, their order and their column texts. Plain C++, so it can be tried on
// hand-made records without an archiver library or a window.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "LocaleFormats.h"

inline constexpr std::size_t MemberRecordSize = 598;

// One member record as listing delivers it, kept whole; the views read a few fields of it.
class TMemberBlock {
 public:
  explicit TMemberBlock(std::span<const std::byte, MemberRecordSize> record);

  std::uint32_t OriginalSize() const;    // offset 0
  std::uint32_t CompressedSize() const;  // offset 4
  std::uint16_t Ratio() const;           // offset 20, per mille
  std::uint16_t DosDate() const;         // offset 22
  std::uint16_t DosTime() const;         // offset 24
  std::string_view Name() const;         // offset 26, zero-terminated, "/" between components

 private:
  std::array<std::byte, MemberRecordSize> FBytes;
};

// Byte-wise comparison after mapping a-z onto A-Z (nothing else is folded); a prefix comes
// first. Negative, zero or positive.
int CompareText(std::string_view a, std::string_view b);
// a-z mapped onto A-Z, every other byte as it is.
std::string UpperAscii(std::string_view s);

// Per mille as a percentage in its shortest form: 453 "45.3%", 500 "50%", 1005 "100.5%".
std::string RatioText(std::uint16_t perMille);
// An MS-DOS date and time word pair; nothing when they are not a real date and time
// (a zero date, month 0, day 31 of a 30-day month, hour 24, minute 60, second 60).
std::optional<platform::LocalDateTime> DecodeDosDateTime(std::uint16_t date, std::uint16_t time);
// "yyyy/mm/dd hh:nn:ss"; empty for a stamp that is not a real date and time.
std::string DateTimeText(std::uint16_t date, std::uint16_t time);

// One folder below "Root". Nodes come parents first, siblings in child order.
struct TFolderNode {
  std::string Text;
  int Parent;  // index of the parent node, -1 for a child of "Root"
};
// The folders that the member names mention, sorted by name with CompareText: one node per
// distinct name in its parent (letter case counts); a folder record and a file below it lead
// to the same nodes.
std::vector<TFolderNode> BuildFolderTree(std::span<const TMemberBlock> members);

// One list item: a file entry refers to its member, a folder entry (Member null) to nothing.
struct TListRow {
  std::string Caption;
  const TMemberBlock* Member = nullptr;
  std::string TypeName;  // column 1; filled by whoever knows the file types
  bool IsFolder() const { return Member == nullptr; }
};

// The all-members path of an archive: its file name followed by "/".
std::string AllMembersPath(std::string_view archiveName);
// The items a place shows, in archive order: every file flat for the all-members path; the
// entries of one folder for "Root/..." paths (folder entries only with showFolder); none for
// any other path.
std::vector<TListRow> ListRowsForPath(std::string_view path, std::string_view archiveName,
                                      std::span<const TMemberBlock> members, bool showFolder);

// Column comparison of two items before the direction is applied. Columns 1 to 5 put folder
// entries first and order them among themselves by caption; a stamp that is not a real date
// comes before every real one.
int CompareRows(const TListRow& a, const TListRow& b, int column);
// Sorts by a column (0 to 5) and direction (+1, -1), keeping the order of equal items; any
// other column leaves the order.
void SortRows(std::vector<TListRow>& rows, int column, int direction);

inline constexpr int ColumnCount = 6;

// The column a list is sorted by and the direction; what a header click does to them.
struct TSortState {
  int SortColumn = 1;
  int SortDirection = 1;
  void Click(int index);
};

// The texts of columns 2 to 5 of a file entry.
std::array<std::string, 4> MemberColumnTexts(const TMemberBlock& member);

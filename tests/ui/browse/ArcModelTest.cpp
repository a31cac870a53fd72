// The views' model on hand-made member records: folder tree, list rows, order, column texts.
#include <gtest/gtest.h>

#include <cstring>

#include "ArcModel.h"

namespace {

constexpr std::uint16_t DosDate(int year, int month, int day) {
  return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr std::uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

struct Fields {
  std::string name;
  std::uint32_t size = 0;
  std::uint32_t packed = 0;
  std::uint16_t ratio = 0;
  std::uint16_t date = DosDate(2010, 6, 17);
  std::uint16_t time = DosTime(14, 35, 12);
};

// A 598-byte record laid out as listing delivers it; the bytes the views ignore are 0xEE so a
// field read at a wrong offset shows.
TMemberBlock Block(const Fields& f) {
  std::array<std::byte, MemberRecordSize> raw;
  raw.fill(std::byte{0xEE});
  auto put = [&raw](std::size_t offset, const void* value, std::size_t n) { std::memcpy(&raw[offset], value, n); };
  put(0, &f.size, 4);
  put(4, &f.packed, 4);
  put(20, &f.ratio, 2);
  put(22, &f.date, 2);
  put(24, &f.time, 2);
  put(26, f.name.c_str(), f.name.size() + 1);
  return TMemberBlock(raw);
}

std::vector<TMemberBlock> Blocks(std::initializer_list<Fields> fields) {
  std::vector<TMemberBlock> blocks;
  for (const auto& f : fields) blocks.push_back(Block(f));
  return blocks;
}

std::vector<TMemberBlock> Named(std::initializer_list<std::string> names) {
  std::vector<TMemberBlock> blocks;
  for (const auto& n : names) blocks.push_back(Block({.name = n}));
  return blocks;
}

// "a/" for a folder entry, "a" for a file entry.
std::vector<std::string> Shown(const std::vector<TListRow>& rows) {
  std::vector<std::string> out;
  for (const auto& r : rows) out.push_back(r.Caption + (r.IsFolder() ? "/" : ""));
  return out;
}

// Each node as "parent-text>text" ("" for children of Root).
std::vector<std::string> Tree(const std::vector<TFolderNode>& nodes) {
  std::vector<std::string> out;
  for (const auto& n : nodes) out.push_back((n.Parent < 0 ? std::string() : nodes[n.Parent].Text) + ">" + n.Text);
  return out;
}

using Strings = std::vector<std::string>;

TEST(MemberBlock, ReadsItsFieldsAtTheirOffsets) {
  TMemberBlock b = Block({.name = "docs/a.txt", .size = 4000000000u, .packed = 123456, .ratio = 453,
                          .date = DosDate(2010, 6, 17), .time = DosTime(14, 35, 12)});
  EXPECT_EQ(b.OriginalSize(), 4000000000u);
  EXPECT_EQ(b.CompressedSize(), 123456u);
  EXPECT_EQ(b.Ratio(), 453);
  EXPECT_EQ(b.DosDate(), DosDate(2010, 6, 17));
  EXPECT_EQ(b.DosTime(), DosTime(14, 35, 12));
  EXPECT_EQ(b.Name(), "docs/a.txt");
}

TEST(MemberBlock, NameWithoutTerminatorStopsAtItsField) {
  TMemberBlock b = Block({.name = std::string(513, 'n')});
  EXPECT_EQ(b.Name().size(), 513u);
}

TEST(CompareText, FoldsOnlyAsciiLettersAndPutsPrefixesFirst) {
  struct Case { std::string a, b; int expected; };
  const Case cases[] = {
      {"abc", "ABC", 0},
      {"a", "b", -1},
      {"B", "a", 1},
      {"a", "ab", -1},
      {"", "a", -1},
      {"_", "a", 1},             // "_" lies above "A" once a is read as A
      {"\xC3\x89", "\xC3\xA9", -1},  // É and é: bytes beyond ASCII are never folded
      {"z", "\xE3\x81\x82", -1},     // a multi-byte character compares by its bytes, above ASCII
  };
  for (const auto& c : cases) {
    int r = CompareText(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.expected) << c.a << " vs " << c.b;
  }
}

TEST(ColumnTexts, RatioIsTheShortestPercentage) {
  const std::pair<std::uint16_t, std::string> cases[] = {
      {453, "45.3%"}, {500, "50%"}, {0, "0%"}, {1000, "100%"}, {1005, "100.5%"}, {7, "0.7%"}};
  for (const auto& [ratio, text] : cases) EXPECT_EQ(RatioText(ratio), text) << ratio;
}

TEST(ColumnTexts, DateTimeHasTwoDigitFieldsAndAnOddMinute) {
  EXPECT_EQ(DateTimeText(DosDate(2010, 6, 17), DosTime(14, 35, 12)), "2010/06/17 14:35:12");
  EXPECT_EQ(DateTimeText(DosDate(1999, 1, 2), DosTime(9, 5, 58)), "1999/01/02 09:05:58");
  EXPECT_EQ(DateTimeText(DosDate(2107, 12, 31), DosTime(23, 59, 58)), "2107/12/31 23:59:58");
  EXPECT_EQ(DateTimeText(DosDate(2012, 2, 29), 0), "2012/02/29 00:00:00");
}

TEST(ColumnTexts, StampThatIsNotADateShowsNothing) {
  struct Case { const char* what; std::uint16_t date, time; };
  const Case cases[] = {
      {"zero date", 0, 0},
      {"month 0", DosDate(2010, 0, 1), 0},
      {"month 13", DosDate(2010, 13, 1), 0},
      {"day 0", DosDate(2010, 6, 0), 0},
      {"June 31", DosDate(2010, 6, 31), 0},
      {"29 February of a common year", DosDate(2011, 2, 29), 0},
      {"hour 24", DosDate(2010, 6, 17), DosTime(24, 0, 0)},
      {"minute 60", DosDate(2010, 6, 17), DosTime(12, 60, 0)},
      {"second 60", DosDate(2010, 6, 17), DosTime(12, 0, 60)},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(DecodeDosDateTime(c.date, c.time)) << c.what;
    EXPECT_EQ(DateTimeText(c.date, c.time), "") << c.what;
  }
}

TEST(ColumnTexts, FileEntryColumns) {
  TMemberBlock b = Block({.name = "a.txt", .size = 1234567, .packed = 0, .ratio = 1005,
                          .date = DosDate(2010, 6, 17), .time = DosTime(14, 35, 12)});
  EXPECT_EQ(MemberColumnTexts(b), (std::array<std::string, 4>{"1234567", "0", "100.5%", "2010/06/17 14:35:12"}));
}

TEST(FolderTree, FileWithoutFolderRecordsMakesEveryFolder) {
  EXPECT_EQ(Tree(BuildFolderTree(Named({"a/b/c.txt"}))), (Strings{">a", "a>b"}));
}

TEST(FolderTree, FolderRecordAndFileBelowShareTheirNodes) {
  EXPECT_EQ(Tree(BuildFolderTree(Named({"a/b/", "a/", "a/b/c.txt", "top.txt"}))), (Strings{">a", "a>b"}));
}

TEST(FolderTree, LetterCaseMakesDistinctFoldersAndSiblingsFollowTheNameOrder) {
  auto tree = Tree(BuildFolderTree(Named({"z/1", "docs/2", "Docs/1", "B/x/1", "a/1"})));
  ASSERT_EQ(tree.size(), 6u);
  EXPECT_EQ(tree[0], ">a");
  EXPECT_EQ(tree[1], ">B");
  EXPECT_EQ(tree[2], "B>x");
  // Docs and docs differ only in case, so either may come first, but both are there.
  EXPECT_TRUE((tree[3] == ">Docs" && tree[4] == ">docs") || (tree[3] == ">docs" && tree[4] == ">Docs"));
  EXPECT_EQ(tree[5], ">z");
}

TEST(FolderTree, ManySiblingsStayInNameOrder) {
  std::vector<TMemberBlock> blocks;
  for (int i = 999; i >= 0; --i) blocks.push_back(Block({.name = "d" + std::to_string(1000 + i) + "/f"}));
  auto nodes = BuildFolderTree(blocks);
  ASSERT_EQ(nodes.size(), 1000u);
  EXPECT_EQ(nodes.front().Text, "d1000");
  EXPECT_EQ(nodes.back().Text, "d1999");
}

TEST(ListRows, EachPlaceOfAnArchiveWithOneDeepFile) {
  auto members = Named({"a/b/c.txt"});
  struct Case { std::string path; Strings shown; };
  const Case cases[] = {
      {"t.lzh/", {"c.txt"}}, {"Root/", {"a/"}}, {"Root/a/", {"b/"}},
      {"Root/a/b/", {"c.txt"}}, {"root/", {}}, {"Root/A/", {}}, {"elsewhere", {}}, {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(ListRowsForPath(c.path, "/backups/t.lzh", members, true)), c.shown) << c.path;
  }
}

TEST(ListRows, AllMembersAreFlatFilesInArchiveOrder) {
  auto members = Named({"y/", "y/readme.txt", "x/readme.txt", "x/", "top.txt"});
  auto rows = ListRowsForPath("t.lzh/", "t.lzh", members, true);
  EXPECT_EQ(Shown(rows), (Strings{"readme.txt", "readme.txt", "top.txt"}));
  EXPECT_EQ(rows[0].Member, &members[1]);
  EXPECT_EQ(rows[1].Member, &members[2]);
}

TEST(ListRows, FolderEntriesOnlyWhenAsked) {
  auto members = Named({"a/", "a/1.txt", "b.txt"});
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", members, true)), (Strings{"a/", "b.txt"}));
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", members, false)), (Strings{"b.txt"}));
  EXPECT_EQ(Shown(ListRowsForPath("Root/a/", "t.lzh", members, true)), (Strings{"1.txt"}));
}

TEST(ListRows, FolderEntryIsNotRepeatedWhateverTheCase) {
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", Named({"docs/1", "Docs/2", "docs/3"}), true)), (Strings{"docs/"}));
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", Named({"Docs/", "docs/"}), true)), (Strings{"Docs/"}));
}

TEST(ListRows, FileAndFolderOfOneNameDependOnArchiveOrder) {
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", Named({"a", "a/1"}), true)), (Strings{"a"}));
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", Named({"a/1", "a"}), true)), (Strings{"a/", "a"}));
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", Named({"A", "a/1"}), true)), (Strings{"A"}));
}

TEST(ListRows, FileEntriesAreNeverMerged) {
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "t.lzh", Named({"a.txt", "A.txt", "a.txt"}), true)),
            (Strings{"a.txt", "A.txt", "a.txt"}));
}

TEST(ListRows, ArchiveNamedRootShowsAllMembersForRootPath) {
  EXPECT_EQ(AllMembersPath("/backups/Root"), "Root/");
  EXPECT_EQ(Shown(ListRowsForPath("Root/", "/backups/Root", Named({"a/1.txt"}), true)), (Strings{"1.txt"}));
}

class SortTest : public ::testing::Test {
 protected:
  // Two folder entries and three files of distinct sizes, names, types and dates.
  std::vector<TMemberBlock> FMembers = Blocks({
      {.name = "m.txt", .size = 300, .packed = 10, .ratio = 33, .date = DosDate(2010, 6, 17)},
      {.name = "b/x", .size = 0},
      {.name = "z.doc", .size = 100, .packed = 90, .ratio = 900, .date = DosDate(2001, 1, 1)},
      {.name = "c/x", .size = 0},
      {.name = "a.bin", .size = 200, .packed = 5, .ratio = 25, .date = DosDate(2020, 3, 4)},
  });
  std::vector<TListRow> Rows() {
    auto rows = ListRowsForPath("Root/", "t.lzh", FMembers, true);
    for (auto& r : rows) {
      if (!r.IsFolder()) r.TypeName = r.Caption.substr(r.Caption.find('.') + 1) + " file";
    }
    return rows;
  }
  Strings SortedBy(TSortState& state, int click) {
    state.Click(click);
    auto rows = Rows();
    SortRows(rows, state.SortColumn, state.SortDirection);
    return Shown(rows);
  }
};

TEST_F(SortTest, FirstOrderIsByTypeAscending) {
  TSortState state;
  EXPECT_EQ(state.SortColumn, 1);
  EXPECT_EQ(state.SortDirection, 1);
  auto rows = Rows();
  SortRows(rows, state.SortColumn, state.SortDirection);
  EXPECT_EQ(Shown(rows), (Strings{"b/", "c/", "a.bin", "z.doc", "m.txt"}));
}

TEST_F(SortTest, HeaderClicksOnSizeThenName) {
  TSortState state;
  EXPECT_EQ(SortedBy(state, 2), (Strings{"b/", "c/", "z.doc", "a.bin", "m.txt"}));
  EXPECT_EQ(state.SortDirection, 1);
  EXPECT_EQ(SortedBy(state, 2), (Strings{"m.txt", "a.bin", "z.doc", "c/", "b/"}));
  EXPECT_EQ(state.SortDirection, -1);
  EXPECT_EQ(SortedBy(state, 0), (Strings{"a.bin", "b/", "c/", "m.txt", "z.doc"}));
  EXPECT_EQ(state.SortDirection, 1);
}

TEST_F(SortTest, EachColumnPutsFoldersFirstThenItsValue) {
  struct Case { int column; Strings ascending; };
  const Case cases[] = {
      {3, {"b/", "c/", "a.bin", "m.txt", "z.doc"}},
      {4, {"b/", "c/", "a.bin", "m.txt", "z.doc"}},
      {5, {"b/", "c/", "z.doc", "m.txt", "a.bin"}},
  };
  for (const auto& c : cases) {
    auto rows = Rows();
    SortRows(rows, c.column, 1);
    EXPECT_EQ(Shown(rows), c.ascending) << c.column;
    SortRows(rows, c.column, -1);
    EXPECT_EQ(Shown(rows), Strings(c.ascending.rbegin(), c.ascending.rend())) << c.column;
  }
}

TEST_F(SortTest, ColumnBeyondTheLastLeavesTheOrder) {
  TSortState state;
  auto before = Rows();
  EXPECT_EQ(SortedBy(state, 6), Shown(before));
  EXPECT_EQ(state.SortColumn, 6);
  EXPECT_EQ(SortedBy(state, 6), Shown(before));
  EXPECT_EQ(state.SortDirection, -1);
}

TEST(SortState, UnsortedColumnStartsAscending) {
  TSortState state{.SortColumn = -1, .SortDirection = -1};
  state.Click(-1);
  EXPECT_EQ(state.SortDirection, 1);
}

TEST(Sort, StampsThatAreNotDatesComeBeforeEveryDate) {
  auto members = Blocks({
      {.name = "new", .date = DosDate(2020, 1, 1)},
      {.name = "zero", .date = 0, .time = 0},
      {.name = "old", .date = DosDate(1980, 1, 1), .time = 0},
      {.name = "hour24", .date = DosDate(2010, 6, 17), .time = DosTime(24, 0, 0)},
      {.name = "month0", .date = DosDate(2010, 0, 17)},
  });
  auto rows = ListRowsForPath("t.lzh/", "t.lzh", members, false);
  SortRows(rows, 5, 1);
  Strings shown = Shown(rows);
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(Strings(shown.begin() + 3, shown.end()), (Strings{"old", "new"}));
  SortRows(rows, 5, -1);
  shown = Shown(rows);
  EXPECT_EQ(Strings(shown.begin(), shown.begin() + 2), (Strings{"new", "old"}));
}

TEST(Sort, TextColumnsUseTheFoldedByteOrder) {
  auto members = Named({"b", "_", "A", "a"});
  auto rows = ListRowsForPath("t.lzh/", "t.lzh", members, false);
  SortRows(rows, 0, 1);
  EXPECT_EQ(Shown(rows), (Strings{"A", "a", "b", "_"}));  // stable: A and a keep archive order
}

}  // namespace

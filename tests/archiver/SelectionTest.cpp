// The component's own file selection over real temporary trees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "FILTERS.h"
#include "TestSupport.h"

namespace {

using Names = std::vector<std::string>;

class Selection : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(base("a.txt"), "a");
    test::WriteFile(base(".h.txt"), "h");
    test::WriteFile(base("sub/b.txt"), "b");
    test::WriteFile(base("sub/x.tmp"), "t");
    test::WriteFile(base("data.txt"), "d");
    test::WriteFile(base("sub/data.txt"), "d2");
    test::WriteFile(base(".dot/c.txt"), "c");
  }
  std::string base(std::string_view name = {}) const { return name.empty() ? FTmp.path() : FTmp / name; }

  Names collect(TArchiverOptions& o, const TFileArgs& files, TSelectionProgress progress = {}) {
    TStagedFiles staged;
    bool cancel = false;
    return CollectFiles(staged, o, base(), cancel, files, progress).Strings();
  }

  test::TTempDir FTmp;
};

TEST_F(Selection, AllFilesSortedWithDotFilesOnlyWhenAsked) {
  TArchiverOptions o;
  o.r = 1;
  o.a = 1;
  EXPECT_EQ(collect(o, TFileArgs{"*.*"}),
            (Names{".dot/c.txt", ".h.txt", "a.txt", "data.txt", "sub/b.txt", "sub/data.txt", "sub/x.tmp"}));
  TArchiverOptions hidden;
  hidden.r = 1;
  // Dot-folders are searched whatever a says; only dot-files are left out.
  EXPECT_EQ(collect(hidden, TFileArgs{"*.*"}),
            (Names{".dot/c.txt", "a.txt", "data.txt", "sub/b.txt", "sub/data.txt", "sub/x.tmp"}));
}

TEST_F(Selection, EmptyFoldersAreSelectedUnderTheirOwnNames) {
  std::filesystem::create_directories(base("empty"));
  std::filesystem::create_directories(base("sub/none"));
  std::filesystem::create_directories(base(".hidden"));
  TArchiverOptions o;
  o.r = 1;
  EXPECT_EQ(collect(o, TFileArgs{"*.*"}), (Names{".dot/c.txt", "a.txt", "data.txt", "empty", "sub/b.txt",
                                                  "sub/data.txt", "sub/none", "sub/x.tmp"}));
  o = {};
  o.r = 1;
  o.a = 1;
  EXPECT_EQ(collect(o, TFileArgs{"*"}), (Names{".dot/c.txt", ".h.txt", ".hidden", "a.txt", "data.txt", "empty",
                                                "sub/b.txt", "sub/data.txt", "sub/none", "sub/x.tmp"}));
  // A mask that names only some files brings no folders.
  o = {};
  o.r = 1;
  EXPECT_EQ(collect(o, TFileArgs{"*.tmp"}), Names{"sub/x.tmp"});
}

TEST_F(Selection, FolderWhoseFilesAreAllLeftOutIsKept) {
  test::WriteFile(base("dots/.only"), "o");
  TArchiverOptions o;
  o.r = 1;
  const Names names = collect(o, TFileArgs{"*.*"});
  EXPECT_NE(std::find(names.begin(), names.end(), "dots"), names.end()) << "a folder holding only dot-files";
}

TEST_F(Selection, EmptyPatternNeverSelectsTheBaseFolder) {
  TArchiverOptions o;
  o.r = 2;
  EXPECT_EQ(collect(o, TFileArgs{std::string()}), Names{});
}

TEST_F(Selection, NoPatternsScansEverythingInTheBaseFolder) {
  TArchiverOptions o;
  EXPECT_EQ(collect(o, TFileArgs{}), (Names{"a.txt", "data.txt"}));
}

TEST_F(Selection, RecursionFollowsRAndP) {
  TArchiverOptions o;
  o.r = 1;
  o.p = 1;
  EXPECT_EQ(collect(o, TFileArgs{"data.txt"}), Names{"data.txt"});
  o = {};
  o.r = 1;
  o.p = 1;
  EXPECT_EQ(collect(o, TFileArgs{"*.txt"}),
            (Names{".dot/c.txt", "a.txt", "data.txt", "sub/b.txt", "sub/data.txt"}));
  TArchiverOptions noP;
  noP.r = 1;
  EXPECT_EQ(collect(noP, TFileArgs{"data.txt"}), (Names{"data.txt", "sub/data.txt"}));
  TArchiverOptions flat;
  EXPECT_EQ(collect(flat, TFileArgs{"sub/*.txt"}), (Names{"sub/b.txt", "sub/data.txt"}));
}

TEST_F(Selection, RTwoTakesAFolderPatternWhole) {
  test::WriteFile(base("docs/d1.txt"), "1");
  test::WriteFile(base("docs/deep/d2.txt"), "2");
  TArchiverOptions o;
  o.r = 2;
  EXPECT_EQ(collect(o, TFileArgs{"docs"}), (Names{"docs/d1.txt", "docs/deep/d2.txt"}));
  TArchiverOptions one;
  one.r = 1;
  EXPECT_EQ(collect(one, TFileArgs{"docs"}), Names{});
}

TEST_F(Selection, ExclusionsLeaveOutWhatTheirScanFinds) {
  TArchiverOptions o;
  o.r = 1;
  o.jx = {"*.tmp", "a.txt"};
  EXPECT_EQ(collect(o, TFileArgs{"*.*"}), (Names{".dot/c.txt", "data.txt", "sub/b.txt", "sub/data.txt"}));
}

TEST_F(Selection, DateWindowIsInclusiveLocalTime) {
  test::SetWriteTime(base("a.txt"), {2010, 1, 1, 0, 0, 0});
  test::SetWriteTime(base("data.txt"), {2010, 1, 31, 23, 59, 59});
  test::SetWriteTime(base("sub/b.txt"), {2009, 12, 31, 23, 59, 59});
  test::SetWriteTime(base("sub/data.txt"), {2010, 2, 1, 0, 0, 0});
  TArchiverOptions o;
  o.r = 1;
  o.jo = "20100101";
  o.job = "20100131";
  EXPECT_EQ(collect(o, TFileArgs{"*.txt"}), (Names{"a.txt", "data.txt"}));
  TArchiverOptions shortForm;
  shortForm.r = 1;
  shortForm.jo = "100101";
  shortForm.job = "l100131";
  EXPECT_EQ(collect(shortForm, TFileArgs{"*.txt"}), (Names{"a.txt", "data.txt"}));
  TArchiverOptions bad;
  bad.jo = "20101399";
  EXPECT_THROW(collect(bad, TFileArgs{"*.*"}), platform::EConvertError);
}

TEST_F(Selection, AdjustsTheOptionsItWasGiven) {
  TArchiverOptions o;
  o.r = 2;
  o.p = -1;
  o.jo = "20000101";
  o.job = "20991231";
  collect(o, TFileArgs{"*.*"});
  EXPECT_EQ(o.r, -1);
  EXPECT_EQ(o.p, 1);
  EXPECT_TRUE(IsUnsetText(o.jo));
  EXPECT_TRUE(IsUnsetText(o.job));
}

TEST_F(Selection, ReportsEachNewNameOnceWithAnOtherwiseZeroRecord) {
  TArchiverOptions o;
  o.r = 1;
  Names reported;
  bool recordClean = true;
  collect(o, TFileArgs{"*.txt", "a.txt"}, [&](int state, EXTRACTINGINFOEX* info, bool&) {
    EXPECT_EQ(state, 2053);
    reported.emplace_back(info->szSourceFileName);
    EXTRACTINGINFOEX expected{};
    std::memcpy(expected.szSourceFileName, info->szSourceFileName, sizeof expected.szSourceFileName);
    recordClean = recordClean && std::memcmp(&expected, info, sizeof expected) == 0;
  });
  EXPECT_EQ(reported, (Names{"a.txt", "data.txt", ".dot/c.txt", "sub/b.txt", "sub/data.txt"}));
  EXPECT_TRUE(recordClean);
}

TEST_F(Selection, CancelStopsThePass) {
  TArchiverOptions o;
  o.r = 1;
  TStagedFiles staged;
  bool cancel = false;
  int calls = 0;
  const Names names = CollectFiles(staged, o, base(), cancel, TFileArgs{"*.*"}, [&](int, EXTRACTINGINFOEX*, bool& abort) {
                        ++calls;
                        abort = true;
                      }).Strings();
  EXPECT_TRUE(cancel);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(names.size(), 1u);
}

TEST_F(Selection, NamesDifferingInCaseAreBothKept) {
  test::WriteFile(base("A.txt"), "upper");
  test::WriteFile(base("B.txt"), "b");
  TArchiverOptions o;
  EXPECT_EQ(collect(o, TFileArgs{"*.txt"}), (Names{"A.txt", "a.txt", "B.txt", "data.txt"}));
}

// Folders and files whose names differ only in letter case, found folder by folder in the file
// system's order, come out in one order across folders: letter case ignored, then the bytes.
TEST_F(Selection, MixedCaseNamesAcrossFoldersInOneOrder) {
  for (const char* name : {"dir0/file1.txt", "dir0/File10.txt", "Dir1/File2.txt", "Dir1/b.txt", "dir1/file2.txt",
                           "dir1/A.txt", "DIR2/a.txt", "dir1.txt", "dir1_x.txt"})
    test::WriteFile(base(name), "x");
  TArchiverOptions o;
  o.r = 1;
  Names reported;
  // The second pattern finds Dir1's files again: each name is kept and reported once.
  const Names names = collect(o, TFileArgs{"*.*", "Dir1/*.txt"},
                              [&](int, EXTRACTINGINFOEX* info, bool&) { reported.emplace_back(info->szSourceFileName); });
  EXPECT_EQ(names, (Names{".dot/c.txt", "a.txt", "data.txt", "dir0/file1.txt", "dir0/File10.txt", "dir1.txt",
                          "dir1/A.txt", "Dir1/b.txt", "Dir1/File2.txt", "dir1/file2.txt", "dir1_x.txt", "DIR2/a.txt",
                          "sub/b.txt", "sub/data.txt", "sub/x.tmp"}));
  std::sort(reported.begin(), reported.end());
  Names sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(reported, sorted);
}

// Enough names to grow the list's index several times, each added twice in a scrambled order.
TEST(NameList, KeepsEachNameOnceAndHandsThemOutSorted) {
  TNameList list;
  const int count = 3000;
  auto name = [](int i) { return std::string(i % 2 ? "F" : "f") + std::to_string(100000 + i / 2); };
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < count; ++k) {
      const int i = (k * 7919) % count;  // 7919 is prime to count: every i once
      EXPECT_EQ(list.Add(name(i)), round == 0) << name(i);
    }
  }
  EXPECT_EQ(list.Size(), static_cast<size_t>(count));
  EXPECT_TRUE(list.Contains("F100000"));
  EXPECT_TRUE(list.Contains("f101499"));
  EXPECT_FALSE(list.Contains("f101500"));
  EXPECT_FALSE(list.Contains("F10000"));
  Names expected;
  for (int i = 0; i < count; i += 2) {
    expected.push_back(name(i + 1));  // "F" before "f": only the case differs, so the bytes decide
    expected.push_back(name(i));
  }
  EXPECT_EQ(list.Take().Strings(), expected);
  EXPECT_EQ(list.Size(), 0u);
  EXPECT_FALSE(list.Contains("F100000"));
}

TEST_F(Selection, LinkedFoldersAreNeverEntered) {
  std::filesystem::create_directory_symlink(base(), base("sub/loop"));
  TArchiverOptions o;
  o.r = 1;
  const Names names = collect(o, TFileArgs{"*.*"});
  EXPECT_EQ(names, (Names{".dot/c.txt", "a.txt", "data.txt", "sub/b.txt", "sub/data.txt", "sub/loop", "sub/x.tmp"}));
}

TEST_F(Selection, LeavesTheCurrentFolderAlone) {
  char before[4096], after[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  TArchiverOptions o;
  o.r = 1;
  EXPECT_EQ(collect(o, TFileArgs{"sub/b.txt"}), Names{"sub/b.txt"});
  ASSERT_NE(getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);
}

TEST_F(Selection, AbsolutePatternsAndRelativeNames) {
  TArchiverOptions o;
  EXPECT_EQ(collect(o, TFileArgs{base("sub/b.txt")}), Names{base("sub/b.txt")});
  TArchiverOptions relative;
  relative.jf = -2;
  EXPECT_EQ(collect(relative, TFileArgs{base("sub/b.txt")}), Names{"sub/b.txt"});
}

TEST_F(Selection, MissingBaseFolderFailsBeforeScanning) {
  TArchiverOptions o;
  TStagedFiles staged;
  bool cancel = false;
  EXPECT_THROW(CollectFiles(staged, o, base("no-such-folder"), cancel, TFileArgs{"*.*"}, {}), std::system_error);
}

}  // namespace

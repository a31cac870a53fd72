// The views against the stand-in LHA library, which records every call it gets: opening an
// archive, and changing a tree switch, list the archive once for both views.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "../../archiver/FakeControl.h"
#include "ArcCtrls.h"
#include "TempFolder.h"

namespace {

// Bindings are class-wide and load once, so the stand-in must be found from the first load on.
const bool kFakeArchiversFirst = (setenv("TIDEKEEP_ARCHIVERS", FAKE_ARCHIVERS, 1), true);

// How many calls of the library's entry the log holds.
int Calls(std::string_view entry) {
  const std::string log = fake::Log();
  const std::string line = std::string(entry) + " ";
  int n = 0;
  for (std::size_t at = 0; at < log.size(); at = log.find('\n', at) + 1) {
    if (log.compare(at, line.size(), line) == 0) ++n;
    if (log.find('\n', at) == std::string::npos) break;
  }
  return n;
}

class ArcViewsListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kFakeArchiversFirst);
    Archive = Dir / "b.lzh";
    std::ofstream(Archive, std::ios::binary) << "FAKEARC";
    Tree->SetArcListView(List.get());
    fake::Reset();
    fake::AddMember("a/1.txt", 10, 5, 0x3CD1, 0x7466);
    fake::AddMember("2.txt", 20, 8, 0x3CD1, 0x7466);
  }

  TTempFolder Dir;
  std::string Archive;
  std::unique_ptr<TArcTreeView> Tree = std::make_unique<TArcTreeView>();
  std::unique_ptr<TArcListView> List = std::make_unique<TArcListView>();
};

TEST_F(ArcViewsListingTest, OpeningListsTheArchiveOnceForBothViews) {
  Tree->LoadArchive(Archive);
  EXPECT_EQ(Calls("OpenArchive"), 1);
  EXPECT_EQ(Calls("FindFirst"), 1);
  // Both views have what the one listing gave: the folder a in the tree, every file in the list.
  EXPECT_NE(Tree->FindNodeByPath("Root/a/"), nullptr);
  EXPECT_EQ(List->Members().size(), 2u);
  EXPECT_EQ(List->Items().size(), 2u);
  EXPECT_EQ(List->CurrentPath(), "b.lzh/");
}

TEST_F(ArcViewsListingTest, SwitchChangeListsTheArchiveOnceMore) {
  Tree->LoadArchive(Archive);
  fake::AddMember("c/3.txt", 30, 9, 0x3CD1, 0x7466);
  Tree->SetShowAllList(true);
  EXPECT_EQ(Calls("OpenArchive"), 2);
  EXPECT_NE(Tree->FindNodeByPath("Root/c/"), nullptr);
  EXPECT_EQ(List->Members().size(), 3u);
  EXPECT_EQ(List->Items().size(), 3u);
}

TEST_F(ArcViewsListingTest, TreeWithoutAListStillListsOnce) {
  Tree->SetArcListView(nullptr);
  Tree->LoadArchive(Archive);
  EXPECT_EQ(Calls("OpenArchive"), 1);
  EXPECT_NE(Tree->FindNodeByPath("Root/a/"), nullptr);
  EXPECT_TRUE(List->Members().empty());
}

}  // namespace

// The linked tree and list views on archives read through the real LHA library: jlha's archives
// for ordinary content, hand-laid ones for stamps and sizes no tool writes.
#include <QHeaderView>
#include <memory>

#include "ARCHIVES.h"
#include "ArcCtrls.h"
#include "BrowseTestSupport.h"

namespace {

using namespace browsetest;
using Strings = std::vector<std::string>;

// Each node as its path, in pre-order.
Strings NodePaths(const TCustomArcTreeView& tree) {
  Strings out;
  std::vector<QTreeWidgetItem*> stack;
  for (int i = tree.topLevelItemCount() - 1; i >= 0; --i) stack.push_back(tree.topLevelItem(i));
  while (!stack.empty()) {
    QTreeWidgetItem* node = stack.back();
    stack.pop_back();
    out.push_back(tree.NodePath(node));
    for (int i = node->childCount() - 1; i >= 0; --i) stack.push_back(node->child(i));
  }
  return out;
}

// "name/" for a folder entry, "name" for a file entry, in the order shown.
Strings Shown(const TCustomArcListView& list) {
  Strings out;
  for (const auto& row : list.Items()) out.push_back(row.Caption + (row.IsFolder() ? "/" : ""));
  return out;
}

class ArcViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Tree = std::make_unique<TArcTreeView>();
    List = std::make_unique<TArcListView>();
    Tree->SetArcListView(List.get());
    List->SetShowFolder(true);
  }
  void TearDown() override {
    Tree.reset();
    List.reset();
  }

  ScratchDir Dir;
  std::unique_ptr<TArcTreeView> Tree;
  std::unique_ptr<TArcListView> List;
};

// The same views on archives of ordinary files packed by each packer.
class PackedViewsTest : public ArcViewsTest, public ::testing::WithParamInterface<Packer> {
 protected:
  void SetUp() override {
    if (GetParam() == Packer::Jlha) REQUIRE_PEER("jlha");
    ArcViewsTest::SetUp();
  }
  // The packer's archive of the given files (each written with its own path as content).
  std::string Packed(const Strings& names, const std::string& archive = "t.lzh") {
    for (const auto& n : names) WriteFile(Dir.path() / "base" / n, "content of " + n + "\n");
    std::string path = Dir.str(archive);
    PackWith(GetParam(), path, Dir.path() / "base", names);
    return path;
  }
};

INSTANTIATE_TEST_SUITE_P(Packers, PackedViewsTest, ::testing::Values(Packer::Jlha, Packer::Ours), PackerName);

TEST_P(PackedViewsTest, OpeningShowsEveryFileFlatUnderTheArchiveNode) {
  Tree->LoadArchive(Packed({"a/b/c.txt", "top.txt"}));
  EXPECT_EQ(NodePaths(*Tree), (Strings{"t.lzh/", "Root/", "Root/a/", "Root/a/b/"}));
  EXPECT_EQ(Tree->SelectedPath(), "t.lzh/");
  EXPECT_EQ(List->CurrentPath(), "t.lzh/");
  // Our packer also stores the folders a and a/b, for their own mode and time.
  EXPECT_EQ(List->Members().size(), GetParam() == Packer::Ours ? 4u : 2u);
  Strings shown = Shown(*List);
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (Strings{"c.txt", "top.txt"}));
  EXPECT_TRUE(Tree->topLevelItem(1)->isExpanded());
  EXPECT_TRUE(Tree->topLevelItem(1)->child(0)->isExpanded());
}

TEST_P(PackedViewsTest, DeepFileWithoutFolderRecordsMakesEachFolder) {
  Tree->LoadArchive(Packed({"a/b/c.txt"}));
  struct Case { std::string path; Strings shown; };
  const Case cases[] = {{"Root/", {"a/"}}, {"Root/a/", {"b/"}}, {"Root/a/b/", {"c.txt"}}, {"Root/x/", {}}};
  for (const auto& c : cases) {
    List->ShowPath(c.path);
    EXPECT_EQ(Shown(*List), c.shown) << c.path;
    // The tree follows the list to the same place, or to none.
    EXPECT_EQ(Tree->SelectedPath(), c.shown.empty() ? "" : c.path) << c.path;
  }
}

TEST_P(PackedViewsTest, AllMembersShowsSameNamedFilesOfTwoFolders) {
  Tree->LoadArchive(Packed({"x/readme.txt", "y/readme.txt"}));
  EXPECT_EQ(Shown(*List), (Strings{"readme.txt", "readme.txt"}));
  ASSERT_EQ(List->Items().size(), 2u);
  EXPECT_NE(List->Items()[0].Member, List->Items()[1].Member);
}

TEST_P(PackedViewsTest, FoldersDifferingInCaseAreTwoNodesButOneFolderEntry) {
  Tree->LoadArchive(Packed({"docs/1.txt", "Docs/2.txt"}));
  Strings nodes = NodePaths(*Tree);
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_EQ(Strings(nodes.begin(), nodes.begin() + 2), (Strings{"t.lzh/", "Root/"}));
  std::sort(nodes.begin() + 2, nodes.end());
  EXPECT_EQ(Strings(nodes.begin() + 2, nodes.end()), (Strings{"Root/Docs/", "Root/docs/"}));
  List->ShowPath("Root/");
  EXPECT_EQ(Shown(*List), (Strings{"docs/"}));  // the first met in archive order
  List->ShowPath("Root/Docs/");
  EXPECT_EQ(Shown(*List), (Strings{"2.txt"}));
  EXPECT_EQ(Tree->SelectedPath(), "Root/Docs/");
}

// Packed folder and all, the archive holds folder records beside the files: they lead to the
// same nodes and folder entries, and never show as files.
TEST_P(PackedViewsTest, FolderRecordsLeadToTheSameNodesAndEntries) {
  WriteFile(Dir.path() / "base" / "a" / "b" / "c.txt", "c");
  const std::string archive = Dir.str("t.lzh");
  PackWith(GetParam(), archive, Dir.path() / "base", {"a"});
  Tree->LoadArchive(archive);
  EXPECT_EQ(List->Members().size(), 3u);
  EXPECT_EQ(NodePaths(*Tree), (Strings{"t.lzh/", "Root/", "Root/a/", "Root/a/b/"}));
  EXPECT_EQ(Shown(*List), (Strings{"c.txt"}));
  List->ShowPath("Root/");
  EXPECT_EQ(Shown(*List), (Strings{"a/"}));
  List->ShowPath("Root/a/");
  EXPECT_EQ(Shown(*List), (Strings{"b/"}));
}

TEST_P(PackedViewsTest, TreeSwitches) {
  const std::string archive = Packed({"a/1.txt", "2.txt"});
  Tree->LoadArchive(archive);

  Tree->SetShowAllList(false);
  EXPECT_EQ(NodePaths(*Tree), (Strings{"Root/", "Root/a/"}));
  EXPECT_EQ(Tree->SelectedPath(), "Root/");
  EXPECT_EQ(Shown(*List), (Strings{"a/", "2.txt"}));

  Tree->SetShowTrees(false);
  EXPECT_EQ(Tree->topLevelItemCount(), 0);
  EXPECT_EQ(Tree->SelectedPath(), "");
  EXPECT_TRUE(List->Items().empty());

  Tree->SetShowAllList(true);
  EXPECT_EQ(NodePaths(*Tree), (Strings{"t.lzh/"}));
  EXPECT_EQ(Shown(*List).size(), 2u);

  // Both off from the start: nothing at all once the archive is opened.
  Tree->SetShowAllList(false);
  Tree->LoadArchive(archive);
  EXPECT_EQ(Tree->topLevelItemCount(), 0);
  EXPECT_TRUE(List->Items().empty());
  EXPECT_EQ(Tree->SelectedPath(), "");
}

TEST_P(PackedViewsTest, SwitchChangeReadsTheArchiveAgain) {
  const std::string archive = Packed({"1.txt"});
  Tree->LoadArchive(archive);
  WriteFile(Dir.path() / "base" / "2.txt", "two");
  PackWith(GetParam(), archive, Dir.path() / "base", {"2.txt"});
  Tree->SetShowTrees(true);
  EXPECT_EQ(List->Members().size(), 2u);
  EXPECT_EQ(List->Items().size(), 2u);
}

TEST_P(PackedViewsTest, SelectPathIsExactAboutLetterCase) {
  Tree->LoadArchive(Packed({"a/1.txt"}));
  Tree->SelectPath("root/");
  EXPECT_EQ(Tree->SelectedPath(), "");
  EXPECT_TRUE(List->Items().empty());
  Tree->SelectPath("Root/a/");
  EXPECT_EQ(Tree->SelectedPath(), "Root/a/");
  EXPECT_EQ(Shown(*List), (Strings{"1.txt"}));
  EXPECT_EQ(Tree->FindNodeByPath("Root/a"), nullptr);
  EXPECT_EQ(Tree->NodePath(nullptr), "");
}

TEST_P(PackedViewsTest, ArchiveNamedRootMakesBothTopNodesOnePath) {
  const std::string archive = Packed({"d/1.txt"}, "Root");
  Tree->LoadArchive(archive);
  EXPECT_EQ(Tree->FindNodeByPath("Root/"), Tree->topLevelItem(0));
  List->ShowPath("Root/");
  EXPECT_EQ(Shown(*List), (Strings{"1.txt"}));
  EXPECT_EQ(Tree->selectedItems().value(0), Tree->topLevelItem(0));
}

TEST_P(PackedViewsTest, SelectionChangeFillsTheListBeforeTellingTheWindow) {
  Tree->LoadArchive(Packed({"a/1.txt", "2.txt"}));
  Strings seen;
  QObject::connect(Tree.get(), &TCustomArcTreeView::OnChange, [&] { seen.push_back(List->CurrentPath()); });
  Tree->setCurrentItem(Tree->topLevelItem(1));  // as a click does
  EXPECT_EQ(seen, (Strings{"Root/"}));
  EXPECT_EQ(Shown(*List), (Strings{"a/", "2.txt"}));
}

TEST_F(ArcViewsTest, ColumnsHaveTheirCaptionsWidthsAndAlignment) {
  struct Column { const char* caption; int width; Qt::Alignment align; };
  const Column columns[] = {{"ファイル名", 150, Qt::AlignLeft},   {"ファイルの種類", 100, Qt::AlignLeft},
                            {"サイズ", 100, Qt::AlignRight},     {"圧縮サイズ", 100, Qt::AlignRight},
                            {"圧縮率", 100, Qt::AlignRight},     {"更新日時", 150, Qt::AlignLeft}};
  QAbstractItemModel* model = List->model();
  ASSERT_EQ(model->columnCount(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(model->headerData(i, Qt::Horizontal).toString().toStdString(), columns[i].caption);
    EXPECT_EQ(List->header()->sectionSize(i), columns[i].width) << i;
    auto align = model->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
    EXPECT_EQ(align & Qt::AlignHorizontal_Mask, columns[i].align) << i;
  }
  EXPECT_EQ(List->SortColumn(), 1);
  EXPECT_EQ(List->SortDirection(), 1);
}

TEST_F(ArcViewsTest, FileEntryColumnsComeFromTheMemberRecord) {
  const std::string archive = Dir.str("raw.lzh");
  RawArchive(archive, {
                          {.name = "stored.txt", .data = std::string(1000, 's')},
                          {.name = "grown.bin", .data = std::string(1005, 'g'), .method = "-lh5-", .originalSize = 1000},
                          {.name = "odd.txt", .data = "x", .date = DosDate(2010, 6, 17), .time = DosTime(9, 7, 4)},
                      });
  Tree->LoadArchive(archive);
  List->ColumnClick(0);  // by name: grown.bin, odd.txt, stored.txt
  ASSERT_EQ(Shown(*List), (Strings{"grown.bin", "odd.txt", "stored.txt"}));
  EXPECT_EQ(List->ItemText(0, 2), "1000");
  EXPECT_EQ(List->ItemText(0, 3), "1005");
  EXPECT_EQ(List->ItemText(0, 4), "100.5%");
  EXPECT_EQ(List->ItemText(2, 4), "100%");
  EXPECT_EQ(List->ItemText(2, 5), "2010/06/17 14:35:12");
  EXPECT_EQ(List->ItemText(1, 5), "2010/06/17 09:07:04");
  // The type column is the desktop's name for the extension.
  EXPECT_FALSE(List->ItemText(2, 1).empty());
  EXPECT_EQ(List->ItemText(2, 1), List->Items()[2].TypeName);
}

TEST_F(ArcViewsTest, StampsThatAreNotDatesShowEmptyAndSortFirst) {
  const std::string archive = Dir.str("stamps.lzh");
  RawArchive(archive, {
                          {.name = "new.txt", .data = "n", .date = DosDate(2020, 1, 1)},
                          {.name = "zero.txt", .data = "z", .date = 0, .time = 0},
                          {.name = "month0.txt", .data = "m", .date = DosDate(2010, 0, 5)},
                          {.name = "hour24.txt", .data = "h", .time = DosTime(24, 0, 0)},
                          {.name = "old.txt", .data = "o", .date = DosDate(1990, 1, 1)},
                      });
  Tree->LoadArchive(archive);
  ASSERT_EQ(List->Items().size(), 5u);
  List->ColumnClick(5);
  Strings shown = Shown(*List);
  EXPECT_EQ(Strings(shown.begin() + 3, shown.end()), (Strings{"old.txt", "new.txt"}));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(List->ItemText(row, 5), "") << shown[row];
  EXPECT_TRUE(List->updatesEnabled());
  List->ColumnClick(5);
  EXPECT_EQ(Shown(*List).front(), "new.txt");
}

TEST_F(ArcViewsTest, HeaderClicksKeepTheirOrderAcrossNavigation) {
  const std::string archive = Dir.str("sizes.lzh");
  RawArchive(archive, {
                          {.name = "b/in.txt", .data = std::string(900, 'i')},
                          {.name = "big.txt", .data = std::string(300, 'b')},
                          {.name = "a/in.txt", .data = std::string(5, 'i')},
                          {.name = "small.txt", .data = "s"},
                          {.name = "mid.txt", .data = std::string(20, 'm')},
                      });
  Tree->LoadArchive(archive);
  List->ShowPath("Root/");
  List->ColumnClick(2);
  EXPECT_EQ(Shown(*List), (Strings{"a/", "b/", "small.txt", "mid.txt", "big.txt"}));
  List->ColumnClick(2);
  EXPECT_EQ(Shown(*List), (Strings{"big.txt", "mid.txt", "small.txt", "b/", "a/"}));
  List->ShowPath("t.lzh/");
  List->ShowPath("Root/");
  EXPECT_EQ(Shown(*List).front(), "big.txt");
  List->ColumnClick(0);
  EXPECT_EQ(Shown(*List), (Strings{"a/", "b/", "big.txt", "mid.txt", "small.txt"}));
}

TEST_P(PackedViewsTest, SortKeepsTheSelectedItemSelected) {
  Tree->LoadArchive(Packed({"b.txt", "a.doc", "c.bin"}));
  List->ColumnClick(0);
  List->SelectItem(1);
  ASSERT_EQ(List->Selected()->Caption, "b.txt");
  List->ColumnClick(0);
  ASSERT_NE(List->Selected(), nullptr);
  EXPECT_EQ(List->Selected()->Caption, "b.txt");
}

// A file the library cannot open is no empty archive: the views refuse it and stay as they were.
TEST_F(ArcViewsTest, ArchiveThatCannotBeOpenedIsRefusedAndChangesNothing) {
  EXPECT_THROW(Tree->LoadArchive(Dir.str("missing.lzh")), EArchiveUnreadable);
  EXPECT_EQ(Tree->topLevelItemCount(), 0);
  EXPECT_EQ(Tree->ArchiveName(), "");
  EXPECT_TRUE(List->Items().empty());
}

TEST_P(PackedViewsTest, UnknownFormatRaisesAndTheListKeepsWhatItShowed) {
  Tree->LoadArchive(Packed({"1.txt"}));
  WriteFile(Dir.path() / "notes.dat", "not an archive at all");
  EXPECT_THROW(Tree->LoadArchive(Dir.str("notes.dat")), EArchiver);
  // The tree too keeps the archive it showed.
  EXPECT_EQ(Tree->topLevelItemCount(), 2);
  EXPECT_EQ(Tree->ArchiveName(), Dir.str("t.lzh"));
  EXPECT_EQ(List->ArchiveName(), Dir.str("t.lzh"));
  EXPECT_EQ(Shown(*List), (Strings{"1.txt"}));
  EXPECT_TRUE(Tree->updatesEnabled());
}

TEST_F(ArcViewsTest, ShowPathWithoutAnArchiveKeepsTheCurrentPath) {
  List->ShowPath("Root/");
  EXPECT_EQ(List->CurrentPath(), "");
  Tree->LoadArchive("");
  EXPECT_EQ(Tree->topLevelItemCount(), 0);
}

TEST_F(ArcViewsTest, LinksAreMutualAndClearedWhenAViewGoes) {
  EXPECT_EQ(List->ArcTreeView(), Tree.get());
  TArcListView other;
  Tree->SetArcListView(&other);
  EXPECT_EQ(other.ArcTreeView(), Tree.get());
  EXPECT_EQ(List->ArcTreeView(), nullptr);
  List->SetArcTreeView(Tree.get());
  EXPECT_EQ(Tree->ArcListView(), List.get());
  EXPECT_EQ(other.ArcTreeView(), nullptr);
  Tree.reset();
  EXPECT_EQ(List->ArcTreeView(), nullptr);
  List->ShowPath("Root/");  // no tree to follow any more
}

}  // namespace

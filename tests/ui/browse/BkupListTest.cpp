// The backup file browser driven headless through the dialog seam, on archives read and
// extracted by the real LHA library.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "ARCHIVES.h"
#include "BrowseTestSupport.h"
#include "ScriptedDialogs.h"
#include "uDPickFolder2.h"
#include "uFBkupList.h"

namespace {

using namespace browsetest;
using Strings = std::vector<std::string>;

Strings Shown(const TCustomArcListView& list) {
  Strings out;
  for (const auto& row : list.Items()) out.push_back(row.Caption + (row.IsFolder() ? "/" : ""));
  return out;
}

int RowOf(const TCustomArcListView& list, std::string_view caption) {
  const auto& items = list.Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].Caption == caption) return static_cast<int>(i);
  }
  return -1;
}

class BkupListTest : public ::testing::TestWithParam<Packer> {
 protected:
  void SetUp() override {
    if (GetParam() == Packer::Jlha) REQUIRE_PEER("jlha");
    for (const auto& [name, content] : Files) WriteFile(Dir.path() / "base" / name, content);
    Archive = Dir.str("20100617_data.lzh");
    Strings names;
    for (const auto& f : Files) names.push_back(f.first);
    PackWith(GetParam(), Archive, Dir.path() / "base", names);
    std::filesystem::create_directories(Dir.path() / "out");
  }

  void Open(const std::string& archive) {
    Dialogs.fileAnswers.push_back(archive);
    Form.cxBtnopnClick();
  }

  // The picker as the user answers it: a folder typed in, the open option, OK.
  void PickFolder(const std::string& folder, bool openAfter = false) {
    Dialogs.modalHandlers.push_back([folder, openAfter](QDialog& dialog) {
      auto& picker = dynamic_cast<TDlgPickFolder2&>(dialog);
      EXPECT_TRUE(picker.RdBtn1->isVisibleTo(&picker));
      picker.EditFolder->setText(QString::fromStdString(folder));
      picker.RdBtn1->setChecked(openAfter);
      picker.OKBtnClick();
      return static_cast<int>(QDialog::Accepted);
    });
  }

  const std::vector<std::pair<std::string, std::string>> Files{
      {"docs/2010/report.txt", "the report\n"},
      {"docs/notes.txt", "some notes\n"},
      {"photo.jpg", std::string(3000, 'p')},
      {"readme.txt", "read me first\n"},
  };
  ScratchDir Dir;
  std::string Archive;
  platform::ScriptedDialogs Dialogs;
  TDlgPickFolder2 Picker;
  TfrmBkupList Form{Picker};
};

INSTANTIATE_TEST_SUITE_P(Packers, BkupListTest, ::testing::Values(Packer::Jlha, Packer::Ours), PackerName);

TEST_P(BkupListTest, WindowAsDefined) {
  EXPECT_EQ(Form.windowTitle().toStdString(), "バックアップファイル参照");
  EXPECT_EQ(Form.File1->title().toStdString(), "ファイル(&F)");
  EXPECT_EQ(Form.Open1->text().toStdString(), "開く(&O)");
  EXPECT_EQ(Form.Open1->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_EQ(Form.Exit1->text().toStdString(), "終了(&X)");
  EXPECT_EQ(Form.Exit1->shortcut(), QKeySequence("Ctrl+X"));
  EXPECT_EQ(Form.N1->text().toStdString(), "解凍");
  EXPECT_EQ(Form.cxBtnopn->text().toStdString(), "開く");
  EXPECT_EQ(Form.LabeledEdit1Label->text().toStdString(), "ツリーパス");
  EXPECT_EQ(Form.ArcTreeView1->ArcListView(), Form.ArcListView1);
  EXPECT_TRUE(Form.ArcListView1->ShowFolder());
  EXPECT_EQ(Form.ArcTreeView1->indentation(), 19);
}

TEST_P(BkupListTest, ColumnsFitTheListAtItsOpeningSizeInTheirProportions) {
  Form.show();
  Open(Archive);
  const QHeaderView* header = Form.ArcListView1->header();
  const int designed[] = {150, 100, 100, 100, 100, 150};
  ASSERT_LT(Form.ArcListView1->viewport()->width(), 700) << "the list opens narrower than the designed columns";
  // "更新日時" ends inside the list, and the order and proportions are the designed ones.
  EXPECT_LE(header->sectionViewportPosition(5) + header->sectionSize(5), Form.ArcListView1->viewport()->width());
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(header->visualIndex(i), i);
    EXPECT_NEAR(header->sectionSize(i) * 150.0 / designed[i], header->sectionSize(0), 1.5) << i;
  }
  EXPECT_GT(header->sectionSize(0), 100);
  // A column the user sized stays as sized when the window changes.
  Form.ArcListView1->header()->resizeSection(0, 200);
  Form.resize(Form.width() - 100, Form.height());
  QCoreApplication::processEvents();
  EXPECT_EQ(header->sectionSize(0), 200);
}

TEST_P(BkupListTest, OpeningShowsTheArchiveNodeSelectedAndEveryFileFlat) {
  Open(Archive);
  ASSERT_EQ(Dialogs.fileFilters, (Strings{"バックアップファイル|*.lzh|書庫ファイル|*.lzh;*.zip;*.jar;*.ear;*.war;*.cab;*.arj;*.tar;*.a;*.lib;*.deb;"
                                       "*.rpm;*.cpio;*.gz;*.z;*.tgz;*.taz;*.bz2;*.rar;*.gza;*.bza;*.yz1;*.7z;*.exe"}));
  ASSERT_EQ(Form.ArcTreeView1->topLevelItemCount(), 2);
  EXPECT_EQ(Form.ArcTreeView1->topLevelItem(0)->text(0).toStdString(), "20100617_data.lzh");
  EXPECT_EQ(Form.ArcTreeView1->topLevelItem(1)->text(0).toStdString(), "Root");
  EXPECT_EQ(Form.LabeledEdit1->text().toStdString(), "20100617_data.lzh/");
  Strings shown = Shown(*Form.ArcListView1);
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (Strings{"notes.txt", "photo.jpg", "readme.txt", "report.txt"}));
  EXPECT_TRUE(Dialogs.messages.empty());
}

TEST_P(BkupListTest, CancelledOpenChangesNothing) {
  Open(Archive);
  Dialogs.fileAnswers.push_back(std::nullopt);
  Form.cxBtnopnClick();
  EXPECT_EQ(Form.ArcTreeView1->ArchiveName(), Archive);
  EXPECT_EQ(Form.ArcListView1->Items().size(), 4u);
}

TEST_P(BkupListTest, MenuItemsOpenAnArchiveAndCloseTheWindow) {
  Form.show();
  Dialogs.fileAnswers.push_back(Archive);
  Form.Open1->trigger();
  EXPECT_EQ(Form.ArcTreeView1->ArchiveName(), Archive);
  Form.Exit1->trigger();
  EXPECT_FALSE(Form.isVisible());
}

TEST_P(BkupListTest, OpenErrorIsShownAndTheWindowGoesOn) {
  WriteFile(Dir.path() / "plain.dat", "no archive here");
  Open(Dir.str("plain.dat"));
  EXPECT_EQ(Dialogs.MessageTexts(), (Strings{"書庫の形式を判別できません。"}));
  Open(Archive);
  EXPECT_EQ(Form.ArcListView1->Items().size(), 4u);
}

TEST_P(BkupListTest, RootTypedInThePathBoxListsTheTopLevelFoldersFirst) {
  Open(Archive);
  Form.LabeledEdit1->setText("Root/");
  QTest::keyClick(Form.LabeledEdit1, Qt::Key_Return);
  EXPECT_EQ(Form.ArcTreeView1->SelectedPath(), "Root/");
  EXPECT_EQ(Form.ArcListView1->CurrentPath(), "Root/");
  Strings shown = Shown(*Form.ArcListView1);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "docs/");
  std::sort(shown.begin() + 1, shown.end());
  EXPECT_EQ(shown, (Strings{"docs/", "photo.jpg", "readme.txt"}));
}

TEST_P(BkupListTest, PathThatNamesNoPlaceEmptiesListAndBox) {
  Open(Archive);
  Form.LabeledEdit1->setText("Root/nowhere/");
  Form.LabeledEdit1Exit();
  EXPECT_EQ(Form.ArcTreeView1->SelectedPath(), "");
  EXPECT_TRUE(Form.ArcListView1->Items().empty());
  EXPECT_EQ(Form.LabeledEdit1->text().toStdString(), "");
  // Other keys than Enter do nothing.
  Form.LabeledEdit1->setText("Root/");
  Form.LabeledEdit1KeyDown(Qt::Key_A);
  EXPECT_EQ(Form.ArcTreeView1->SelectedPath(), "");
}

TEST_P(BkupListTest, DoubleClickDescendsIntoFoldersOnly) {
  Open(Archive);
  Form.ArcTreeView1->SelectPath("Root/");
  Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, "docs"));
  Form.ArcListView1DblClick();
  EXPECT_EQ(Form.ArcListView1->CurrentPath(), "Root/docs/");
  EXPECT_EQ(Form.ArcTreeView1->SelectedPath(), "Root/docs/");
  EXPECT_EQ(Form.LabeledEdit1->text().toStdString(), "Root/docs/");
  EXPECT_EQ(Shown(*Form.ArcListView1), (Strings{"2010/", "notes.txt"}));

  Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, "notes.txt"));
  Form.ArcListView1DblClick();
  EXPECT_EQ(Form.ArcListView1->CurrentPath(), "Root/docs/");
  Form.ArcListView1->clearSelection();
  Form.ArcListView1DblClick();
  EXPECT_EQ(Form.ArcListView1->CurrentPath(), "Root/docs/");
}

TEST_P(BkupListTest, ShowingAgainReturnsToTheAllMembersView) {
  Open(Archive);
  Form.ArcTreeView1->SelectPath("Root/docs/");
  Form.show();
  EXPECT_EQ(Form.ArcTreeView1->SelectedPath(), "20100617_data.lzh/");
  EXPECT_EQ(Form.LabeledEdit1->text().toStdString(), "20100617_data.lzh/");
  EXPECT_EQ(Form.ArcListView1->Items().size(), 4u);
}

TEST_P(BkupListTest, FirstShowingWithoutAnArchiveIsEmpty) {
  Form.show();
  EXPECT_EQ(Form.ArcTreeView1->topLevelItemCount(), 0);
  EXPECT_TRUE(Form.ArcListView1->Items().empty());
  EXPECT_TRUE(Dialogs.messages.empty());
}

TEST_P(BkupListTest, ExtractWritesTheOneMemberWithoutItsFolders) {
  Open(Archive);
  Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, "report.txt"));
  PickFolder(Dir.str("out"));
  Form.N1Click();
  EXPECT_EQ(Dialogs.modalShown.size(), 1u);
  EXPECT_EQ(Picker.Mode, 1);
  EXPECT_TRUE(Dialogs.messages.empty()) << Dialogs.MessageTexts().front();
  EXPECT_EQ(ReadFile(Dir.path() / "out" / "report.txt"), "the report\n");
  EXPECT_FALSE(std::filesystem::exists(Dir.path() / "out" / "docs"));
  EXPECT_TRUE(Dialogs.opened.empty());
  EXPECT_NE(Form.ArchiveFile1->CommandLine().find("-x0"), std::string::npos);
}

TEST_P(BkupListTest, ExtractingTwiceReplacesTheEarlierCopy) {
  Open(Archive);
  Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, "notes.txt"));
  PickFolder(Dir.str("out"));
  Form.N1Click();
  WriteFile(Dir.path() / "out" / "notes.txt", "changed since");
  PickFolder(Dir.str("out"));
  Form.N1Click();
  EXPECT_TRUE(Dialogs.messages.empty());
  EXPECT_EQ(ReadFile(Dir.path() / "out" / "notes.txt"), "some notes\n");
}

TEST_P(BkupListTest, ExtractThenOpenHandsTheFileToItsProgram) {
  Open(Archive);
  Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, "photo.jpg"));
  PickFolder(Dir.str("out") + "/", true);
  Form.N1Click();
  EXPECT_EQ(Dialogs.opened, (Strings{Dir.str("out") + "/photo.jpg"}));
  EXPECT_EQ(ReadFile(Dir.path() / "out" / "photo.jpg"), std::string(3000, 'p'));
}

TEST_P(BkupListTest, ExtractWithoutASelectionShowsTheError) {
  Open(Archive);
  Form.ArcTreeView1->SelectPath("Root/");
  PickFolder(Dir.str("out"), true);
  Form.N1Click();
  EXPECT_EQ(Dialogs.MessageTexts(), (Strings{"ファイル解凍エラーが発生しました"}));
  EXPECT_TRUE(Dialogs.opened.empty());
  EXPECT_TRUE(std::filesystem::is_empty(Dir.path() / "out"));
}

// The browser offers 解凍 on a folder: it comes out with everything below it, under the folders
// that hold it, and nothing beside it.
TEST_P(BkupListTest, ExtractingAFolderWritesEverythingBelowIt) {
  struct Case {
    const char* shown;
    const char* folder;
    Strings written;
    const char* opened;
  };
  const Case cases[] = {
      {"Root/", "docs", {"docs/2010/report.txt", "docs/notes.txt"}, "docs"},
      {"Root/docs/", "2010", {"docs/2010/report.txt"}, "docs/2010"},
  };
  Open(Archive);
  for (const Case& c : cases) {
    std::filesystem::remove_all(Dir.path() / "out");
    std::filesystem::create_directories(Dir.path() / "out");
    Dialogs.messages.clear();
    Dialogs.opened.clear();
    Form.ArcTreeView1->SelectPath(c.shown);
    Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, c.folder));
    PickFolder(Dir.str("out"), true);
    Form.N1Click();
    EXPECT_TRUE(Dialogs.messages.empty()) << c.folder << ": " << Dialogs.MessageTexts().front();
    Strings written;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Dir.path() / "out")) {
      if (e.is_regular_file()) written.push_back(std::filesystem::relative(e.path(), Dir.path() / "out").generic_string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, c.written) << c.folder;
    EXPECT_EQ(ReadFile(Dir.path() / "out" / "docs" / "2010" / "report.txt"), "the report\n") << c.folder;
    EXPECT_EQ(Dialogs.opened, (Strings{Dir.str("out") + "/" + c.opened})) << c.folder;
  }
}

// A damaged file, or a foreign one named like a backup file, is not shown as an empty archive:
// the browser says so, with the library's words, and keeps the archive it showed.
TEST_P(BkupListTest, AFileThatIsNoReadableArchiveIsRefusedAndThePreviousOneStays) {
  std::string whole = ReadFile(Archive);
  const std::string truncated = Dir.str("truncated.lzh");
  WriteFile(truncated, whole.substr(0, 30));
  const std::string foreign = Dir.str("foreign.lzh");
  WriteFile(foreign, std::string(600, 'z'));
  const std::string missing = Dir.str("gone.lzh");
  Open(Archive);
  for (const std::string& bad : {truncated, foreign, missing}) {
    Dialogs.messages.clear();
    Open(bad);
    ASSERT_EQ(Dialogs.messages.size(), 1u) << bad;
    EXPECT_EQ(Dialogs.messages[0].kind, platform::MsgKind::Error);
    const std::string& text = Dialogs.messages[0].text;
    EXPECT_TRUE(text.starts_with("「" + std::filesystem::path(bad).filename().string() + "」: ")) << text;
    EXPECT_EQ(text.find("書庫ライブラリでエラー"), std::string::npos) << text;
    EXPECT_EQ(Form.ArcTreeView1->ArchiveName(), Archive) << bad;
    EXPECT_EQ(Form.ArcListView1->ArchiveName(), Archive) << bad;
    EXPECT_EQ(Form.ArcListView1->Items().size(), 4u) << bad;
    EXPECT_EQ(Form.ArcTreeView1->topLevelItemCount(), 2) << bad;
  }
}

TEST_P(BkupListTest, CancelledPickerEndsSilently) {
  Open(Archive);
  Form.ArcListView1->SelectItem(0);
  Form.N1Click();  // no handler queued: the picker is cancelled
  EXPECT_TRUE(Dialogs.messages.empty());
  EXPECT_TRUE(std::filesystem::is_empty(Dir.path() / "out"));
}

TEST_P(BkupListTest, FailureReportedOnlyByTheLibraryIsShownAndNothingOpened) {
  const std::string broken = Dir.str("broken.lzh");
  RawArchive(broken, {{.name = "damaged.txt", .data = "these bytes do not match their CRC", .badCrc = true}});
  Open(broken);
  Form.ArcListView1->SelectItem(0);
  PickFolder(Dir.str("out"), true);
  Form.N1Click();
  ASSERT_EQ(Dialogs.messages.size(), 1u);
  EXPECT_EQ(Dialogs.messages[0].kind, platform::MsgKind::Error);
  // A Japanese sentence first, the library's own words below it.
  const std::string& text = Dialogs.messages[0].text;
  EXPECT_TRUE(text.starts_with("「broken.lzh」: ファイルの内容が壊れています")) << text;
  ASSERT_FALSE(Form.ArchiveFile1->Output().empty());
  EXPECT_TRUE(text.ends_with("\n\n詳細:\n" + Form.ArchiveFile1->Output())) << text;
  EXPECT_TRUE(Dialogs.opened.empty());
}

TEST_P(BkupListTest, FolderThatIsAFileIsAnErrorAndNothingOpened) {
  WriteFile(Dir.path() / "blocker", "a file where the folder should be");
  Open(Archive);
  Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, "readme.txt"));
  PickFolder(Dir.str("blocker"), true);
  Form.N1Click();
  ASSERT_EQ(Dialogs.messages.size(), 1u);
  EXPECT_EQ(Dialogs.messages[0].kind, platform::MsgKind::Error);
  EXPECT_TRUE(Dialogs.opened.empty());
  EXPECT_EQ(ReadFile(Dir.path() / "blocker"), "a file where the folder should be");
}

}  // namespace

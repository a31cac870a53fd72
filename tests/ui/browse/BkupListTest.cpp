// The backup file browser driven headless through the dialog seam, on archives read and
// extracted by the real LHA library.
#include <QAction>
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

TEST_P(BkupListTest, OpeningShowsTheArchiveNodeSelectedAndEveryFileFlat) {
  Open(Archive);
  ASSERT_EQ(Dialogs.fileFilters, (Strings{"バックアップファイル|*.lzh"}));
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

TEST_P(BkupListTest, ExtractWithoutAFileEntryShowsTheError) {
  Open(Archive);
  struct Case { const char* what; std::string select; };
  const Case cases[] = {{"no selection", ""}, {"a folder entry", "docs"}};
  for (const auto& c : cases) {
    Dialogs.messages.clear();
    Form.ArcTreeView1->SelectPath("Root/");
    if (!c.select.empty()) Form.ArcListView1->SelectItem(RowOf(*Form.ArcListView1, c.select));
    PickFolder(Dir.str("out"), true);
    Form.N1Click();
    EXPECT_EQ(Dialogs.MessageTexts(), (Strings{"ファイル解凍エラーが発生しました"})) << c.what;
    EXPECT_TRUE(Dialogs.opened.empty()) << c.what;
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
  EXPECT_EQ(Dialogs.messages[0].text, Form.ArchiveFile1->Output());
  EXPECT_FALSE(Dialogs.messages[0].text.empty());
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

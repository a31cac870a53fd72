// The backup file browser on a ZIP archive, headless through the dialog seam: it opens the
// archive chosen under the archive filter and extracts one member, through the ZIP driver and
// the ZIP libraries of this build.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>
#include <cstdlib>

#include "ARCHIVES.h"
#include "BrowseTestSupport.h"
#include "ScriptedDialogs.h"
#include "uDPickFolder2.h"
#include "uFBkupList.h"

namespace {

using namespace browsetest;

class BkupListZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(Dir.path() / "base/docs/報告書.txt", "zip report\n");
    WriteFile(Dir.path() / "base/readme.txt", "read me\n");
    Archive = Dir.str("photos.zip");
    const std::string cmd = Quote(TK_TIDEKEEP_ARC) + " a " + Quote(Archive) + " " + Quote(Dir.str("base") + "/") +
                            " docs readme.txt >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::filesystem::create_directories(Dir.path() / "out");
  }

  ScratchDir Dir;
  std::string Archive;
  platform::ScriptedDialogs Dialogs;
  TDlgPickFolder2 Picker;
  TfrmBkupList Form{Picker};
};

int RowOf(const TCustomArcListView& list, std::string_view caption) {
  const auto& items = list.Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].Caption == caption) return static_cast<int>(i);
  return -1;
}

TEST_F(BkupListZipTest, OpensAZipArchiveAndExtractsOneMember) {
  Dialogs.fileAnswers.push_back(Archive);
  Form.cxBtnopnClick();
  ASSERT_EQ(Dialogs.fileFilters.size(), 1u);
  EXPECT_NE(Dialogs.fileFilters.front().find("|書庫ファイル|*.lzh;*.zip;"), std::string::npos);
  ASSERT_EQ(Form.ArcTreeView1->topLevelItemCount(), 2);
  EXPECT_EQ(Form.ArcTreeView1->topLevelItem(0)->text(0).toStdString(), "photos.zip");
  const int row = RowOf(*Form.ArcListView1, "報告書.txt");
  ASSERT_GE(row, 0);
  Form.ArcListView1->SelectItem(row);
  Dialogs.modalHandlers.push_back([this](QDialog& dialog) {
    auto& picker = dynamic_cast<TDlgPickFolder2&>(dialog);
    picker.EditFolder->setText(QString::fromStdString(Dir.str("out")));
    picker.RdBtn1->setChecked(false);
    picker.OKBtnClick();
    return static_cast<int>(QDialog::Accepted);
  });
  Form.N1Click();
  // TK_SCREENSHOT=file.png keeps a picture of the window as the test left it.
  if (const char* shot = std::getenv("TK_SCREENSHOT")) {
    Form.resize(760, 480);
    Form.grab().save(QString::fromUtf8(shot));
  }
  EXPECT_TRUE(Dialogs.messages.empty()) << Dialogs.MessageTexts().front();
  EXPECT_EQ(ReadFile(Dir.path() / "out" / "報告書.txt"), "zip report\n");
  EXPECT_FALSE(std::filesystem::exists(Dir.path() / "out" / "docs"));  // without its folders
  EXPECT_FALSE(std::filesystem::exists(Dir.path() / "out" / "readme.txt"));
  // The ZIP driver's unzip dialect: progress asked for the browser's window, no paths.
  EXPECT_EQ(Form.ArchiveFile1->ArchiverType(), atZip);
  EXPECT_EQ(Form.ArchiveFile1->CommandLine().substr(0, 10), "-x --i -j ");
}

}  // namespace

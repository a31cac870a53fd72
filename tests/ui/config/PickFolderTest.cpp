// The folder pair picker: choosing both sides, the proposed backup file, adding and changing a
// pair, and that a pair is never dropped in silence (empty field, failed save).
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "ConfigTestSupport.h"
#include "FolderList.h"
#include "uDPickFolder.h"

using backupdb::TargetPair;

namespace {

// Clicks the folder view's item showing name.
void ClickItem(TFolderList& view, const QString& name) {
  auto items = view.findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(items.size(), 1);
  view.scrollToItem(items.front());
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualItemRect(items.front()).center());
}

void Focus(QWidget& w, Qt::FocusReason reason) {
  QFocusEvent in(QEvent::FocusIn, reason);
  QApplication::sendEvent(&w, &in);
}

}  // namespace

using PickFolder = ConfigWindowTest;

TEST_F(PickFolder, ChoosersFillBothFieldsAndOkInsertsThePair) {
  const std::string src = Folder("E/Data");
  const std::string dst = Folder("D/Bk");
  TDlgPickFolder dlg;
  script.folderAnswers = {src, dst};
  script.modalHandlers.push_back([&](QDialog& d) {
    auto& p = static_cast<TDlgPickFolder&>(d);
    p.ChooseBtn1->click();
    p.ChooseBtn2->click();
    EXPECT_EQ(p.EditFolder->text().toStdString(), src);
    EXPECT_EQ(p.EditFile->text().toStdString(), dst + "/Data.lzh");
    p.OKBtn->click();
    EXPECT_FALSE(d.isVisible());
    return d.result();
  });
  EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Accepted);
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{{src, dst + "/Data.lzh"}}));
  EXPECT_TRUE(script.messages.empty());
}

TEST_F(PickFolder, FolderViewsAndFieldsFollowTheUsersMoves) {
  const std::string src = Folder("E/Users/Data/Work");
  const std::string dst = Folder("D/Backup");
  TDlgPickFolder dlg;
  dlg.show();
  dlg.DirectoryListBox1->SetDirectory(src);
  // A cancelled chooser changes nothing; it starts in the view's folder.
  script.folderAnswers = {std::nullopt};
  dlg.EditFolder->setText("typed");
  dlg.ChooseBtn1->click();
  EXPECT_EQ(script.folderStarts, (std::vector<std::string>{src}));
  EXPECT_EQ(dlg.DirectoryListBox1->Directory(), src);
  EXPECT_EQ(dlg.EditFolder->text().toStdString(), "typed");
  dlg.DirectoryListBox1->SetDirectory(dst);
  dlg.DirectoryListBox1->SetDirectory(src);
  EXPECT_EQ(dlg.EditFolder->text().toStdString(), src) << "the field follows the source view";
  dlg.DirectoryListBox2->SetDirectory(dst);
  dlg.EditFile->setText("typed.lzh");
  Focus(*dlg.EditFile, Qt::ActiveWindowFocusReason);
  EXPECT_EQ(dlg.EditFile->text().toStdString(), "typed.lzh") << "the window coming back leaves typing alone";
  Focus(*dlg.EditFile, Qt::MouseFocusReason);
  EXPECT_EQ(dlg.EditFile->text().toStdString(), dst + "/Work.lzh");

  // A click on an ancestor in the source view moves there; a click in the destination proposes.
  ClickItem(*dlg.DirectoryListBox1, "Users");
  const std::string users = (root / "E/Users").string();
  EXPECT_EQ(dlg.DirectoryListBox1->Directory(), users);
  EXPECT_TRUE(dlg.DirectoryListBox1->findItems("Data", Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
  EXPECT_EQ(dlg.DirectoryListBox1->currentItem()->text(0).toStdString(), "Users");
  EXPECT_EQ(dlg.EditFolder->text().toStdString(), users);
  dlg.EditFolder->setText("elsewhere");
  Focus(*dlg.EditFolder, Qt::TabFocusReason);
  EXPECT_EQ(dlg.EditFolder->text().toStdString(), users);
  ClickItem(*dlg.DirectoryListBox2, "D");
  EXPECT_EQ(dlg.EditFile->text().toStdString(), (root / "D").string() + "/Users.lzh");
  dlg.hide();
}

TEST_F(PickFolder, DefaultBackupFileAtRoots) {
  struct Case {
    std::string source, destination, proposal;
  };
  const Case cases[] = {
      {"/srv/Data", "/backup", "/backup/Data.lzh"},
      {"/", "/backup", "/backup/.lzh"},        // a root source has no last component
      {"/srv/Data", "/", "//Data.lzh"},        // the root already ends in the delimiter
      {"/srv/Data/", "/backup/", "/backup/Data.lzh"},
  };
  TDlgPickFolder dlg;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.destination);
    dlg.DirectoryListBox1->SetDirectory(c.source);
    dlg.DirectoryListBox2->SetDirectory(c.destination);
    EXPECT_EQ(dlg.DefaultBackupFile(), c.proposal);
    dlg.Button2->click();
    EXPECT_EQ(dlg.EditFile->text().toStdString(), c.proposal);
  }
}

TEST_F(PickFolder, ChangeOpensOnTheOldPairAndUpdatesEveryEqualRowInPlace) {
  const std::string src = Folder("E/Data"), dst = Folder("D/Bk");
  const TargetPair old{src, dst + "/Data.lzh"}, other{Folder("E/Other"), dst + "/Other.lzh"};
  {
    auto db = backupdb::OpenDatabase();
    for (const auto& p : {old, other, old}) backupdb::InsertTarget(*db, p);
  }
  TDlgPickFolder dlg;
  dlg.PrepareUpdate(old.target_folder, old.bkup_file);
  ASSERT_TRUE(dlg.UpdateMode());
  script.modalHandlers.push_back([&](QDialog& d) {
    auto& p = static_cast<TDlgPickFolder&>(d);
    EXPECT_EQ(p.DirectoryListBox1->Directory(), src);
    EXPECT_EQ(p.DirectoryListBox2->Directory(), dst);
    EXPECT_EQ(p.EditFolder->text().toStdString(), old.target_folder);
    EXPECT_EQ(p.EditFile->text().toStdString(), old.bkup_file);
    p.EditFile->setText(QString::fromStdString(dst + "/Renamed.lzh"));
    p.OKBtn->click();
    return d.result();
  });
  EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Accepted);
  const TargetPair renamed{src, dst + "/Renamed.lzh"};
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{renamed, other, renamed}));
  EXPECT_FALSE(dlg.UpdateMode());
}

TEST_F(PickFolder, CancelledChangeThenAddInsertsANewPair) {
  const TargetPair old{Folder("E/Data"), Folder("D") + "/Data.lzh"};
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertTarget(*db, old);
  }
  TDlgPickFolder dlg;
  dlg.PrepareUpdate(old.target_folder, old.bkup_file);
  script.modalHandlers.push_back([](QDialog& d) {
    static_cast<TDlgPickFolder&>(d).CancelBtn->click();
    return d.result();
  });
  EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Rejected);
  EXPECT_FALSE(dlg.UpdateMode());
  const TargetPair added{old.target_folder, Folder("F") + "/Data.lzh"};
  script.modalHandlers.push_back([&](QDialog& d) {
    auto& p = static_cast<TDlgPickFolder&>(d);
    p.EditFile->setText(QString::fromStdString(added.bkup_file));
    p.OKBtn->click();
    return d.result();
  });
  platform::dialogs().ShowModal(dlg);
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{old, added}));
}

TEST_F(PickFolder, EmptyFieldKeepsTheDialogOpenAndSaysWhatIsMissing) {
  struct Case {
    const char* folder;
    const char* file;
    const char* said;
  };
  const Case cases[] = {{"", "/d/a.lzh", "バックアップ元"}, {"/e/a", "", "バックアップ先"}, {"", "", "バックアップ元"}};
  TDlgPickFolder dlg;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + "|" + c.file);
    script.messages.clear();
    script.modalHandlers.push_back([&](QDialog& d) {
      auto& p = static_cast<TDlgPickFolder&>(d);
      p.EditFolder->setText(QString::fromUtf8(c.folder));
      p.EditFile->setText(QString::fromUtf8(c.file));
      p.OKBtn->click();
      EXPECT_TRUE(d.isVisible()) << "the dialog stays open";
      EXPECT_EQ(p.EditFolder->text().toStdString(), c.folder);
      EXPECT_EQ(p.EditFile->text().toStdString(), c.file);
      // The user completes the pair and it is stored.
      p.EditFolder->setText(QString::fromStdString(Folder("e/done" + std::to_string(Targets().size()))));
      p.EditFile->setText(QString::fromStdString(Folder("d") + "/done.lzh"));
      p.OKBtn->click();
      EXPECT_FALSE(d.isVisible());
      return d.result();
    });
    EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Accepted);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(Said(script, c.said)) << script.messages.front().text;
  }
  EXPECT_EQ(Targets().size(), 3u);
}

TEST_F(PickFolder, FailedSaveShowsTheErrorKeepsTheDialogOpenAndStoresNothing) {
  const TargetPair old{"/e/old", "/d/old.lzh"};
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertTarget(*db, old);
  }
  FailOn("insert", "m_bkup");
  Exec("create trigger fail_update before update on m_bkup begin select raise(abort, 'disk full'); end");
  TDlgPickFolder dlg;
  for (bool update : {false, true}) {
    SCOPED_TRACE(update ? "update" : "add");
    script.messages.clear();
    if (update) dlg.PrepareUpdate(old.target_folder, old.bkup_file);
    script.modalHandlers.push_back([&](QDialog& d) {
      auto& p = static_cast<TDlgPickFolder&>(d);
      p.EditFolder->setText(QString::fromStdString(Folder("e/new")));
      p.EditFile->setText(QString::fromStdString(Folder("d") + "/new.lzh"));
      p.OKBtn->click();
      EXPECT_TRUE(d.isVisible());
      EXPECT_EQ(p.EditFolder->text().toStdString(), Folder("e/new")) << "what was typed is still there";
      d.close();
      return d.result();
    });
    platform::dialogs().ShowModal(dlg);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages.front().kind, platform::MsgKind::Error);
    EXPECT_TRUE(Said(script, "disk full")) << script.messages.front().text;
    EXPECT_TRUE(Said(script, "保存できませんでした"));
    EXPECT_EQ(Targets(), (std::vector<TargetPair>{old}));
    ExpectDatabaseFree();
    Exec("drop table probe");
  }
}

TEST_F(PickFolder, ApostropheInAPathIsStoredUnchanged) {
  const TargetPair pair{Folder("Bob's files"), Folder("D'Backup") + "/Bob's files.lzh"};
  TDlgPickFolder dlg;
  script.folderAnswers = {pair.target_folder, (root / "D'Backup").string()};
  script.modalHandlers.push_back([](QDialog& d) {
    auto& p = static_cast<TDlgPickFolder&>(d);
    p.ChooseBtn1->click();
    p.ChooseBtn2->click();
    p.OKBtn->click();
    return d.result();
  });
  platform::dialogs().ShowModal(dlg);
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{pair}));
  EXPECT_TRUE(script.messages.empty());
}

namespace {

// Fills the picker's fields and presses OK; the dialog stays open when it refuses.
int Submit(QDialog& d, const TargetPair& pair) {
  auto& p = static_cast<TDlgPickFolder&>(d);
  p.EditFolder->setText(QString::fromStdString(pair.target_folder));
  p.EditFile->setText(QString::fromStdString(pair.bkup_file));
  p.OKBtn->click();
  if (d.isVisible()) d.close();
  return d.result();
}

}  // namespace

// A NAS share or USB disk may be absent while the user sets up: the picker says which folder is
// missing and saves the pair only when the user says so.
TEST_F(PickFolder, AMissingFolderIsSaidAndSavedOnlyWhenTheUserWantsIt) {
  const std::string src = Folder("E/Data"), dst = Folder("D/Bk");
  const std::string gone = (root / "gone").string();
  struct Case {
    const char* label;
    TargetPair pair;
    std::vector<std::string> said;  // the folders named in the question
  };
  const Case cases[] = {
      {"source", {gone, dst + "/Data.lzh"}, {"バックアップ元フォルダ「" + gone + "」がありません。"}},
      {"backup file's folder", {src, gone + "/Data.lzh"}, {"バックアップ先ファイルのフォルダ「" + gone + "」がありません。"}},
      {"both", {gone, gone + "/x/Data.lzh"}, {"バックアップ元フォルダ「" + gone + "」", "「" + gone + "/x」"}},
  };
  TDlgPickFolder dlg;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    for (int answer : {platform::mbNo, platform::mbYes}) {
      script.messages.clear();
      script.messageAnswers = {answer};
      script.modalHandlers.push_back([&](QDialog& d) { return Submit(d, c.pair); });
      const int result = platform::dialogs().ShowModal(dlg);
      ASSERT_EQ(script.messages.size(), 1u);
      EXPECT_EQ(script.messages[0].kind, platform::MsgKind::Confirmation);
      for (const std::string& s : c.said) EXPECT_TRUE(Said(script, s)) << script.messages[0].text;
      EXPECT_TRUE(Said(script, "このまま保存しますか")) << script.messages[0].text;
      const auto targets = Targets();
      const bool stored = std::find(targets.begin(), targets.end(), c.pair) != targets.end();
      EXPECT_EQ(stored, answer == platform::mbYes);
      EXPECT_EQ(result, answer == platform::mbYes ? QDialog::Accepted : QDialog::Rejected);
    }
  }
  // Both folders there: no question.
  script.messages.clear();
  script.modalHandlers.push_back([&](QDialog& d) { return Submit(d, {src, dst + "/Data.lzh"}); });
  EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Accepted);
  EXPECT_TRUE(script.messages.empty());
}

// Two equal rows cannot be told apart: deleting one would delete both.
TEST_F(PickFolder, APairListedAlreadyIsRefusedAddedOrChangedInto) {
  const TargetPair a{Folder("E/A"), Folder("D") + "/A.lzh"}, b{Folder("E/B"), Folder("D") + "/B.lzh"};
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertTarget(*db, a);
    backupdb::InsertTarget(*db, b);
  }
  TDlgPickFolder dlg;
  // Added again.
  script.modalHandlers.push_back([&](QDialog& d) { return Submit(d, a); });
  EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Rejected);
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_EQ(script.messages[0].kind, platform::MsgKind::Error);
  EXPECT_TRUE(Said(script, "既に登録されています"));
  // b changed into a.
  script.messages.clear();
  dlg.PrepareUpdate(b.target_folder, b.bkup_file);
  script.modalHandlers.push_back([&](QDialog& d) { return Submit(d, a); });
  EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Rejected);
  EXPECT_EQ(script.messages.size(), 1u);
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{a, b}));
  // A change that keeps the pair as it was is no duplicate.
  script.messages.clear();
  dlg.PrepareUpdate(b.target_folder, b.bkup_file);
  script.modalHandlers.push_back([&](QDialog& d) { return Submit(d, b); });
  EXPECT_EQ(platform::dialogs().ShowModal(dlg), QDialog::Accepted);
  EXPECT_TRUE(script.messages.empty());
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{a, b}));
}

// A click into an empty field fills it from the folder view; the user goes on typing at its end,
// not where the click landed.
TEST_F(PickFolder, AClickThatFillsAFieldLeavesTheCursorAtItsEnd) {
  const std::string src = Folder("E/Users/Data"), dst = Folder("D/Backup");
  TDlgPickFolder dlg;
  dlg.show();
  dlg.DirectoryListBox1->SetDirectory(src);
  dlg.DirectoryListBox2->SetDirectory(dst);
  for (QLineEdit* field : {dlg.EditFolder, dlg.EditFile}) {
    field->clear();
    Focus(*field, Qt::MouseFocusReason);
    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(4, field->height() / 2));
    QCoreApplication::processEvents();
    ASSERT_FALSE(field->text().isEmpty());
    EXPECT_EQ(field->cursorPosition(), field->text().size()) << field->text().toStdString();
  }
  dlg.hide();
}

#include "uDPickFolder.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include "BackupDb.h"
#include "Dialogs.h"
#include "FolderList.h"
#include "FormLook.h"
#include "Paths.h"
#include "UserFocus.h"

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string text(const QLineEdit* edit) { return edit->text().toStdString(); }

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// The click that filled the field places its cursor once the press is handled: at the end, where
// the user goes on typing.
void CursorToEndAfterClick(QLineEdit* field) {
  QTimer::singleShot(0, field, [field] { field->end(false); });
}

}  // namespace

TDlgPickFolder::TDlgPickFolder(QWidget* parent) : QDialog(parent) {
  setObjectName("DlgPickFolder");
  setWindowTitle(QString::fromUtf8("フォルダ選択"));
  setFixedSize(515, 411);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  ApplyFormLook(*this, nullptr);

  Label1 = new QLabel(QString::fromUtf8("バックアップ元"), this);
  Label1->setGeometry(48, 44, 145, 16);
  ChooseBtn1 = new QPushButton(QString::fromUtf8("フォルダを選ぶ..."), this);
  ChooseBtn1->setObjectName("ChooseBtn1");
  ChooseBtn1->setGeometry(48, 64, 145, 23);
  DirectoryListBox1 = new TFolderList(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DirectoryListBox1->setGeometry(48, 89, 145, 216);
  EditFolder = new QLineEdit(this);
  EditFolder->setObjectName("EditFolder");
  EditFolder->setGeometry(40, 327, 159, 25);
  Button1 = new QPushButton(QString::fromUtf8("選択"), this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(199, 327, 41, 25);

  Label3 = new QLabel(QStringLiteral("==>"), this);
  Label3->setGeometry(224, 168, 40, 16);

  Label2 = new QLabel(QString::fromUtf8("バックアップ先"), this);
  Label2->setGeometry(280, 44, 145, 16);
  ChooseBtn2 = new QPushButton(QString::fromUtf8("フォルダを選ぶ..."), this);
  ChooseBtn2->setObjectName("ChooseBtn2");
  ChooseBtn2->setGeometry(280, 64, 145, 23);
  DirectoryListBox2 = new TFolderList(this);
  DirectoryListBox2->setObjectName("DirectoryListBox2");
  DirectoryListBox2->setGeometry(280, 89, 145, 216);
  EditFile = new QLineEdit(this);
  EditFile->setObjectName("EditFile");
  EditFile->setGeometry(272, 327, 159, 25);
  Button2 = new QPushButton(QString::fromUtf8("選択"), this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(431, 327, 41, 25);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setGeometry(120, 375, 81, 27);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QString::fromUtf8("キャンセル"), this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(256, 375, 81, 27);
  for (QPushButton* b : {ChooseBtn1, Button1, ChooseBtn2, Button2, CancelBtn}) b->setAutoDefault(false);

  QWidget::setTabOrder(ChooseBtn1, DirectoryListBox1);
  QWidget::setTabOrder(DirectoryListBox1, EditFolder);
  QWidget::setTabOrder(EditFolder, Button1);
  QWidget::setTabOrder(Button1, ChooseBtn2);
  QWidget::setTabOrder(ChooseBtn2, DirectoryListBox2);
  QWidget::setTabOrder(DirectoryListBox2, EditFile);
  QWidget::setTabOrder(EditFile, Button2);
  QWidget::setTabOrder(Button2, OKBtn);
  QWidget::setTabOrder(OKBtn, CancelBtn);

  // The views start in the user's home folder, as a folder list starts in the current one.
  const std::string home = QDir::homePath().toStdString();
  DirectoryListBox1->SetDirectory(home);
  DirectoryListBox2->SetDirectory(home);

  connect(DirectoryListBox1, &TFolderList::DirectoryChanged, this, &TDlgPickFolder::DirectoryListBox1Change);
  connect(DirectoryListBox1, &TFolderList::Clicked, this, &TDlgPickFolder::DirectoryListBox1Change);
  connect(Button1, &QPushButton::clicked, this, &TDlgPickFolder::DirectoryListBox1Change);
  connect(DirectoryListBox2, &TFolderList::Clicked, this, &TDlgPickFolder::EditFileEnter);
  connect(Button2, &QPushButton::clicked, this, &TDlgPickFolder::EditFileEnter);
  connect(ChooseBtn1, &QPushButton::clicked, this, &TDlgPickFolder::ChooseBtn1Click);
  connect(ChooseBtn2, &QPushButton::clicked, this, &TDlgPickFolder::ChooseBtn2Click);
  connect(OKBtn, &QPushButton::clicked, this, &TDlgPickFolder::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TDlgPickFolder::CancelBtnClick);
  EditFolder->installEventFilter(this);
  EditFile->installEventFilter(this);
}

void TDlgPickFolder::PrepareUpdate(const std::string& oldFolder, const std::string& oldFile) {
  FUpdateMode = 1;
  FOldFolder = oldFolder;
  FOldFile = oldFile;
}

std::string TDlgPickFolder::DefaultBackupFile() const {
  return DirectoryListBox2->Directory() + platform::PathDelim +
         platform::ExtractFileName(DirectoryListBox1->Directory()) + ".lzh";
}

void TDlgPickFolder::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

// Fields entered by the user take the side's proposal, as the folder views offer it.
bool TDlgPickFolder::eventFilter(QObject* watched, QEvent* event) {
  if (UserFocus(event)) {
    if (watched == EditFolder) DirectoryListBox1Change();
    if (watched == EditFile) EditFileEnter();
    if (watched == EditFolder || watched == EditFile) CursorToEndAfterClick(static_cast<QLineEdit*>(watched));
  }
  return QDialog::eventFilter(watched, event);
}

// Only a change opens on the old pair; an add keeps whatever the controls showed last.
void TDlgPickFolder::FormShow() {
  if (FUpdateMode == 0) return;
  DirectoryListBox1->SetDirectory(FOldFolder);
  DirectoryListBox2->SetDirectory(platform::ExtractFilePath(FOldFile));
  EditFolder->setText(q(FOldFolder));
  EditFile->setText(q(FOldFile));
}

void TDlgPickFolder::DirectoryListBox1Change() { EditFolder->setText(q(DirectoryListBox1->Directory())); }

void TDlgPickFolder::EditFileEnter() { EditFile->setText(q(DefaultBackupFile())); }

void TDlgPickFolder::ChooseBtn1Click() {
  if (auto dir = platform::dialogs().ChooseFolder(this, "バックアップ元フォルダの選択", DirectoryListBox1->Directory())) {
    DirectoryListBox1->SetDirectory(*dir);
    DirectoryListBox1Change();
  }
}

// Choosing the destination is the folder view's click: the backup file follows it.
void TDlgPickFolder::ChooseBtn2Click() {
  if (auto dir = platform::dialogs().ChooseFolder(this, "バックアップ先フォルダの選択", DirectoryListBox2->Directory())) {
    DirectoryListBox2->SetDirectory(*dir);
    EditFileEnter();
  }
}

// A pair the user typed is never dropped in silence: what is missing or what failed is said,
// and the dialog stays open for another try or Cancel.
void TDlgPickFolder::OKBtnClick() {
  if (EditFolder->text().isEmpty()) {
    platform::dialogs().ShowError(this, "バックアップ元フォルダを指定してください。");
    return;
  }
  if (EditFile->text().isEmpty()) {
    platform::dialogs().ShowError(this, "バックアップ先ファイルを指定してください。");
    return;
  }
  const backupdb::TargetPair pair{text(EditFolder), text(EditFile)};
  try {
    if (IsListedElsewhere(pair)) {
      // Deleting one of two equal rows would delete both: the delete names the pair.
      platform::dialogs().ShowError(this, "同じバックアップ元フォルダとバックアップ先ファイルの組み合わせが既に登録されています。");
      return;
    }
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, std::string("バックアップ対象を保存できませんでした。\n") + e.what());
    return;
  }
  if (!ConfirmMissingFolders(pair)) return;
  try {
    auto db = backupdb::OpenDatabase();
    TSQLiteTransaction tx(*db);
    if (FUpdateMode != 0) {
      backupdb::UpdateTarget(*db, {FOldFolder, FOldFile}, pair);
    } else {
      backupdb::InsertTarget(*db, pair);
    }
    tx.Commit();
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, std::string("バックアップ対象を保存できませんでした。\n") + e.what());
    return;
  }
  accept();
}

bool TDlgPickFolder::IsListedElsewhere(const backupdb::TargetPair& pair) const {
  auto db = backupdb::OpenDatabase();
  std::vector<backupdb::TargetPair> pairs = backupdb::ReadTargets(*db);
  // A change may keep the pair it edits as it was.
  if (FUpdateMode != 0) {
    const auto old = std::find(pairs.begin(), pairs.end(), backupdb::TargetPair{FOldFolder, FOldFile});
    if (old != pairs.end()) pairs.erase(old);
  }
  return std::find(pairs.begin(), pairs.end(), pair) != pairs.end();
}

// A NAS share or a USB disk may be absent while the user sets up: a missing folder is said, and
// saved only when the user wants it so.
bool TDlgPickFolder::ConfirmMissingFolders(const backupdb::TargetPair& pair) {
  std::string missing;
  if (!IsFolder(pair.target_folder)) missing += "バックアップ元フォルダ「" + pair.target_folder + "」がありません。\n";
  const std::string fileFolder = platform::ExtractFilePath(pair.bkup_file);
  if (!IsFolder(fileFolder.empty() ? std::string(".") : fileFolder)) {
    const std::string shown = platform::ExcludeTrailingPathDelimiter(fileFolder);
    missing += "バックアップ先ファイルのフォルダ「" + (shown.empty() ? fileFolder : shown) + "」がありません。\n";
  }
  if (missing.empty()) return true;
  return platform::dialogs().MessageBox(this, missing + "このまま保存しますか?", platform::AppTitle,
                                        platform::MsgKind::Confirmation, platform::mbYes | platform::mbNo) ==
         platform::mbYes;
}

void TDlgPickFolder::CancelBtnClick() { reject(); }

// Update mode lasts one showing, however it ends.
void TDlgPickFolder::done(int result) {
  FUpdateMode = 0;
  QDialog::done(result);
}

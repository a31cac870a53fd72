// The folder pair picker: the folder to back up and the backup file, inserted into m_bkup (add
// mode) or replacing an existing pair (update mode, started by PrepareUpdate for one showing).
#pragma once
#include <string>

#include <QDialog>

#include "BackupDb.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TFolderList;

class TDlgPickFolder : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgPickFolder(QWidget* parent = nullptr);

  QLabel* Label1;
  QPushButton* ChooseBtn1;  // the source side's folder chooser
  TFolderList* DirectoryListBox1;
  QLineEdit* EditFolder;
  QPushButton* Button1;
  QLabel* Label3;
  QLabel* Label2;
  QPushButton* ChooseBtn2;  // the destination side's folder chooser
  TFolderList* DirectoryListBox2;
  QLineEdit* EditFile;
  QPushButton* Button2;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  // The next showing edits this pair instead of adding one.
  void PrepareUpdate(const std::string& oldFolder, const std::string& oldFile);
  bool UpdateMode() const { return FUpdateMode != 0; }

  // Destination folder + "/" + last component of the source folder + ".lzh".
  std::string DefaultBackupFile() const;

  void OKBtnClick();
  void CancelBtnClick();
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void DirectoryListBox1Change();
  void EditFileEnter();
  void ChooseBtn1Click();
  void ChooseBtn2Click();

  // The pair is stored already, other than as the pair being changed.
  bool IsListedElsewhere(const backupdb::TargetPair& pair) const;
  // True when both folders exist or the user saves anyway.
  bool ConfirmMissingFolders(const backupdb::TargetPair& pair);

  int FUpdateMode = 0;
  std::string FOldFolder;
  std::string FOldFile;
};

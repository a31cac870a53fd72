// Restores a whole backup archive: the user picks the archive and a destination folder, and every
// member is extracted with its folders, straight into the destination or into a new folder named
// after the archive.
#pragma once
#include <QDialog>
#include <memory>
#include <string>
#include <string_view>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TArchiveFile;
class TDlgPickFolder2;

class TfrmMeltArc : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmMeltArc(TDlgPickFolder2& picker, QWidget* parent = nullptr);
  ~TfrmMeltArc() override;

  static constexpr std::string_view OpenDialog1Filter = "バックアップファイル|*.lzh";

  // Controls.
  QFrame* Bevel1;
  QLabel* Label1;
  QLineEdit* EditFile;     // shows BackupFile
  QPushButton* cxBtnFile;  // first "参照"
  QLabel* Label2;
  QLineEdit* EditDir;      // shows DestFolder
  QPushButton* cxBtnDir;   // second "参照"
  QCheckBox* ChkBx1;       // extract into a new folder named after the archive
  QPushButton* cxBtnGO;    // "実行"
  QPushButton* cxBtnNG;    // "キャンセル"
  std::unique_ptr<TArchiveFile> ArchiveFile1;

  // What the buttons chose; the restore reads these, never the text boxes.
  std::string BackupFile;
  std::string DestFolder;

  void cxBtnFileClick();
  void cxBtnDirClick();
  void cxBtnGOClick();
  void cxBtnNGClick();

 private:
  TDlgPickFolder2& FPicker;
};

// The small folder picker: the destination of a whole restore, and of one extracted entry in the
// backup browser, where it also offers to open the file afterwards. The folder is chosen with
// the desktop's folder chooser; the text box holds what OK confirms.
#pragma once
#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TDlgPickFolder2 : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgPickFolder2(QWidget* parent = nullptr);

  // Controls.
  QFrame* Bevel1;
  QLabel* FolderView;        // the current folder, as the folder list would show it
  QPushButton* BtnBrowse;    // opens the folder chooser at the current folder
  QFrame* Bevel2;
  QLineEdit* EditFolder;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
  QRadioButton* RdBtn1;      // "解凍後開く", offered only in mode 1

  // The folder confirmed with OK.
  std::string Folder;
  // 1: offer "解凍後開く"; any other value hides it.
  int Mode = 0;
  // 1 from each showing until OK is pressed, then 0.
  int Cancelled = 1;

  void SetMode(int mode) { Mode = mode; }
  const std::string& GetFolder() const { return Folder; }

  const std::string& CurrentFolder() const { return FCurrentFolder; }
  // Moves the current folder, as choosing it in the folder list does.
  void SetCurrentFolder(std::string folder);

  void FormShow();
  void BtnBrowseClick();
  void DirectoryListBox1Change();
  void EditFolderEnter();
  void OKBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::string FCurrentFolder;
};

// The backup file browser: the user opens one backup archive, walks its folders in the tree
// and the list, and extracts a single entry into a chosen folder, optionally opening it.
#pragma once
#include <QDialog>
#include <memory>
#include <string_view>

#include "ArcCtrls.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class TArchiveFile;
class TDlgPickFolder2;

class TfrmBkupList : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmBkupList(TDlgPickFolder2& picker, QWidget* parent = nullptr);
  ~TfrmBkupList() override;

  static constexpr std::string_view OpenDialog1Filter = "バックアップファイル|*.lzh";
  static constexpr std::string_view ExtractErrorText = "ファイル解凍エラーが発生しました";

  // Controls.
  QMenuBar* MainMenu1;
  QMenu* File1;        // "ファイル(&F)"
  QAction* Open1;      // "開く(&O)": opens an archive, as "開く" does
  QAction* Exit1;      // "終了(&X)": closes the window
  QFrame* Panel1;
  QLabel* LabeledEdit1Label;  // "ツリーパス"
  QLineEdit* LabeledEdit1;
  QPushButton* cxBtnopn;  // "開く"
  QSplitter* Splitter1;
  TArcTreeView* ArcTreeView1;
  TArcListView* ArcListView1;
  QMenu* PopupMenu1;
  QAction* N1;  // "解凍"
  std::unique_ptr<TArchiveFile> ArchiveFile1;

  void FormShow();
  void cxBtnopnClick();
  void ArcTreeView1Change();
  void LabeledEdit1KeyDown(int key);
  void LabeledEdit1Exit();
  void ArcListView1DblClick();
  void N1Click();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TDlgPickFolder2& FPicker;
};

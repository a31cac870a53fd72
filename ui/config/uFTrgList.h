// The settings window: the list of target pairs with add, change and delete through the folder
// pair picker, the schedule window, and the retention choice stored whenever the window closes.
#pragma once
#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QTableWidget;
class TDlgPickFolder;
class TfrmSchedule;
class TFrmBtn2;
class TOKRightDlg2;

class TfrmTrgList : public QDialog {
  Q_OBJECT

 public:
  TfrmTrgList(TDlgPickFolder& picker, TfrmSchedule& schedule, TOKRightDlg2& confirm, QWidget* parent = nullptr);

  QTableWidget* ListViewBK;  // column 0 the item's caption (folder), column 1 its sub-item (backup file)
  TFrmBtn2* FrmBtn21;
  QPushButton* cxBtnsc;
  QGroupBox* RadioGrp1;
  QButtonGroup* RadioGrp1Buttons;  // ids 0-2: the del_flg value

  void LoadTargets();
  void LoadDeleteFlag();

  void FrmBtn21btnnewClick();
  void FrmBtn21btnupdateClick();
  void FrmBtn21btnremoveClick();
  void cxBtnscClick();
  // Every close passes here, by the close box, Escape or the program.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void FormClose();
  void AddItem(const std::string& folder, const std::string& file);

  TDlgPickFolder& FPicker;
  TfrmSchedule& FSchedule;
  TOKRightDlg2& FConfirm;
};

// A yes/no confirmation whose question the caller writes into Label1. The answer is Cancelled,
// not the modal result: both buttons end the dialog with OK.
#pragma once
#include <cstdint>

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TOKRightDlg2 : public QDialog {
  Q_OBJECT

 public:
  explicit TOKRightDlg2(QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;
  QPushButton* OKBtn;
  QPushButton* btncancel;

  // 1 = no (also when the dialog is closed by its close box), 0 = yes.
  std::int32_t Cancelled = 1;

  void OKBtnClick();
  void btncancelClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
};

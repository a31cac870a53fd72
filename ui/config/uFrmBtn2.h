// A reusable panel of three buttons (add, change, delete) with a busy flag: while a command runs,
// its button reads "登録" and the others are disabled. The owner connects the buttons' clicks
// and calls btnnewClick / btnupdateClick from its own handlers; the delete button is the owner's.
#pragma once
#include <QFrame>

class QPushButton;

class TFrmBtn2 : public QFrame {
  Q_OBJECT

 public:
  explicit TFrmBtn2(QWidget* parent = nullptr);

  QPushButton* btnnew;
  QPushButton* btnupdate;
  QPushButton* btnremove;

  // 0 or 1: a command started from this frame is in progress.
  int FBusy = 0;

  // Modes 0-3 change only the caption and the enabled states of their row; 4 disables all, 5 enables all.
  void SetButtonMode(int mode);
  void btnnewClick();
  void btnupdateClick();
  void ResetButtons();
};

#include "uFrmBtn2.h"

#include <QPalette>
#include <QPushButton>

namespace {
const char* const NewCaption = "追加";
const char* const UpdateCaption = "更新";
const char* const RemoveCaption = "削除";
const char* const RegisterCaption = "登録";
}  // namespace

TFrmBtn2::TFrmBtn2(QWidget* parent) : QFrame(parent) {
  setObjectName("FrmBtn2");
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Sunken);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(227, 220, 228));
  setPalette(pal);
  setAutoFillBackground(true);
  resize(91, 86);

  btnnew = new QPushButton(QString::fromUtf8(NewCaption), this);
  btnnew->setObjectName("btnnew");
  btnnew->setGeometry(8, 8, 75, 23);
  btnupdate = new QPushButton(QString::fromUtf8(UpdateCaption), this);
  btnupdate->setObjectName("btnupdate");
  btnupdate->setGeometry(8, 31, 75, 23);
  btnremove = new QPushButton(QString::fromUtf8(RemoveCaption), this);
  btnremove->setObjectName("btnremove");
  btnremove->setGeometry(8, 54, 75, 23);
  for (QPushButton* b : {btnnew, btnupdate, btnremove}) b->setAutoDefault(false);
}

void TFrmBtn2::SetButtonMode(int mode) {
  switch (mode) {
    case 0:
      btnnew->setText(QString::fromUtf8(RegisterCaption));
      btnupdate->setEnabled(false);
      btnremove->setEnabled(false);
      break;
    case 1:
      btnnew->setText(QString::fromUtf8(NewCaption));
      btnupdate->setEnabled(true);
      btnremove->setEnabled(true);
      break;
    case 2:
      btnnew->setEnabled(false);
      btnupdate->setText(QString::fromUtf8(RegisterCaption));
      btnremove->setEnabled(false);
      break;
    case 3:
      btnnew->setEnabled(true);
      btnupdate->setText(QString::fromUtf8(UpdateCaption));
      btnremove->setEnabled(true);
      break;
    case 4:
    case 5:
      for (QPushButton* b : {btnnew, btnupdate, btnremove}) b->setEnabled(mode == 5);
      break;
    default:
      break;
  }
}

void TFrmBtn2::btnnewClick() {
  if (FBusy != 0) {
    FBusy = 0;
    SetButtonMode(1);
  } else {
    FBusy = 1;
    SetButtonMode(0);
  }
}

void TFrmBtn2::btnupdateClick() {
  if (FBusy != 0) {
    FBusy = 0;
    SetButtonMode(3);
  } else {
    FBusy = 1;
    SetButtonMode(2);
  }
}

void TFrmBtn2::ResetButtons() {
  FBusy = 0;
  btnnew->setText(QString::fromUtf8(NewCaption));
  btnupdate->setText(QString::fromUtf8(UpdateCaption));
  btnremove->setText(QString::fromUtf8(RemoveCaption));
  SetButtonMode(5);
}

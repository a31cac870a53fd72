#include "uOKRightDlg2.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>

TOKRightDlg2::TOKRightDlg2(QWidget* parent) : QDialog(parent) {
  setObjectName("OKRightDlg2");
  setWindowTitle(QString::fromUtf8("確認ダイアログ"));
  setFixedSize(339, 114);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(189, 235, 31));
  setPalette(pal);
  setAutoFillBackground(true);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(8, 8, 249, 98);

  Label1 = new QLabel(QStringLiteral("Label1"), Bevel1);
  Label1->setObjectName("Label1");
  QFont questionFont(QString::fromUtf8("ＭＳ Ｐゴシック"));
  questionFont.setPixelSize(16);
  Label1->setFont(questionFont);
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setGeometry(8, 8, 233, 82);

  // 68 rather than 60 wide, so that "キャンセル" in the CJK fallback font is not clipped.
  // Both buttons are default buttons in the window definition; Qt allows one, so OK is.
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setGeometry(264, 16, 68, 27);
  OKBtn->setDefault(true);
  btncancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
  btncancel->setObjectName("btncancel");
  btncancel->setGeometry(264, 56, 68, 27);
  btncancel->setAutoDefault(false);

  connect(OKBtn, &QPushButton::clicked, this, &TOKRightDlg2::OKBtnClick);
  connect(btncancel, &QPushButton::clicked, this, &TOKRightDlg2::btncancelClick);
}

void TOKRightDlg2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TOKRightDlg2::FormShow() { Cancelled = 1; }

void TOKRightDlg2::OKBtnClick() {
  Cancelled = 0;
  Label1->clear();
  done(QDialog::Accepted);
}

void TOKRightDlg2::btncancelClick() {
  Cancelled = 1;
  Label1->clear();
  done(QDialog::Accepted);
}

#include "uABOUT.h"

TAboutBox::TAboutBox(QWidget* parent)
    : TVersionBox(QString::fromUtf8("製品名: Tidekeep"), QString::fromUtf8("バージョン 1.0"), parent) {
  setObjectName("AboutBox");
}

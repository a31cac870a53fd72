// The "バージョン" item's dialog: the version dialog's layout with its own texts.
#pragma once
#include "uDlgVersion.h"

class TAboutBox : public TVersionBox {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

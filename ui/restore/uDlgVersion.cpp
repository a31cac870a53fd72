#include "uDlgVersion.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "JpegPicture.h"

TVersionBox::TVersionBox(const QString& productName, const QString& version, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("バージョン情報"));
  setFixedSize(273, 195);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  QFont font(QString::fromUtf8("ＭＳ Ｐゴシック"));
  font.setPixelSize(12);
  setFont(font);

  Panel1 = new QFrame(this);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  Panel1->setGeometry(8, 8, 257, 145);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setGeometry(8, 8, 60, 53);
  ProgramIcon->setScaledContents(true);

  ProductName = new QLabel(productName, Panel1);
  ProductName->setObjectName("ProductName");
  ProductName->setGeometry(88, 16, 161, 16);
  Version = new QLabel(version, Panel1);
  Version->setObjectName("Version");
  Version->setGeometry(88, 40, 161, 16);
  Copyright = new QLabel(QString::fromUtf8("常駐型バックアップユーティリティ"), Panel1);
  Copyright->setObjectName("Copyright");
  Copyright->setGeometry(8, 80, 241, 16);
  Comments = new QLabel(QString::fromUtf8("設定と履歴は backup.db に保存されます"), Panel1);
  Comments->setObjectName("Comments");
  Comments->setGeometry(8, 104, 241, 32);
  Comments->setWordWrap(true);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(102, 162, 69, 23);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  SetProgramIcon(ProgramIconImage());
}

void TVersionBox::SetProgramIcon(const QImage& image) {
  if (image.isNull()) {
    ProgramIcon->clear();
  } else {
    ProgramIcon->setPixmap(QPixmap::fromImage(image));
  }
}

TDlgVersion::TDlgVersion(QWidget* parent)
    : TVersionBox(QStringLiteral("Tidekeep"), QString::fromUtf8("バージョン\u3000Ver1.0"), parent) {
  setObjectName("DlgVersion");
}

// The two version dialogs share one layout: a raised panel with the program icon, the product
// name, the version and two lines of our own, and an OK button below.
#pragma once
#include <QDialog>
#include <QImage>

class QFrame;
class QLabel;
class QPushButton;

class TVersionBox : public QDialog {
  Q_OBJECT

 public:
  QFrame* Panel1;
  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Copyright;
  QLabel* Comments;
  QPushButton* OKButton;

  // Shows the picture stretched over the icon area; a null image leaves the area empty.
  void SetProgramIcon(const QImage& image);

 protected:
  TVersionBox(const QString& productName, const QString& version, QWidget* parent);
};

class TDlgVersion : public TVersionBox {
  Q_OBJECT

 public:
  explicit TDlgVersion(QWidget* parent = nullptr);
};

#include "uDPickFolder2.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

#include "Dialogs.h"
#include "Paths.h"
#include "FormLook.h"
#include "UserFocus.h"

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QFrame* makeBevel(QWidget* parent, int x, int y, int w, int h) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setGeometry(x, y, w, h);
  return frame;
}

}  // namespace

TDlgPickFolder2::TDlgPickFolder2(QWidget* parent) : QDialog(parent) {
  setObjectName("DlgPickFolder2");
  setWindowTitle("フォルダ選択");
  ApplyFormLook(*this, nullptr);
  setFixedSize(297, 353);

  Bevel1 = makeBevel(this, 8, 8, 194, 277);
  FolderView = new QLabel(Bevel1);
  FolderView->setGeometry(8, 8, 178, 226);
  FolderView->setFrameShape(QFrame::StyledPanel);
  FolderView->setFrameShadow(QFrame::Sunken);
  FolderView->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FolderView->setWordWrap(true);
  FolderView->setBackgroundRole(QPalette::Base);
  FolderView->setAutoFillBackground(true);
  BtnBrowse = new QPushButton("参照...", Bevel1);
  BtnBrowse->setGeometry(111, 242, 75, 25);
  BtnBrowse->setAutoDefault(false);

  Bevel2 = makeBevel(this, 8, 293, 194, 52);
  EditFolder = new QLineEdit(Bevel2);
  EditFolder->setGeometry(8, 14, 178, 24);
  EditFolder->installEventFilter(this);

  OKBtn = new QPushButton("OK", this);
  OKBtn->setGeometry(210, 8, 79, 25);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("キャンセル", this);
  CancelBtn->setGeometry(210, 38, 79, 25);
  CancelBtn->setAutoDefault(false);
  RdBtn1 = new QRadioButton("解凍後開く", this);
  RdBtn1->setGeometry(210, 72, 85, 20);
  // A lone radio button could never be turned off again; let a second click clear it.
  RdBtn1->setAutoExclusive(false);

  connect(BtnBrowse, &QPushButton::clicked, this, &TDlgPickFolder2::BtnBrowseClick);
  connect(OKBtn, &QPushButton::clicked, this, &TDlgPickFolder2::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TDlgPickFolder2::SetCurrentFolder(std::string folder) {
  FCurrentFolder = std::move(folder);
  FolderView->setText(q(FCurrentFolder));
  DirectoryListBox1Change();
}

void TDlgPickFolder2::FormShow() {
  // Every showing starts at the temporary folder, whatever was chosen before.
  SetCurrentFolder(platform::ExcludeTrailingPathDelimiter(platform::TempDir()));
  Cancelled = 1;
  RdBtn1->setVisible(Mode == 1);
}

void TDlgPickFolder2::BtnBrowseClick() {
  auto chosen = platform::dialogs().ChooseFolder(this, "フォルダ選択", FCurrentFolder);
  if (chosen) SetCurrentFolder(platform::ExcludeTrailingPathDelimiter(*chosen));
}

void TDlgPickFolder2::DirectoryListBox1Change() { EditFolder->setText(q(FCurrentFolder)); }

void TDlgPickFolder2::EditFolderEnter() { EditFolder->setText(q(FCurrentFolder)); }

void TDlgPickFolder2::OKBtnClick() {
  Folder = EditFolder->text().toStdString();
  Cancelled = 0;
  accept();
}

void TDlgPickFolder2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  FormShow();
}

bool TDlgPickFolder2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == EditFolder && UserFocus(event)) EditFolderEnter();
  return QDialog::eventFilter(watched, event);
}

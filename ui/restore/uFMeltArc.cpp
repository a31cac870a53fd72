#include "uFMeltArc.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <exception>
#include <filesystem>

#include "ARCHIVES.h"
#include "Dialogs.h"
#include "LibraryMessages.h"
#include "Paths.h"
#include "uDPickFolder2.h"
#include "FormLook.h"

namespace {

constexpr std::string_view ExtractErrorText = "ファイル解凍エラーが発生しました";
constexpr std::string_view FinishedText = "解凍が終了しました";

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TfrmMeltArc::TfrmMeltArc(TDlgPickFolder2& picker, QWidget* parent)
    : QDialog(parent), ArchiveFile1(std::make_unique<TArchiveFile>()), FPicker(picker) {
  setObjectName("frmMeltArc");
  setWindowTitle("バックアップの解凍");
  ApplyFormLook(*this, &FormBackground);
  resize(431, 240);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(8, 8, 415, 181);

  Label1 = new QLabel("バックアップファイル", Bevel1);
  Label1->setGeometry(16, 12, 305, 18);
  EditFile = new QLineEdit(Bevel1);
  EditFile->setGeometry(16, 32, 305, 25);
  EditFile->setReadOnly(true);
  cxBtnFile = new QPushButton("参照", Bevel1);
  cxBtnFile->setGeometry(329, 32, 58, 25);

  Label2 = new QLabel("解凍先", Bevel1);
  Label2->setGeometry(16, 70, 305, 18);
  EditDir = new QLineEdit(Bevel1);
  EditDir->setGeometry(16, 90, 305, 25);
  EditDir->setReadOnly(true);
  cxBtnDir = new QPushButton("参照", Bevel1);
  cxBtnDir->setGeometry(329, 90, 58, 25);

  ChkBx1 = new QCheckBox("ファイル名と同名のフォルダを作成し解凍する", Bevel1);
  ChkBx1->setGeometry(16, 134, 380, 22);
  ChkBx1->setChecked(true);

  cxBtnGO = new QPushButton("実行", this);
  cxBtnGO->setGeometry(264, 202, 75, 25);
  cxBtnNG = new QPushButton("キャンセル", this);
  cxBtnNG->setGeometry(347, 202, 75, 25);
  for (QPushButton* b : {cxBtnFile, cxBtnDir, cxBtnGO, cxBtnNG}) b->setAutoDefault(false);

  connect(cxBtnFile, &QPushButton::clicked, this, &TfrmMeltArc::cxBtnFileClick);
  connect(cxBtnDir, &QPushButton::clicked, this, &TfrmMeltArc::cxBtnDirClick);
  connect(cxBtnGO, &QPushButton::clicked, this, &TfrmMeltArc::cxBtnGOClick);
  connect(cxBtnNG, &QPushButton::clicked, this, &TfrmMeltArc::cxBtnNGClick);
}

TfrmMeltArc::~TfrmMeltArc() = default;

void TfrmMeltArc::cxBtnFileClick() {
  // The backup files first, then every archive the component can open.
  const std::string filter = std::string(OpenDialog1Filter) + "|" + ArchiveFileFilter("書庫ファイル");
  auto chosen = platform::dialogs().OpenFile(this, "開く", filter, {});
  if (!chosen) return;
  BackupFile = *chosen;
  EditFile->setText(q(BackupFile));
}

void TfrmMeltArc::cxBtnDirClick() {
  FPicker.SetMode(0);
  platform::dialogs().ShowModal(FPicker);
  if (FPicker.Cancelled == 1) return;
  DestFolder = FPicker.GetFolder();
  EditDir->setText(q(DestFolder));
}

void TfrmMeltArc::cxBtnGOClick() {
  if (DestFolder.empty() || BackupFile.empty()) return;
  try {
    ArchiveFile1->SetFileName(BackupFile);
    TArchiverOptions& options = ArchiveFile1->Options();
    options.x = 1;
    options.jso = 1;
    options.jse = 1;
    ArchiveFile1->SetOutputSize(8192);

    const std::string base = platform::ChangeFileExt(platform::ExtractFileName(BackupFile), "");
    std::string dest = DestFolder;
    if (ChkBx1->isChecked()) {
      dest = platform::JoinPath(DestFolder, base);
      // An existing folder is used as it is; a folder that cannot be made shows up as the
      // library's failure to write into it.
      std::error_code ignored;
      std::filesystem::create_directory(dest, ignored);
    }
    if (const int rc = ArchiveFile1->Extract(0, nullptr, dest, {}); rc != 0) {
      // The library refused (a damaged archive, a member that would land outside dest, a
      // file it could not write): say what failed, with its words below, before calling the
      // restore finished.
      platform::dialogs().ShowError(
          this, platform::LibraryErrorText(rc, platform::ExtractFileName(BackupFile), ArchiveFile1->Output()));
    }
  } catch (const std::exception&) {
    platform::dialogs().ShowError(this, ExtractErrorText);
  }
  platform::dialogs().ShowMessage(this, FinishedText);
}

void TfrmMeltArc::cxBtnNGClick() { close(); }

#include "Forms.h"

#include <QDialog>
#include <QString>

#include "DefaultHandler.h"

TForms::TForms() = default;
TForms::~TForms() = default;

bool TForms::Create() {
  FfrmMain = std::make_unique<TfrmMain>();
  if (!RunCommand(FfrmMain.get(), [this] { FfrmMain->FormCreate(); })) return false;
  CreatePlaceholderWindows();
  FfrmMain->SetWindows({FfrmTrgList.get(), FfrmBkupList.get(), FfrmLogList.get(), FfrmMeltArc.get(),
                        FDlgVersion.get(), FAboutBox.get()});
  return true;
}

// Windows whose classes are still being built: plain dialogs named after their classes, in the
// order their collaborators need them.
void TForms::CreatePlaceholderWindows() {
  auto placeholder = [this](const char* className) {
    auto dialog = std::make_unique<QDialog>(FfrmMain.get());
    dialog->setObjectName(QString::fromLatin1(className));
    return dialog;
  };
  FfrmSchedule = placeholder("TfrmSchedule");
  FDlgPickFolder = placeholder("TDlgPickFolder");
  FOKRightDlg2 = placeholder("TOKRightDlg2");
  FfrmTrgList = placeholder("TfrmTrgList");
  FDlgPickFolder2 = placeholder("TDlgPickFolder2");
  FfrmMeltArc = placeholder("TfrmMeltArc");
  FfrmLogList = placeholder("TfrmLogList");
  FfrmBkupList = placeholder("TfrmBkupList");
  FDlgVersion = placeholder("TDlgVersion");
  FAboutBox = placeholder("TAboutBox");
}

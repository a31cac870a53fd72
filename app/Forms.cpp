#include "Forms.h"

#include "DefaultHandler.h"
#include "uABOUT.h"
#include "uDPickFolder.h"
#include "uDPickFolder2.h"
#include "uDlgVersion.h"
#include "uFBkupList.h"
#include "uFLogList.h"
#include "uFMeltArc.h"
#include "uFSchedule.h"
#include "uFTrgList.h"
#include "uOKRightDlg2.h"

TForms::TForms() = default;
TForms::~TForms() = default;

bool TForms::Create() {
  FfrmMain = std::make_unique<TfrmMain>();
  if (!RunCommand(FfrmMain.get(), [this] { FfrmMain->FormCreate(); })) return false;
  QWidget* owner = FfrmMain.get();
  FfrmSchedule = std::make_unique<TfrmSchedule>(owner);
  // A saved schedule reaches the timer at once, not only when auto-run is started again.
  QObject::connect(FfrmSchedule.get(), &TfrmSchedule::Saved, FfrmMain.get(),
                   [main = FfrmMain.get()] { RunCommand(main, [main] { main->LoadSchedule(); }); });
  FDlgPickFolder = std::make_unique<TDlgPickFolder>(owner);
  FOKRightDlg2 = std::make_unique<TOKRightDlg2>(owner);
  FfrmTrgList = std::make_unique<TfrmTrgList>(*FDlgPickFolder, *FfrmSchedule, *FOKRightDlg2, owner);
  FDlgPickFolder2 = std::make_unique<TDlgPickFolder2>(owner);
  FfrmMeltArc = std::make_unique<TfrmMeltArc>(*FDlgPickFolder2, owner);
  FfrmLogList = std::make_unique<TfrmLogList>(owner);
  FfrmBkupList = std::make_unique<TfrmBkupList>(*FDlgPickFolder2, owner);
  FDlgVersion = std::make_unique<TDlgVersion>(owner);
  FAboutBox = std::make_unique<TAboutBox>(owner);
  FfrmMain->SetWindows({FfrmTrgList.get(), FfrmBkupList.get(), FfrmLogList.get(), FfrmMeltArc.get(),
                        FDlgVersion.get(), FAboutBox.get()});
  return true;
}

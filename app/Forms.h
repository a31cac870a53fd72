// Every window of the program, created once at start-up and kept for the whole run.
#pragma once
#include <memory>

#include "uFMain.h"

class TfrmSchedule;
class TDlgPickFolder;
class TOKRightDlg2;
class TfrmTrgList;
class TDlgPickFolder2;
class TfrmMeltArc;
class TfrmLogList;
class TfrmBkupList;
class TDlgVersion;
class TAboutBox;

class TForms {
 public:
  TForms();
  ~TForms();
  TForms(const TForms&) = delete;
  TForms& operator=(const TForms&) = delete;

  // Creates the main window and runs its start-up before any other window exists, then the
  // other windows in dependency order, and hands the main window those it shows. False when the
  // start-up failed; its error has been shown and no other window was made.
  bool Create();
  TfrmMain& frmMain() { return *FfrmMain; }

 private:
  // Declared after the main window so that they go first: they are its children.
  std::unique_ptr<TfrmMain> FfrmMain;
  std::unique_ptr<TfrmSchedule> FfrmSchedule;
  std::unique_ptr<TDlgPickFolder> FDlgPickFolder;
  std::unique_ptr<TOKRightDlg2> FOKRightDlg2;
  std::unique_ptr<TfrmTrgList> FfrmTrgList;
  std::unique_ptr<TDlgPickFolder2> FDlgPickFolder2;
  std::unique_ptr<TfrmMeltArc> FfrmMeltArc;
  std::unique_ptr<TfrmLogList> FfrmLogList;
  std::unique_ptr<TfrmBkupList> FfrmBkupList;
  std::unique_ptr<TDlgVersion> FDlgVersion;
  std::unique_ptr<TAboutBox> FAboutBox;
};

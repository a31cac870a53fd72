// Every window of the program, created once at start-up and kept for the whole run.
#pragma once
#include <memory>

#include "uFMain.h"

class QDialog;

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
  void CreatePlaceholderWindows();

  // Declared after the main window so they go first: they are its children.
  std::unique_ptr<TfrmMain> FfrmMain;
  std::unique_ptr<QDialog> FfrmSchedule, FDlgPickFolder, FOKRightDlg2, FfrmTrgList, FDlgPickFolder2, FfrmMeltArc,
      FfrmLogList, FfrmBkupList, FDlgVersion, FAboutBox;
};

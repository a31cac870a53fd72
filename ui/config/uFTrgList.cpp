#include "uFTrgList.h"

#include <exception>
#include <string>
#include <vector>

#include <QButtonGroup>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTableWidget>

#include "BackupDb.h"
#include "Dialogs.h"
#include "FormLook.h"
#include "uDPickFolder.h"
#include "uFSchedule.h"
#include "uFrmBtn2.h"
#include "uOKRightDlg2.h"

namespace {
const char* const Retention[3] = {"全て保存", "１ヶ月以上前を削除", "２ヶ月以上前を削除"};

std::string CellText(const QTableWidget& list, int row, int column) {
  const QTableWidgetItem* item = list.item(row, column);
  return item != nullptr ? item->text().toStdString() : std::string();
}
}  // namespace

TfrmTrgList::TfrmTrgList(TDlgPickFolder& picker, TfrmSchedule& schedule, TOKRightDlg2& confirm, QWidget* parent)
    : QDialog(parent), FPicker(picker), FSchedule(schedule), FConfirm(confirm) {
  setObjectName("frmTrgList");
  setWindowTitle(QString::fromUtf8("バックアップ設定（対象リスト）"));
  setFixedSize(525, 382);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  ApplyFormLook(*this, &FormBackground);

  ListViewBK = new QTableWidget(0, 2, this);
  ListViewBK->setObjectName("ListViewBK");
  ListViewBK->setGeometry(8, 24, 409, 289);
  ListViewBK->setHorizontalHeaderLabels({QString::fromUtf8("バックアップ対象"), QString::fromUtf8("保存先")});
  ListViewBK->setShowGrid(true);
  ListViewBK->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListViewBK->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListViewBK->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListViewBK->setTextElideMode(Qt::ElideMiddle);
  ListViewBK->setWordWrap(false);
  ListViewBK->verticalHeader()->hide();
  ListViewBK->verticalHeader()->setDefaultSectionSize(18);
  ListViewBK->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  ListViewBK->horizontalHeader()->setHighlightSections(false);

  FrmBtn21 = new TFrmBtn2(this);
  FrmBtn21->setObjectName("FrmBtn21");
  FrmBtn21->move(424, 24);

  cxBtnsc = new QPushButton(QString::fromUtf8("スケジュール設定"), this);
  cxBtnsc->setObjectName("cxBtnsc");
  cxBtnsc->setGeometry(423, 127, 100, 25);  // 100 rather than 90 wide: the CJK label needs it
  cxBtnsc->setAutoDefault(false);

  RadioGrp1 = new QGroupBox(QString::fromUtf8("バックアップデータ保存期間設定"), this);
  RadioGrp1->setObjectName("RadioGrp1");
  RadioGrp1->setGeometry(8, 319, 409, 55);
  RadioGrp1Buttons = new QButtonGroup(this);
  // Columns fitted to their labels, so the longer two are not crowded together.
  const int columnX[3] = {8, 110, 262};
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(QString::fromUtf8(Retention[i]), RadioGrp1);
    radio->setGeometry(columnX[i], 24, 140, 20);
    RadioGrp1Buttons->addButton(radio, i);
  }
  RadioGrp1Buttons->button(0)->setChecked(true);

  connect(FrmBtn21->btnnew, &QPushButton::clicked, this, &TfrmTrgList::FrmBtn21btnnewClick);
  connect(FrmBtn21->btnupdate, &QPushButton::clicked, this, &TfrmTrgList::FrmBtn21btnupdateClick);
  connect(FrmBtn21->btnremove, &QPushButton::clicked, this, &TfrmTrgList::FrmBtn21btnremoveClick);
  connect(cxBtnsc, &QPushButton::clicked, this, &TfrmTrgList::cxBtnscClick);
}

void TfrmTrgList::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmTrgList::FormShow() {
  LoadTargets();
  LoadDeleteFlag();
}

void TfrmTrgList::AddItem(const std::string& folder, const std::string& file) {
  const int row = ListViewBK->rowCount();
  ListViewBK->insertRow(row);
  int column = 0;
  for (const std::string* text : {&folder, &file}) {
    auto* item = new QTableWidgetItem(QString::fromStdString(*text));
    item->setToolTip(item->text());
    ListViewBK->setItem(row, column++, item);
  }
}

void TfrmTrgList::LoadTargets() {
  ListViewBK->setRowCount(0);
  try {
    std::vector<backupdb::TargetPair> pairs;
    {
      auto db = backupdb::OpenDatabase();
      pairs = backupdb::ReadTargets(*db);
    }
    for (const auto& pair : pairs) AddItem(pair.target_folder, pair.bkup_file);
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
  }
}

void TfrmTrgList::LoadDeleteFlag() {
  try {
    int flag = 0;
    {
      auto db = backupdb::OpenDatabase();
      flag = backupdb::ReadDeleteFlag(*db);
    }
    if (QAbstractButton* radio = RadioGrp1Buttons->button(flag)) radio->setChecked(true);
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
  }
}

void TfrmTrgList::FrmBtn21btnnewClick() {
  FrmBtn21->btnnewClick();
  platform::dialogs().ShowModal(FPicker);
  FrmBtn21->ResetButtons();
  LoadTargets();
}

// Changes the selected item nearest the top.
void TfrmTrgList::FrmBtn21btnupdateClick() {
  FrmBtn21->btnupdateClick();
  int count = 0;
  std::string folder, file;
  for (int row = ListViewBK->rowCount() - 1; row >= 0; --row) {
    if (!ListViewBK->selectionModel()->isRowSelected(row, QModelIndex())) continue;
    folder = CellText(*ListViewBK, row, 0);
    file = CellText(*ListViewBK, row, 1);
    ++count;
  }
  if (count == 0) {
    FrmBtn21->ResetButtons();
    return;
  }
  FPicker.PrepareUpdate(folder, file);
  platform::dialogs().ShowModal(FPicker);
  FrmBtn21->ResetButtons();
  LoadTargets();
}

// All chosen pairs go in one transaction; on failure none goes and the list stays as it was.
void TfrmTrgList::FrmBtn21btnremoveClick() {
  FConfirm.Label1->setText(QString::fromUtf8("削除しますか？"));
  platform::dialogs().ShowModal(FConfirm);
  if (FConfirm.Cancelled != 0) return;

  std::vector<int> rows;
  std::vector<backupdb::TargetPair> pairs;
  for (int row = ListViewBK->rowCount() - 1; row >= 0; --row) {
    if (!ListViewBK->selectionModel()->isRowSelected(row, QModelIndex())) continue;
    rows.push_back(row);
    pairs.push_back({CellText(*ListViewBK, row, 0), CellText(*ListViewBK, row, 1)});
  }
  try {
    auto db = backupdb::OpenDatabase();
    TSQLiteTransaction tx(*db);
    for (const auto& pair : pairs) backupdb::DeleteTarget(*db, pair);
    tx.Commit();
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
    return;
  }
  for (int row : rows) ListViewBK->removeRow(row);  // last to first, so the indices hold
}

void TfrmTrgList::cxBtnscClick() { platform::dialogs().ShowModal(FSchedule); }

// Delete and insert go together: a failed save keeps the stored choice. The window still
// closes, so a broken database cannot trap the user in it.
void TfrmTrgList::FormClose() {
  try {
    auto db = backupdb::OpenDatabase();
    backupdb::ReplaceDeleteFlag(*db, RadioGrp1Buttons->checkedId());
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
  }
}

void TfrmTrgList::done(int result) {
  FormClose();
  QDialog::done(result);
}

#include "uFLogList.h"

#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <algorithm>
#include <exception>

#include "BackupDb.h"
#include "Dialogs.h"
#include "FormLook.h"

namespace {

enum Column { colFolder, colFile, colDate };

std::string cellText(const QTableWidget& list, int row, int col) {
  const QTableWidgetItem* item = list.item(row, col);
  return item != nullptr ? item->text().toStdString() : std::string();
}

}  // namespace

TfrmLogList::TfrmLogList(QWidget* parent) : QDialog(parent) {
  setObjectName("frmLogList");
  setWindowTitle("バックアップ履歴の表示");
  ApplyFormLook(*this, &FormBackground);
  resize(632, 398);

  ListViewBK = new QTableWidget(0, 3, this);
  ListViewBK->setGeometry(7, 45, 617, 345);
  ListViewBK->setHorizontalHeaderLabels({"バックアップ対象", "保存先", "日付"});
  ListViewBK->setShowGrid(true);
  ListViewBK->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListViewBK->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListViewBK->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListViewBK->setSortingEnabled(false);
  ListViewBK->setWordWrap(false);
  ListViewBK->verticalHeader()->hide();
  ListViewBK->verticalHeader()->setDefaultSectionSize(20);
  QHeaderView* header = ListViewBK->horizontalHeader();
  header->setSectionResizeMode(colFolder, QHeaderView::Stretch);
  header->setSectionResizeMode(colFile, QHeaderView::Stretch);
  header->setSectionResizeMode(colDate, QHeaderView::Fixed);
  // 100 pixels, or what a whole "yyyy/mm/dd hh:nn" needs in the fallback font.
  header->resizeSection(colDate, std::max(100, ListViewBK->fontMetrics().horizontalAdvance("0000/00/00 00:00") + 12));
  header->setHighlightSections(false);

  cxButton1 = new QPushButton("削除", this);
  cxButton1->setGeometry(632 - 75 - 8, 10, 75, 25);
  cxButton1->setAutoDefault(false);
  connect(cxButton1, &QPushButton::clicked, this, &TfrmLogList::cxButton1Click);
}

void TfrmLogList::FormShow() { LoadHistory(); }

void TfrmLogList::LoadHistory() {
  ListViewBK->setRowCount(0);
  try {
    auto db = backupdb::OpenDatabase();
    for (const backupdb::LogRow& row : backupdb::ReadLog(*db)) {
      int r = ListViewBK->rowCount();
      ListViewBK->insertRow(r);
      ListViewBK->setItem(r, colFolder, new QTableWidgetItem(QString::fromStdString(row.target_folder)));
      ListViewBK->setItem(r, colFile, new QTableWidgetItem(QString::fromStdString(row.bkup_file)));
      ListViewBK->setItem(r, colDate, new QTableWidgetItem(QString::fromStdString(row.bkup_date)));
    }
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
  }
}

void TfrmLogList::cxButton1Click() {
  // Walking from the last row keeps the indexes still to be visited valid while rows go.
  std::vector<int> selected;
  for (int r = ListViewBK->rowCount() - 1; r >= 0; --r) {
    if (ListViewBK->selectionModel()->isRowSelected(r, {})) selected.push_back(r);
  }
  try {
    auto db = backupdb::OpenDatabase();
    TSQLiteTransaction tx(*db);
    for (int r : selected) {
      backupdb::DeleteLog(*db, {cellText(*ListViewBK, r, colFolder), cellText(*ListViewBK, r, colFile),
                                cellText(*ListViewBK, r, colDate)});
    }
    tx.Commit();
  } catch (const std::exception& e) {
    // The transaction has rolled back and the connection is closed by now, so backup.db is
    // free for the other writers; the list goes back to what the table holds.
    platform::dialogs().ShowError(this, e.what());
    LoadHistory();
    return;
  }
  for (int r : selected) ListViewBK->removeRow(r);
}

void TfrmLogList::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

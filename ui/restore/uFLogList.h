// The backup history: every row of m_log, reloaded on each showing, and "削除" to drop rows.
// Deleting a row forgets the backup; the archive it names stays on disk.
#pragma once
#include <QDialog>

class QPushButton;
class QTableWidget;

class TfrmLogList : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmLogList(QWidget* parent = nullptr);

  // Controls.
  QTableWidget* ListViewBK;  // "バックアップ対象", "保存先", "日付"; one row per history row
  QPushButton* cxButton1;    // "削除"

  void FormShow();
  // Deletes the selected rows in one transaction: all of them go, or none does.
  void cxButton1Click();
  void LoadHistory();

 protected:
  void showEvent(QShowEvent* event) override;
};

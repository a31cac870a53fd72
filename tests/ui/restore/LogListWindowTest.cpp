// The history window against a real backup.db: what each showing lists, what "削除" removes, and
// that a failing delete leaves neither half a deletion nor a locked database behind.
#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableWidget>
#include <filesystem>
#include <fstream>

#include "BackupDb.h"
#include "Dialogs.h"
#include "RestoreTestSupport.h"
#include "ScriptedDialogs.h"
#include "uFLogList.h"

namespace {

using backupdb::LogRow;
using restoretest::ScratchDatabase;
using restoretest::ScratchDir;

class LogListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
  }

  void Insert(const std::vector<LogRow>& rows) {
    auto db = backupdb::OpenDatabase();
    for (const auto& row : rows) backupdb::InsertLog(*db, row);
  }
  std::vector<LogRow> Table() {
    auto db = backupdb::OpenDatabase();
    return backupdb::ReadLog(*db);
  }
  static std::vector<LogRow> Listed(const TfrmLogList& w) {
    std::vector<LogRow> rows;
    for (int r = 0; r < w.ListViewBK->rowCount(); ++r) {
      rows.push_back({w.ListViewBK->item(r, 0)->text().toStdString(), w.ListViewBK->item(r, 1)->text().toStdString(),
                      w.ListViewBK->item(r, 2)->text().toStdString()});
    }
    return rows;
  }
  static void Select(TfrmLogList& w, std::initializer_list<int> rows) {
    w.ListViewBK->clearSelection();
    for (int r : rows) {
      w.ListViewBK->selectionModel()->select(w.ListViewBK->model()->index(r, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }
  // Shows the window as the main window does and lets body play the user.
  void Show(TfrmLogList& w, std::function<void(TfrmLogList&)> body) {
    dialogs.modalHandlers.push_back([&w, body](QDialog&) {
      body(w);
      return int(QDialog::Accepted);
    });
    platform::dialogs().ShowModal(w);
  }

  ScratchDir dir;
  ScratchDatabase database{dir};
  platform::ScriptedDialogs dialogs;
};

const LogRow rowA{"/home/u/docs", "/backup/20240101_docs.lzh", "2024/01/01 12:00"};
const LogRow rowB{"/home/u/o'brien", "/backup/20240102_o'brien.lzh", "2024/01/02 12:00"};
const LogRow rowC{"/home/u/写真", "/backup/20240103_写真.lzh", "2024/01/03 9:05"};

TEST_F(LogListWindowTest, EachShowingReadsTheTableAfresh) {
  Insert({rowA, rowB});
  TfrmLogList w;
  std::vector<LogRow> first, second;
  Show(w, [&](TfrmLogList& win) { first = Listed(win); });
  Insert({rowC});  // a backup while the window is closed
  Show(w, [&](TfrmLogList& win) { second = Listed(win); });

  EXPECT_EQ(first, (std::vector<LogRow>{rowA, rowB}));
  EXPECT_EQ(second, (std::vector<LogRow>{rowA, rowB, rowC}));
  EXPECT_EQ(w.windowTitle().toStdString(), "バックアップ履歴の表示");
  ASSERT_EQ(w.ListViewBK->columnCount(), 3);
  EXPECT_EQ(w.ListViewBK->horizontalHeaderItem(0)->text().toStdString(), "バックアップ対象");
  EXPECT_EQ(w.ListViewBK->horizontalHeaderItem(1)->text().toStdString(), "保存先");
  EXPECT_EQ(w.ListViewBK->horizontalHeaderItem(2)->text().toStdString(), "日付");
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(LogListWindowTest, DeletesExactlyTheSelectedRowsAndLeavesTheArchives) {
  // The archives the rows name exist; forgetting a backup must not touch them.
  std::vector<LogRow> rows;
  for (const std::string name : {"a.lzh", "b'quote.lzh", "c.lzh"}) {
    std::ofstream(dir.str(name)) << "archive";
    rows.push_back({"/src/" + name, dir.str(name), "2024/05/06 7:08"});
  }
  Insert(rows);
  TfrmLogList w;
  Show(w, [&](TfrmLogList& win) {
    Select(win, {0, 2});
    win.cxButton1->click();
  });

  EXPECT_EQ(Table(), (std::vector<LogRow>{rows[1]}));
  EXPECT_EQ(Listed(w), (std::vector<LogRow>{rows[1]}));
  for (const auto& row : rows) EXPECT_TRUE(std::filesystem::exists(row.bkup_file)) << row.bkup_file;
  EXPECT_TRUE(dialogs.messages.empty()) << "no question, no message";
}

TEST_F(LogListWindowTest, IdenticalRowsGoWithOneItem) {
  Insert({rowA, rowA, rowB});
  TfrmLogList w;
  Show(w, [&](TfrmLogList& win) {
    Select(win, {1});
    win.cxButton1->click();
  });
  EXPECT_EQ(Table(), (std::vector<LogRow>{rowB}));
  // The twin item stays until the next showing.
  EXPECT_EQ(Listed(w), (std::vector<LogRow>{rowA, rowB}));
  Show(w, [](TfrmLogList&) {});
  EXPECT_EQ(Listed(w), (std::vector<LogRow>{rowB}));
}

TEST_F(LogListWindowTest, NothingSelectedChangesNothing) {
  Insert({rowA, rowB});
  TfrmLogList w;
  Show(w, [&](TfrmLogList& win) { win.cxButton1->click(); });
  EXPECT_EQ(Table(), (std::vector<LogRow>{rowA, rowB}));
  EXPECT_EQ(Listed(w), (std::vector<LogRow>{rowA, rowB}));
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(LogListWindowTest, FailingDeleteRollsBackEverythingAndReleasesTheDatabase) {
  Insert({rowA, rowB, rowC});
  {
    // The first row refuses to go; the third, deleted before it, must come back.
    auto db = backupdb::OpenDatabase();
    db->RunSQL(
        "create trigger keep_first before delete on m_log when old.bkup_date = '2024/01/01 12:00' "
        "begin select raise(abort, 'history row is protected'); end");
  }
  TfrmLogList w;
  Show(w, [&](TfrmLogList& win) {
    Select(win, {0, 2});
    win.cxButton1->click();
  });

  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].kind, platform::MsgKind::Error);
  EXPECT_NE(dialogs.messages[0].text.find("history row is protected"), std::string::npos) << dialogs.messages[0].text;
  EXPECT_EQ(Table(), (std::vector<LogRow>{rowA, rowB, rowC}));
  EXPECT_EQ(Listed(w), (std::vector<LogRow>{rowA, rowB, rowC}));

  // Another writer (a backup run) gets the database at once.
  const LogRow later{"/home/u/new", "/backup/20240104_new.lzh", "2024/01/04 12:00"};
  auto writer = backupdb::OpenDatabase();
  {
    TSQLiteTransaction tx(*writer);
    backupdb::InsertLog(*writer, later);
    tx.Commit();
  }
  EXPECT_EQ(backupdb::ReadLog(*writer), (std::vector<LogRow>{rowA, rowB, rowC, later}));
}

TEST_F(LogListWindowTest, UnreadableDatabaseIsReportedNotThrown) {
  {
    auto db = backupdb::OpenDatabase();
    db->RunSQL("drop table m_log");
  }
  TfrmLogList w;
  Show(w, [](TfrmLogList&) {});
  EXPECT_EQ(w.ListViewBK->rowCount(), 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].kind, platform::MsgKind::Error);
}

}  // namespace

// The target list window: listing, adding, changing and deleting pairs through its collaborators,
// the button frame's modes while a command runs, the schedule button, and the retention choice
// stored on every close.
#include <QButtonGroup>
#include <QGroupBox>
#include <QTime>
#include <QTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "ConfigTestSupport.h"
#include "uDPickFolder.h"
#include "uFSchedule.h"
#include "uFTrgList.h"
#include "uFrmBtn2.h"
#include "uOKRightDlg2.h"

using backupdb::TargetPair;

namespace {

struct Windows {
  TDlgPickFolder picker;
  TfrmSchedule schedule;
  TOKRightDlg2 confirm;
  TfrmTrgList list{picker, schedule, confirm};
};

std::vector<TargetPair> Shown(const TfrmTrgList& w) {
  std::vector<TargetPair> pairs;
  for (int row = 0; row < w.ListViewBK->rowCount(); ++row) {
    pairs.push_back({w.ListViewBK->item(row, 0)->text().toStdString(), w.ListViewBK->item(row, 1)->text().toStdString()});
  }
  return pairs;
}

void Select(TfrmTrgList& w, std::initializer_list<int> rows) {
  w.ListViewBK->clearSelection();
  for (int row : rows) {
    w.ListViewBK->selectionModel()->select(w.ListViewBK->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

struct Modes {
  QString newCaption, updateCaption, removeCaption;
  bool newOn, updateOn, removeOn;
  bool operator==(const Modes&) const = default;
};

Modes ModesOf(const TFrmBtn2& f) {
  return {f.btnnew->text(),       f.btnupdate->text(),       f.btnremove->text(),
          f.btnnew->isEnabled(), f.btnupdate->isEnabled(), f.btnremove->isEnabled()};
}

const Modes Normal{QString::fromUtf8("追加"), QString::fromUtf8("更新"), QString::fromUtf8("削除"), true, true, true};

void PrintTo(const Modes& m, std::ostream* os) {
  *os << m.newCaption.toStdString() << m.newOn << " " << m.updateCaption.toStdString() << m.updateOn << " "
      << m.removeCaption.toStdString() << m.removeOn;
}

// Answers the confirmation by pressing OK or キャンセル, checking the question first.
platform::ScriptedDialogs::ModalHandler Answer(bool yes) {
  return [yes](QDialog& d) {
    auto& c = static_cast<TOKRightDlg2&>(d);
    EXPECT_EQ(c.Label1->text().toStdString(), "削除しますか？");
    (yes ? c.OKBtn : c.btncancel)->click();
    return d.result();
  };
}

}  // namespace

class TrgList : public ConfigWindowTest {
 protected:
  void Store(const std::vector<TargetPair>& pairs) {
    auto db = backupdb::OpenDatabase();
    for (const auto& p : pairs) backupdb::InsertTarget(*db, p);
  }
  // Shows the list window, runs work inside it, then closes it by its close box.
  void ShowList(TfrmTrgList& w, std::function<void(TfrmTrgList&)> work) {
    script.modalHandlers.push_back([&w, work](QDialog& d) {
      work(w);
      d.close();
      EXPECT_FALSE(d.isVisible());
      return d.result();
    });
    platform::dialogs().ShowModal(w);
  }
};

TEST_F(TrgList, WindowDefinition) {
  Windows ws;
  auto& w = ws.list;
  EXPECT_EQ(w.windowTitle().toStdString(), "バックアップ設定（対象リスト）");
  EXPECT_EQ(w.size(), QSize(525, 382));
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(222, 221, 190));
  EXPECT_EQ(w.ListViewBK->geometry(), QRect(8, 24, 409, 289));
  EXPECT_EQ(w.ListViewBK->horizontalHeaderItem(0)->text().toStdString(), "バックアップ対象");
  EXPECT_EQ(w.ListViewBK->horizontalHeaderItem(1)->text().toStdString(), "保存先");
  EXPECT_EQ(w.ListViewBK->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_TRUE(w.ListViewBK->showGrid());
  EXPECT_EQ(w.FrmBtn21->pos(), QPoint(424, 24));
  EXPECT_EQ(w.cxBtnsc->text().toStdString(), "スケジュール設定");
  EXPECT_EQ(w.RadioGrp1->title().toStdString(), "バックアップデータ保存期間設定");
  EXPECT_EQ(ModesOf(*w.FrmBtn21), Normal);
}

TEST_F(TrgList, AddShowsThePickerInAddModeWithTheFrameBusyThenListsThePair) {
  const std::string src = Folder("E/Data"), dst = Folder("D/Bk");
  const TargetPair existing{Folder("E/Old"), dst + "/Old.lzh"};
  Store({existing});
  Windows ws;
  script.folderAnswers = {src, dst};
  ShowList(ws.list, [&](TfrmTrgList& w) {
    EXPECT_EQ(Shown(w), (std::vector<TargetPair>{existing}));
    script.modalHandlers.push_back([&](QDialog& d) {
      auto& p = static_cast<TDlgPickFolder&>(d);
      EXPECT_FALSE(p.UpdateMode());
      EXPECT_EQ(ModesOf(*w.FrmBtn21),
                (Modes{QString::fromUtf8("登録"), QString::fromUtf8("更新"), QString::fromUtf8("削除"), true, false, false}));
      p.ChooseBtn1->click();
      p.ChooseBtn2->click();
      p.OKBtn->click();
      return d.result();
    });
    w.FrmBtn21->btnnew->click();
    EXPECT_EQ(ModesOf(*w.FrmBtn21), Normal);
    EXPECT_EQ(w.FrmBtn21->FBusy, 0);
    EXPECT_EQ(Shown(w), (std::vector<TargetPair>{existing, {src, dst + "/Data.lzh"}}));
  });
  EXPECT_EQ(script.modalShown, (std::vector<std::string>{"frmTrgList", "DlgPickFolder"}));
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{existing, {src, dst + "/Data.lzh"}}));
}

TEST_F(TrgList, ChangeEditsTheTopmostSelectedItem) {
  const std::vector<TargetPair> pairs{{"/e/a", "/d/a.lzh"}, {"/e/b", "/d/b.lzh"}, {"/e/c", "/d/c.lzh"}};
  Store(pairs);
  Windows ws;
  ShowList(ws.list, [&](TfrmTrgList& w) {
    Select(w, {2, 1});
    script.modalHandlers.push_back([&](QDialog& d) {
      auto& p = static_cast<TDlgPickFolder&>(d);
      EXPECT_TRUE(p.UpdateMode());
      EXPECT_EQ(ModesOf(*w.FrmBtn21),
                (Modes{QString::fromUtf8("追加"), QString::fromUtf8("登録"), QString::fromUtf8("削除"), false, true, false}));
      EXPECT_EQ(p.EditFolder->text().toStdString(), "/e/b");
      EXPECT_EQ(p.EditFile->text().toStdString(), "/d/b.lzh");
      p.EditFile->setText("/d/b2.lzh");
      p.OKBtn->click();
      return d.result();
    });
    w.FrmBtn21->btnupdate->click();
    EXPECT_EQ(ModesOf(*w.FrmBtn21), Normal);
    EXPECT_EQ(Shown(w)[1], (TargetPair{"/e/b", "/d/b2.lzh"}));
  });
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{pairs[0], {"/e/b", "/d/b2.lzh"}, pairs[2]}));
}

TEST_F(TrgList, ChangeWithNothingSelectedDoesNothingVisible) {
  Store({{"/e/a", "/d/a.lzh"}});
  Windows ws;
  ShowList(ws.list, [&](TfrmTrgList& w) {
    w.ListViewBK->clearSelection();
    w.FrmBtn21->btnupdate->click();
    EXPECT_EQ(ModesOf(*w.FrmBtn21), Normal);
  });
  EXPECT_EQ(script.modalShown, (std::vector<std::string>{"frmTrgList"}));
  EXPECT_FALSE(ws.picker.UpdateMode());
}

TEST_F(TrgList, DeleteRemovesEverySelectedPairAfterYes) {
  const std::vector<TargetPair> pairs{{"/e/a", "/d/a.lzh"}, {"/e/b", "/d/b.lzh"}, {"/e/c", "/d/c.lzh"}};
  Store(pairs);
  Windows ws;
  ShowList(ws.list, [&](TfrmTrgList& w) {
    Select(w, {0, 2});
    script.modalHandlers.push_back(Answer(true));
    w.FrmBtn21->btnremove->click();
    EXPECT_EQ(Shown(w), (std::vector<TargetPair>{pairs[1]}));
  });
  EXPECT_EQ(script.modalShown, (std::vector<std::string>{"frmTrgList", "OKRightDlg2"}));
  EXPECT_EQ(Targets(), (std::vector<TargetPair>{pairs[1]}));
}

TEST_F(TrgList, DeleteAnsweredNoOrWithNothingSelectedChangesNothing) {
  const std::vector<TargetPair> pairs{{"/e/a", "/d/a.lzh"}, {"/e/b", "/d/b.lzh"}};
  Store(pairs);
  Windows ws;
  ShowList(ws.list, [&](TfrmTrgList& w) {
    Select(w, {0, 1});
    script.modalHandlers.push_back(Answer(false));
    w.FrmBtn21->btnremove->click();
    EXPECT_EQ(Shown(w), pairs);
    // The close box answers no as well.
    script.modalHandlers.push_back([](QDialog& d) {
      d.close();
      return d.result();
    });
    w.FrmBtn21->btnremove->click();
    EXPECT_EQ(Shown(w), pairs);
    w.ListViewBK->clearSelection();
    script.modalHandlers.push_back(Answer(true));
    w.FrmBtn21->btnremove->click();
    EXPECT_EQ(Shown(w), pairs);
  });
  EXPECT_EQ(script.modalShown.size(), 4u) << "the question is asked every time";
  EXPECT_EQ(Targets(), pairs);
  EXPECT_TRUE(script.messages.empty());
}

TEST_F(TrgList, DeletingOneOfTwoEqualPairsRemovesBoth) {
  const TargetPair twin{"/e/a", "/d/a.lzh"};
  Store({twin, twin});
  Windows ws;
  ShowList(ws.list, [&](TfrmTrgList& w) {
    Select(w, {0});
    script.modalHandlers.push_back(Answer(true));
    w.FrmBtn21->btnremove->click();
    EXPECT_EQ(Shown(w), (std::vector<TargetPair>{twin})) << "the other item goes at the next showing";
  });
  EXPECT_TRUE(Targets().empty());
  ShowList(ws.list, [](TfrmTrgList& w) { EXPECT_EQ(w.ListViewBK->rowCount(), 0); });
}

TEST_F(TrgList, DeleteFailingHalfWayKeepsEveryPairAndReleasesTheDatabase) {
  const std::vector<TargetPair> pairs{{"/e/a", "/d/a.lzh"}, {"/e/b", "/d/b.lzh"}, {"/e/c", "/d/c.lzh"}};
  Store(pairs);
  // Pairs go from the last selected to the first: c is deleted, then a fails.
  FailOn("delete", "m_bkup", "old.target_folder = '/e/a'");
  Windows ws;
  ShowList(ws.list, [&](TfrmTrgList& w) {
    Select(w, {0, 2});
    script.modalHandlers.push_back(Answer(true));
    w.FrmBtn21->btnremove->click();
    EXPECT_EQ(Shown(w), pairs) << "the list still shows what is stored";
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages.front().kind, platform::MsgKind::Error);
    EXPECT_TRUE(Said(script, "disk full"));
    ExpectDatabaseFree();
  });
  EXPECT_EQ(Targets(), pairs);
}

TEST_F(TrgList, RetentionChoiceIsStoredOnEveryClose) {
  Windows ws;
  // A new database gets its first row even when nothing was touched.
  EXPECT_TRUE(Rows("select * from m_bkup_delete_flg").empty());
  ShowList(ws.list, [](TfrmTrgList& w) { EXPECT_EQ(w.RadioGrp1Buttons->checkedId(), 0); });
  EXPECT_EQ(Rows("select * from m_bkup_delete_flg"), (std::vector<std::vector<std::string>>{{"0"}}));
  for (int choice : {2, 1, 0}) {
    SCOPED_TRACE(choice);
    ShowList(ws.list, [choice](TfrmTrgList& w) { w.RadioGrp1Buttons->button(choice)->click(); });
    EXPECT_EQ(Rows("select * from m_bkup_delete_flg"), (std::vector<std::vector<std::string>>{{std::to_string(choice)}}));
  }
  // Escape (reject) is a close too, and the window reopens on the stored choice.
  script.modalHandlers.push_back([&](QDialog& d) {
    ws.list.RadioGrp1Buttons->button(2)->click();
    d.reject();
    return d.result();
  });
  platform::dialogs().ShowModal(ws.list);
  EXPECT_EQ(Rows("select * from m_bkup_delete_flg"), (std::vector<std::vector<std::string>>{{"2"}}));
  TDlgPickFolder picker;
  TfrmSchedule schedule;
  TOKRightDlg2 confirm;
  TfrmTrgList fresh(picker, schedule, confirm);
  ShowList(fresh, [](TfrmTrgList& w) { EXPECT_EQ(w.RadioGrp1Buttons->checkedId(), 2); });
  EXPECT_TRUE(script.messages.empty());
}

TEST_F(TrgList, FailedRetentionSaveKeepsTheStoredChoiceAndShowsTheError) {
  Exec("insert into m_bkup_delete_flg values(1)");
  FailOn("insert", "m_bkup_delete_flg");
  Windows ws;
  ShowList(ws.list, [](TfrmTrgList& w) {
    EXPECT_EQ(w.RadioGrp1Buttons->checkedId(), 1);
    w.RadioGrp1Buttons->button(2)->click();
  });
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_EQ(script.messages.front().kind, platform::MsgKind::Error);
  EXPECT_TRUE(Said(script, "disk full"));
  EXPECT_EQ(Rows("select * from m_bkup_delete_flg"), (std::vector<std::vector<std::string>>{{"1"}}));
  ExpectDatabaseFree();
}

TEST_F(TrgList, StoredRetentionThatIsNoNumberIsReported) {
  Exec("insert into m_bkup_delete_flg values('x')");
  Windows ws;
  ShowList(ws.list, [](TfrmTrgList&) {});
  ASSERT_FALSE(script.messages.empty());
  EXPECT_EQ(script.messages.front().kind, platform::MsgKind::Error);
}

TEST_F(TrgList, ScheduleButtonShowsTheScheduleWindow) {
  Windows ws;
  ShowList(ws.list, [&](TfrmTrgList& w) {
    script.modalHandlers.push_back([](QDialog& d) {
      auto& s = static_cast<TfrmSchedule&>(d);
      s.RadioGrpIntvButtons->button(1)->click();
      s.SetWeekdayChecked(1, true);
      s.SetWeekdayChecked(3, true);
      s.cxTimeEd->setTime(QTime(9, 30, 0));
      s.OKBtn->click();
      return d.result();
    });
    w.cxBtnsc->click();
  });
  EXPECT_EQ(script.modalShown, (std::vector<std::string>{"frmTrgList", "frmSchedule"}));
  EXPECT_EQ(Rows("select * from m_schedule"), (std::vector<std::vector<std::string>>{{"1", "1,3", "", "9:30:00"}}));
}

TEST_F(TrgList, PathWithAnApostropheIsStoredAndShown) {
  const std::string src = Folder("Bob's files"), dst = Folder("D");
  Windows ws;
  script.folderAnswers = {src, dst};
  ShowList(ws.list, [&](TfrmTrgList& w) {
    script.modalHandlers.push_back([](QDialog& d) {
      auto& p = static_cast<TDlgPickFolder&>(d);
      p.ChooseBtn1->click();
      p.ChooseBtn2->click();
      p.OKBtn->click();
      return d.result();
    });
    w.FrmBtn21->btnnew->click();
    EXPECT_EQ(Shown(w), (std::vector<TargetPair>{{src, dst + "/Bob's files.lzh"}}));
  });
  EXPECT_EQ(Rows("select * from m_bkup"), (std::vector<std::vector<std::string>>{{src, dst + "/Bob's files.lzh"}}));
  EXPECT_TRUE(script.messages.empty());
}

TEST(TFrmBtn2, ModesChangeOnlyTheirRow) {
  const QString add = QString::fromUtf8("追加"), upd = QString::fromUtf8("更新"), del = QString::fromUtf8("削除"),
                reg = QString::fromUtf8("登録");
  // Each mode applied to the frame's normal state, and to the state with everything disabled.
  struct Case {
    int mode;
    Modes fromNormal, fromDisabled;
  };
  const Case cases[] = {
      {0, {reg, upd, del, true, false, false}, {reg, upd, del, false, false, false}},
      {1, {add, upd, del, true, true, true}, {add, upd, del, false, true, true}},
      {2, {add, reg, del, false, true, false}, {add, reg, del, false, false, false}},
      {3, {add, upd, del, true, true, true}, {add, upd, del, true, false, true}},
      {4, {add, upd, del, false, false, false}, {add, upd, del, false, false, false}},
      {5, {add, upd, del, true, true, true}, {add, upd, del, true, true, true}},
  };
  TFrmBtn2 frame;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    frame.ResetButtons();
    frame.SetButtonMode(c.mode);
    EXPECT_EQ(ModesOf(frame), c.fromNormal);
    frame.ResetButtons();
    frame.SetButtonMode(4);
    frame.SetButtonMode(c.mode);
    EXPECT_EQ(ModesOf(frame), c.fromDisabled);
  }
  // The busy flag: a second press of the same button ends the command.
  frame.ResetButtons();
  frame.btnnewClick();
  EXPECT_EQ(frame.FBusy, 1);
  EXPECT_EQ(ModesOf(frame), (Modes{reg, upd, del, true, false, false}));
  frame.btnnewClick();
  EXPECT_EQ(frame.FBusy, 0);
  EXPECT_EQ(ModesOf(frame), Normal);
  frame.btnupdateClick();
  EXPECT_EQ(ModesOf(frame), (Modes{add, reg, del, false, true, false}));
  frame.btnupdateClick();
  EXPECT_EQ(frame.FBusy, 0);
  EXPECT_EQ(ModesOf(frame), Normal);
}

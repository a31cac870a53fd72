// The schedule window: what it shows for the stored row, what OK stores for each interval, that
// Cancel stores nothing, and that a failed save keeps the stored schedule.
#include <QButtonGroup>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

#include "CheckComboBox.h"
#include "ConfigTestSupport.h"
#include "uFSchedule.h"

namespace {

using Row = std::vector<std::string>;

// Shows the window, lets work() play the user, and ends with OK (or Cancel).
int ShowSchedule(platform::ScriptedDialogs& script, TfrmSchedule& w, std::function<void(TfrmSchedule&)> work, bool ok = true) {
  script.modalHandlers.push_back([&w, work, ok](QDialog& d) {
    work(w);
    (ok ? w.OKBtn : w.CancelBtn)->click();
    return d.result();
  });
  return platform::dialogs().ShowModal(w);
}

std::vector<int> CheckedWeekdays(const TfrmSchedule& w) {
  std::vector<int> days;
  for (int d = 0; d < 7; ++d) {
    if (w.WeekdayChecked(d)) days.push_back(d);
  }
  return days;
}

}  // namespace

using Schedule = ConfigWindowTest;

TEST_F(Schedule, FreshDatabaseOpensDailyAtNoonWithTheListsHidden) {
  TfrmSchedule w;
  EXPECT_EQ(w.windowTitle().toStdString(), "バックアップスケジュール作成");
  EXPECT_EQ(w.size(), QSize(328, 236));
  ShowSchedule(script, w, [](TfrmSchedule& s) {
    EXPECT_EQ(s.Interval(), 0);
    EXPECT_EQ(s.cxTimeEd->time(), QTime(12, 0, 0));
    EXPECT_FALSE(s.cxChckLstBxWk->isVisible());
    EXPECT_FALSE(s.cxBtnWkClr->isVisible());
    EXPECT_FALSE(s.cxChkCmbBDay->isVisible());
    EXPECT_FALSE(s.cxBtnDayClr->isVisible());
  }, false);
  EXPECT_EQ(Rows("select * from m_schedule"), (std::vector<Row>{{"0", "", "", "12:00:00"}}));
}

TEST_F(Schedule, EachIntervalRoundTrips) {
  struct Case {
    const char* name;
    int interval;
    std::vector<int> weekdays;
    QString days;
    QTime time;
    Row stored;
  };
  const Case cases[] = {
      {"daily", 0, {2}, "5", QTime(6, 5, 0), {"0", "", "", "6:05:00"}},
      {"weekly Monday and Wednesday", 1, {1, 3}, "5", QTime(9, 30, 0), {"1", "1,3", "", "9:30:00"}},
      {"weekly, no day", 1, {}, "", QTime(23, 59, 59), {"1", "", "", "23:59:59"}},
      {"monthly 1 and 15", 2, {4}, "15,1", QTime(0, 0, 0), {"2", "", "1,15", "0:00:00"}},
      {"monthly 31", 2, {}, "31", QTime(12, 0, 0), {"2", "", "31", "12:00:00"}},
      {"monthly, no day", 2, {}, "", QTime(7, 0, 0), {"2", "", "None selected", "7:00:00"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrmSchedule w;
    EXPECT_EQ(ShowSchedule(script, w, [&](TfrmSchedule& s) {
                // Work the controls as the user does: the radio button, the checks, the editor.
                s.RadioGrpIntvButtons->button(c.interval)->click();
                s.cxBtnWkClr->click();
                for (int d : c.weekdays) s.cxChckLstBxWk->item(d)->setCheckState(Qt::Checked);
                s.cxBtnDayClr->click();
                s.cxChkCmbBDay->SetText(c.days);
                s.cxTimeEd->setTime(c.time);
                EXPECT_EQ(s.cxChckLstBxWk->isVisible(), c.interval == 1);
                EXPECT_EQ(s.cxBtnWkClr->isVisible(), c.interval == 1);
                EXPECT_EQ(s.cxChkCmbBDay->isVisible(), c.interval == 2);
                EXPECT_EQ(s.cxBtnDayClr->isVisible(), c.interval == 2);
              }),
              QDialog::Accepted);
    EXPECT_EQ(Rows("select * from m_schedule"), (std::vector<Row>{c.stored}));
    EXPECT_EQ(Rows("select typeof(bk_type) from m_schedule"), (std::vector<Row>{{"integer"}}));

    // A new window (nothing remembered) shows what was stored.
    TfrmSchedule again;
    ShowSchedule(script, again, [&](TfrmSchedule& s) {
      EXPECT_EQ(s.Interval(), c.interval);
      EXPECT_EQ(s.cxTimeEd->time(), c.time);
      if (c.interval == 1) {
        EXPECT_EQ(CheckedWeekdays(s), c.weekdays);
      }
      if (c.interval == 2) {
        EXPECT_EQ(s.cxChkCmbBDay->Text().toStdString(), c.stored[2]);
      }
    }, false);
  }
}

TEST_F(Schedule, CancelStoresNothingAndReopeningShowsTheStoredWeekdays) {
  Exec("delete from m_schedule");
  Exec("insert into m_schedule values (1,'1,3','','9:30:00')");
  TfrmSchedule w;
  ShowSchedule(script, w, [](TfrmSchedule& s) {
    EXPECT_EQ(CheckedWeekdays(s), (std::vector<int>{1, 3}));
    s.SetWeekdayChecked(5, true);
    s.cxTimeEd->setTime(QTime(10, 0, 0));
  }, false);
  EXPECT_EQ(Rows("select * from m_schedule"), (std::vector<Row>{{"1", "1,3", "", "9:30:00"}}));
  ShowSchedule(script, w, [](TfrmSchedule& s) {
    EXPECT_EQ(CheckedWeekdays(s), (std::vector<int>{1, 3}));
    EXPECT_EQ(s.cxTimeEd->time(), QTime(9, 30, 0));
  }, false);
}

TEST_F(Schedule, SwitchingIntervalKeepsButDoesNotSaveTheOthersChoices) {
  TfrmSchedule w;
  ShowSchedule(script, w, [](TfrmSchedule& s) {
    s.RadioGrpIntvButtons->button(1)->click();
    s.SetWeekdayChecked(2, true);
    s.RadioGrpIntvButtons->button(2)->click();
    s.cxChkCmbBDay->SetChecked(9, true);
    s.RadioGrpIntvButtons->button(1)->click();
    EXPECT_EQ(CheckedWeekdays(s), (std::vector<int>{2}));
    EXPECT_EQ(s.cxChkCmbBDay->Text().toStdString(), "10");
  });
  EXPECT_EQ(Rows("select * from m_schedule"), (std::vector<Row>{{"1", "2", "", "12:00:00"}}));
  // Reading a weekly row leaves the hidden day selector as it was.
  ShowSchedule(script, w, [](TfrmSchedule& s) { EXPECT_EQ(s.cxChkCmbBDay->Text().toStdString(), "10"); }, false);
}

TEST_F(Schedule, FailedSaveKeepsTheStoredRowShowsTheErrorAndStaysOpen) {
  FailOn("insert", "m_schedule");
  TfrmSchedule w;
  script.modalHandlers.push_back([&](QDialog& d) {
    w.RadioGrpIntvButtons->button(1)->click();
    w.SetWeekdayChecked(1, true);
    w.OKBtn->click();
    EXPECT_TRUE(d.isVisible());
    w.CancelBtn->click();
    return d.result();
  });
  EXPECT_EQ(platform::dialogs().ShowModal(w), QDialog::Rejected);
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_EQ(script.messages.front().kind, platform::MsgKind::Error);
  EXPECT_TRUE(Said(script, "disk full"));
  EXPECT_EQ(Rows("select * from m_schedule"), (std::vector<Row>{{"0", "", "", "12:00:00"}}));
  ExpectDatabaseFree();
}

TEST_F(Schedule, StoredTextThatIsNoNumberOrTimeIsReported) {
  struct Case {
    const char* insert;
  };
  const Case cases[] = {{"insert into m_schedule values (1,'1,x','','9:30:00')"},
                        {"insert into m_schedule values (0,'','','')"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.insert);
    Exec("delete from m_schedule");
    Exec(c.insert);
    script.messages.clear();
    TfrmSchedule w;
    ShowSchedule(script, w, [](TfrmSchedule&) {}, false);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages.front().kind, platform::MsgKind::Error);
  }
}

TEST_F(Schedule, MissingRowShowsTheDefaultSchedule) {
  Exec("delete from m_schedule");
  TfrmSchedule w;
  ShowSchedule(script, w, [](TfrmSchedule& s) {
    EXPECT_EQ(s.Interval(), 0);
    EXPECT_EQ(s.cxTimeEd->time(), QTime(12, 0, 0));
  });
  EXPECT_TRUE(script.messages.empty());
  EXPECT_EQ(Rows("select * from m_schedule"), (std::vector<Row>{{"0", "", "", "12:00:00"}}));
}

TEST(TCheckComboBox, TextListsCheckedDaysInListOrder) {
  TCheckComboBox box;
  for (int d = 1; d <= 31; ++d) box.AddCheckItem(QString::number(d));
  EXPECT_EQ(box.Text().toStdString(), "None selected");
  box.SetText("31,1,15,x");
  EXPECT_EQ(box.Text().toStdString(), "1,15,31");
  box.SetText("None selected");
  EXPECT_EQ(box.Text().toStdString(), "None selected");
  box.SetChecked(1, true);
  box.SetChecked(2, true);
  box.SetChecked(1, false);
  EXPECT_EQ(box.Text().toStdString(), "3");
  box.ClearChecks();
  EXPECT_FALSE(box.Checked(2));
}

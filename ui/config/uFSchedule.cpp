#include "uFSchedule.h"

#include <algorithm>
#include <exception>

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTime>
#include <QTimeEdit>

#include "BackupDb.h"
#include "CheckComboBox.h"
#include "Dialogs.h"
#include "FormLook.h"
#include "LocaleFormats.h"

namespace {
const char* const Weekdays[7] = {"日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日"};
const char* const Intervals[3] = {"毎日", "毎週", "毎月"};
}  // namespace

TfrmSchedule::TfrmSchedule(QWidget* parent) : QDialog(parent) {
  setObjectName("frmSchedule");
  setWindowTitle(QString::fromUtf8("バックアップスケジュール作成"));
  setFixedSize(328, 236);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  ApplyFormLook(*this, &FormBackground);

  RadioGrpIntv = new QGroupBox(QString::fromUtf8("実行間隔"), this);
  RadioGrpIntv->setObjectName("RadioGrpIntv");
  RadioGrpIntv->setGeometry(8, 8, 81, 169);
  RadioGrpIntvButtons = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(QString::fromUtf8(Intervals[i]), RadioGrpIntv);
    radio->setGeometry(8, 24 + i * 48, 68, 20);
    RadioGrpIntvButtons->addButton(radio, i);
  }
  RadioGrpIntvButtons->button(0)->setChecked(true);

  cxChckLstBxWk = new QListWidget(this);
  cxChckLstBxWk->setObjectName("cxChckLstBxWk");
  cxChckLstBxWk->setGeometry(112, 41, 121, 97);
  // Seven rows of 13 pixels fill the list exactly; the check marks are sized to the rows.
  QFont listFont = cxChckLstBxWk->font();
  listFont.setPixelSize(11);
  cxChckLstBxWk->setFont(listFont);
  cxChckLstBxWk->setStyleSheet(QStringLiteral("QListWidget::indicator { width: 11px; height: 11px; }"));
  for (const char* day : Weekdays) {
    auto* item = new QListWidgetItem(QString::fromUtf8(day), cxChckLstBxWk);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setSizeHint(QSize(100, 13));
  }
  cxBtnWkClr = new QPushButton(QString::fromUtf8("クリア"), this);
  cxBtnWkClr->setObjectName("cxBtnWkClr");
  cxBtnWkClr->setGeometry(239, 41, 49, 23);

  cxChkCmbBDay = new TCheckComboBox(this);
  cxChkCmbBDay->setObjectName("cxChkCmbBDay");
  cxChkCmbBDay->setGeometry(112, 81, 121, 21);
  for (int d = 1; d <= 31; ++d) cxChkCmbBDay->AddCheckItem(QString::number(d));
  cxBtnDayClr = new QPushButton(QString::fromUtf8("クリア"), this);
  cxBtnDayClr->setObjectName("cxBtnDayClr");
  cxBtnDayClr->setGeometry(239, 80, 49, 23);

  cxTimeEd = new QTimeEdit(QTime(12, 0, 0), this);
  cxTimeEd->setObjectName("cxTimeEd");
  cxTimeEd->setDisplayFormat(QStringLiteral("H:mm:ss"));
  cxTimeEd->setGeometry(112, 144, 98, 21);
  Label1 = new QLabel(QString::fromUtf8("に起動する"), this);
  Label1->setGeometry(216, 146, 80, 16);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setGeometry(64, 201, 81, 27);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QString::fromUtf8("キャンセル"), this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(176, 201, 81, 27);
  for (QPushButton* b : {cxBtnWkClr, cxBtnDayClr, CancelBtn}) b->setAutoDefault(false);

  ApplyVisibility(0);

  connect(RadioGrpIntvButtons, &QButtonGroup::idClicked, this, &TfrmSchedule::RadioGrpIntvClick);
  connect(cxBtnWkClr, &QPushButton::clicked, this, &TfrmSchedule::cxBtnWkClrClick);
  connect(cxBtnDayClr, &QPushButton::clicked, this, &TfrmSchedule::cxBtnDayClrClick);
  connect(OKBtn, &QPushButton::clicked, this, &TfrmSchedule::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

int TfrmSchedule::Interval() const { return RadioGrpIntvButtons->checkedId(); }

void TfrmSchedule::SetInterval(int index) {
  RadioGrpIntvButtons->button(index)->setChecked(true);
  ApplyVisibility(index);
}

bool TfrmSchedule::WeekdayChecked(int day) const { return cxChckLstBxWk->item(day)->checkState() == Qt::Checked; }

void TfrmSchedule::SetWeekdayChecked(int day, bool checked) {
  cxChckLstBxWk->item(day)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TfrmSchedule::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) ReadSchedule();
}

void TfrmSchedule::ApplyVisibility(int interval) {
  cxChckLstBxWk->setVisible(interval == 1);
  cxBtnWkClr->setVisible(interval == 1);
  cxChkCmbBDay->setVisible(interval == 2);
  cxBtnDayClr->setVisible(interval == 2);
}

void TfrmSchedule::RadioGrpIntvClick() { ApplyVisibility(Interval()); }

void TfrmSchedule::cxBtnWkClrClick() {
  for (int day = 0; day < 7; ++day) SetWeekdayChecked(day, false);
}

void TfrmSchedule::cxBtnDayClrClick() { cxChkCmbBDay->ClearChecks(); }

// The hidden control of the other intervals keeps its choices: switching never clears them.
void TfrmSchedule::ReadSchedule() {
  try {
    backupdb::Schedule schedule;
    {
      auto db = backupdb::OpenDatabase();
      // Without a row the window shows the schedule a new database starts with.
      if (auto stored = backupdb::ReadSchedule(*db)) schedule = *stored;
    }
    const platform::TimeOfDay time = platform::StrToTime(schedule.bk_time);
    cxTimeEd->setTime(QTime(time.hour, time.minute, time.second));
    if (schedule.bk_type == "0") {
      SetInterval(0);
    } else if (schedule.bk_type == "1") {
      SetInterval(1);
      bool checked[7] = {};
      const std::string& week = schedule.bk_week;
      for (std::size_t pos = 0; pos < week.size();) {
        std::size_t comma = std::min(week.find(',', pos), week.size());
        int day = platform::StrToInt(std::string_view(week).substr(pos, comma - pos));
        if (day >= 0 && day < 7) checked[day] = true;
        pos = comma + 1;
      }
      for (int day = 0; day < 7; ++day) SetWeekdayChecked(day, checked[day]);
    } else {
      SetInterval(2);
      if (!schedule.bk_month.empty()) cxChkCmbBDay->SetText(QString::fromStdString(schedule.bk_month));
    }
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
  }
}

std::string TfrmSchedule::WeekdayText() const {
  std::string text;
  for (int day = 0; day < 7; ++day) {
    if (WeekdayChecked(day)) text += std::to_string(day) + ",";
  }
  if (!text.empty()) text.pop_back();
  return text;
}

// Delete and insert go together, so a failed save keeps the schedule that was stored.
bool TfrmSchedule::SaveSchedule() {
  const QTime t = cxTimeEd->time();
  const std::string time = platform::FormatLongTime(platform::TimeOfDay{t.hour(), t.minute(), t.second()});
  const int type = Interval();
  const std::string week = type == 1 ? WeekdayText() : std::string();
  const std::string days = type == 2 ? cxChkCmbBDay->Text().toStdString() : std::string();
  try {
    auto db = backupdb::OpenDatabase();
    backupdb::ReplaceSchedule(*db, type, week, days, time);
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
    return false;
  }
  emit Saved();
  return true;
}

// A failed save keeps the window open with the user's choices, to retry or cancel.
void TfrmSchedule::OKBtnClick() {
  if (SaveSchedule()) accept();
}

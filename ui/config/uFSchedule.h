// The schedule window: daily, on chosen weekdays or on chosen days of the month, at one time of
// day. Reads the schedule row when shown and replaces it on OK.
#pragma once
#include <string>

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class TCheckComboBox;

class TfrmSchedule : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmSchedule(QWidget* parent = nullptr);

  QGroupBox* RadioGrpIntv;
  QButtonGroup* RadioGrpIntvButtons;  // ids 0 "毎日", 1 "毎週", 2 "毎月"
  QListWidget* cxChckLstBxWk;
  QPushButton* cxBtnWkClr;
  TCheckComboBox* cxChkCmbBDay;
  QPushButton* cxBtnDayClr;
  QTimeEdit* cxTimeEd;
  QLabel* Label1;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  int Interval() const;
  void SetInterval(int index);  // chooses the interval and shows its controls
  bool WeekdayChecked(int day) const;
  void SetWeekdayChecked(int day, bool checked);

  void ReadSchedule();
  // True when the schedule row was replaced; on failure the error has been shown.
  bool SaveSchedule();

  void RadioGrpIntvClick();
  void cxBtnWkClrClick();
  void cxBtnDayClrClick();
  void OKBtnClick();

 signals:
  // The schedule row was replaced: whoever runs the schedule reads it again.
  void Saved();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyVisibility(int interval);
  std::string WeekdayText() const;
};

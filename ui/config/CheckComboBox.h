// A drop-down list of checkable items whose text is the checked items joined by ",", or
// "None selected" when none is checked. Clicking an item in the open list toggles it and
// keeps the list open.
#pragma once
#include <QComboBox>
#include <QString>

class QStandardItemModel;

class TCheckComboBox : public QComboBox {
  Q_OBJECT

 public:
  static constexpr const char* EmptySelectionText = "None selected";
  static constexpr char Delimiter = ',';

  explicit TCheckComboBox(QWidget* parent = nullptr);

  void AddCheckItem(const QString& text);
  bool Checked(int index) const;
  void SetChecked(int index, bool checked);
  void ClearChecks();
  // Checked items in list order joined by the delimiter; the empty-selection text when none.
  QString Text() const;
  // Checks exactly the items named in text (the form Text gives); unknown names are ignored.
  void SetText(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QStandardItemModel* FModel;
};

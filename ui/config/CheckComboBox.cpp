#include "CheckComboBox.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStringList>
#include <QStyleOptionComboBox>
#include <QStylePainter>

TCheckComboBox::TCheckComboBox(QWidget* parent) : QComboBox(parent), FModel(new QStandardItemModel(this)) {
  setModel(FModel);
  // A scrolling list of a dozen days rather than a popup as tall as all 31.
  setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
  setMaxVisibleItems(12);
  view()->viewport()->installEventFilter(this);
}

void TCheckComboBox::AddCheckItem(const QString& text) {
  auto* item = new QStandardItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  item->setData(Qt::Unchecked, Qt::CheckStateRole);
  FModel->appendRow(item);
  setCurrentIndex(-1);
}

bool TCheckComboBox::Checked(int index) const {
  const QStandardItem* item = FModel->item(index);
  return item != nullptr && item->checkState() == Qt::Checked;
}

void TCheckComboBox::SetChecked(int index, bool checked) {
  if (QStandardItem* item = FModel->item(index)) item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  update();
}

void TCheckComboBox::ClearChecks() {
  for (int i = 0; i < FModel->rowCount(); ++i) SetChecked(i, false);
}

QString TCheckComboBox::Text() const {
  QStringList names;
  for (int i = 0; i < FModel->rowCount(); ++i) {
    if (Checked(i)) names << FModel->item(i)->text();
  }
  return names.isEmpty() ? QString::fromLatin1(EmptySelectionText) : names.join(QChar::fromLatin1(Delimiter));
}

void TCheckComboBox::SetText(const QString& text) {
  const QStringList names = text.split(QChar::fromLatin1(Delimiter));
  for (int i = 0; i < FModel->rowCount(); ++i) {
    SetChecked(i, names.contains(FModel->item(i)->text()));
  }
}

void TCheckComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  opt.currentText = Text();
  opt.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, opt);
  painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

// A release on an item toggles it; eating the release keeps the list open for more.
bool TCheckComboBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    QModelIndex index = view()->indexAt(mouse->position().toPoint());
    if (index.isValid()) SetChecked(index.row(), !Checked(index.row()));
    return true;
  }
  return QComboBox::eventFilter(watched, event);
}

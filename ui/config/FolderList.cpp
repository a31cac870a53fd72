#include "FolderList.h"

#include <algorithm>

#include <QIcon>

#include "Paths.h"

TFolderList::TFolderList(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(false);
  setIndentation(10);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTextElideMode(Qt::ElideRight);
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) { ItemClicked(item); });
}

void TFolderList::SetDirectory(const std::string& path) {
  std::string dir = path.empty() ? std::string() : platform::ExcludeTrailingPathDelimiter(path);
  if (dir.empty() && !path.empty()) dir = std::string(1, platform::PathDelim);
  bool changed = dir != FDirectory;
  FDirectory = dir;

  clear();
  const QIcon open = QIcon::fromTheme(QStringLiteral("folder-open"));
  QTreeWidgetItem* last = nullptr;
  auto add = [&](const std::string& name, const std::string& full) {
    auto* item = last == nullptr ? new QTreeWidgetItem(this) : new QTreeWidgetItem(last);
    item->setText(0, QString::fromStdString(name));
    item->setData(0, Qt::UserRole, QString::fromStdString(full));
    item->setToolTip(0, QString::fromStdString(full));
    item->setIcon(0, open);
    last = item;
  };
  // One item per component, each holding the full path up to it.
  std::string full;
  std::size_t pos = 0;
  if (!dir.empty() && dir.front() == platform::PathDelim) {
    full = std::string(1, platform::PathDelim);
    add(full, full);
    pos = 1;
  }
  while (pos < dir.size()) {
    std::size_t next = std::min(dir.find(platform::PathDelim, pos), dir.size());
    if (next > pos) {
      full = platform::JoinPath(full, dir.substr(pos, next - pos));
      add(dir.substr(pos, next - pos), full);
    }
    pos = next + 1;
  }
  expandAll();
  if (last != nullptr) {
    setCurrentItem(last);
    scrollToItem(last);
  }
  if (changed) emit DirectoryChanged();
}

// The clicked ancestor becomes the current folder: only its descendants go, so the clicked
// item itself outlives the click being delivered.
void TFolderList::ItemClicked(QTreeWidgetItem* item) {
  if (item != nullptr) {
    const std::string dir = item->data(0, Qt::UserRole).toString().toStdString();
    qDeleteAll(item->takeChildren());
    setCurrentItem(item);
    const bool changed = dir != FDirectory;
    FDirectory = dir;
    if (changed) emit DirectoryChanged();
  }
  emit Clicked();
}

// The folder view of one side of the folder pair picker: the current folder shown as the chain
// of its ancestors from "/", as a folder list box shows it. A click on an ancestor makes it the
// current folder; the folder itself is picked with the platform's folder chooser.
#pragma once
#include <string>

#include <QTreeWidget>

class TFolderList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TFolderList(QWidget* parent = nullptr);

  const std::string& Directory() const { return FDirectory; }
  // Shows path (trailing delimiters dropped, "/" kept) and reports DirectoryChanged when it differs.
  void SetDirectory(const std::string& path);

 signals:
  void DirectoryChanged();
  // Any click on an item, after it has become the current folder.
  void Clicked();

 private:
  void ItemClicked(QTreeWidgetItem* item);
  std::string FDirectory;
};

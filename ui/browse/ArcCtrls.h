// The archive views: a tree of an archive's folders and a report list of the entries of the
// place chosen in it, linked so that each follows the other. The tree lists the archive once
// through a short-lived archive component, builds itself from the records and hands them to the
// linked list, which keeps them; what they show is worked out by ArcModel.
#pragma once
#include <QPointer>
#include <QTreeView>
#include <QTreeWidget>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ArcModel.h"

class TCustomArcListView;

// A file that the archiver library cannot open or list to its end; what() is the message for
// the user, the library's own text below it.
class EArchiveUnreadable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TArcListModel;

class TCustomArcTreeView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TCustomArcTreeView(QWidget* parent = nullptr);
  ~TCustomArcTreeView() override;

  // Shows that archive (read again even when it is the one shown); an empty name does nothing.
  // A file that is no readable archive raises EArchiveUnreadable and changes nothing shown.
  void LoadArchive(std::string_view fileName);
  const std::string& ArchiveName() const { return FArchiveName; }

  TCustomArcListView* ArcListView() const { return FArcListView; }
  void SetArcListView(TCustomArcListView* list);

  // The all-members node and the "Root" node; setting either reads the archive again (once, for
  // both views).
  bool ShowAllList() const { return FShowAllList; }
  void SetShowAllList(bool value);
  bool ShowTrees() const { return FShowTrees; }
  void SetShowTrees(bool value);

  std::string SelectedPath() const;
  // Selects the node FindNodeByPath gives, or clears the selection when there is none.
  void SelectPath(std::string_view path);
  // First node in pre-order whose NodePath equals path exactly; null when none does.
  QTreeWidgetItem* FindNodeByPath(std::string_view path) const;
  // The parent's path, the node's text and "/"; empty for no node.
  std::string NodePath(const QTreeWidgetItem* node) const;

 signals:
  // The selection changed; the linked list already shows the new place.
  void OnChange();

 private:
  // Lists the archive once, builds the tree from that listing and gives the records to the
  // linked list. Raises, changing nothing, when the archive cannot be read to its end.
  void Reload();
  void RebuildTree(std::span<const TMemberBlock> members);
  void SwitchChanged();
  void SelectNode(QTreeWidgetItem* node);
  void SelectionChanged();
  QTreeWidgetItem* SelectedNode() const;

  std::string FArchiveName;
  QPointer<TCustomArcListView> FArcListView;
  bool FShowAllList = true;
  bool FShowTrees = true;
  QMetaObject::Connection FSelectionConnection;
};

class TCustomArcListView : public QTreeView {
  Q_OBJECT

 public:
  explicit TCustomArcListView(QWidget* parent = nullptr);
  ~TCustomArcListView() override;

  // Reads the members of ArchiveName again; the items are refilled by the next ShowPath.
  void LoadMembers();
  // Takes members that the linked tree has just read; the items are refilled by the next ShowPath.
  void SetMembers(std::vector<TMemberBlock> members);
  // Fills the items for a place: the all-members path, a "Root/..." folder path, or nothing.
  void ShowPath(std::string_view path);

  const std::string& ArchiveName() const { return FArchiveName; }
  void SetArchiveName(std::string name) { FArchiveName = std::move(name); }
  const std::string& CurrentPath() const { return FCurrentPath; }
  const std::vector<TMemberBlock>& Members() const { return FMembers; }

  TCustomArcTreeView* ArcTreeView() const { return FArcTreeView; }
  void SetArcTreeView(TCustomArcTreeView* tree);

  bool ShowFolder() const { return FShowFolder; }
  void SetShowFolder(bool value);

  int SortColumn() const { return FSort.SortColumn; }
  int SortDirection() const { return FSort.SortDirection; }
  // A click on the header of a column.
  void ColumnClick(int index);

  // The items as shown, and the one selected (null when none).
  const std::vector<TListRow>& Items() const;
  std::string ItemText(int row, int column) const;
  const TListRow* Selected() const;
  void SelectItem(int row);

 protected:
  // Until the user sizes a column, the columns keep their designed proportions and fit the list.
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FitColumns();

  bool FFittingColumns = false;
  bool FColumnsSizedByUser = false;
  std::string FArchiveName;
  std::string FCurrentPath;
  std::vector<TMemberBlock> FMembers;
  QPointer<TCustomArcTreeView> FArcTreeView;
  TSortState FSort;
  bool FShowFolder = false;
  TArcListModel* FModel;
};

// The views as windows place them; all behaviour lives in the base classes.
class TArcTreeView : public TCustomArcTreeView {
  Q_OBJECT
 public:
  using TCustomArcTreeView::TCustomArcTreeView;
};

class TArcListView : public TCustomArcListView {
  Q_OBJECT
 public:
  using TCustomArcListView::TCustomArcListView;
};

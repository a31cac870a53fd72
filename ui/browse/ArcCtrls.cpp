#include "ArcCtrls.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <algorithm>
#include <QSignalBlocker>
#include <span>

#include "ARCHIVES.h"
#include "LibraryMessages.h"
#include "Paths.h"
#include "Shell.h"

static_assert(sizeof(TMemberRecord) == MemberRecordSize);

namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The library's own words about an archive it cannot list, and its code: a listing of one name
// that no archive holds, into a folder of its own that is removed, so nothing is written.
std::pair<int, std::string> LibraryVerdict(const std::string& archiveName) {
  TArchiveFile probe;
  probe.SetFileName(archiveName);
  probe.SetOutputSize(8192);
  probe.Options().jso = 1;
  probe.Options().jse = 1;
  const QTemporaryDir scratch;
  try {
    const int rc = probe.Extract(0, nullptr, scratch.path().toStdString(), TFileArgs{std::string("\x01")});
    return {rc, probe.Output()};
  } catch (const std::exception& e) {
    return {0, e.what()};
  }
}

[[noreturn]] void RaiseUnreadable(const std::string& archiveName, int code) {
  auto [rc, text] = LibraryVerdict(archiveName);
  // Unless the library names a worse fault, a file it cannot open is no archive of its kind.
  if (rc == 0 || rc == 0x8032) rc = code;
  throw EArchiveUnreadable(platform::LibraryErrorText(rc, platform::ExtractFileName(archiveName), text));
}

// Every member record of an archive, in archive order, through a component of its own that is
// closed and freed on every path. A file the library cannot open or list to its end raises
// EArchiveUnreadable: an empty list would pass it off as an empty archive.
std::vector<TMemberBlock> ReadMembers(const std::string& archiveName) {
  TArchiveFile archive;
  archive.SetFileName(archiveName);
  if (archive.OpenArchive(0, 0)) RaiseUnreadable(archiveName, 0x8019);
  std::vector<TMemberBlock> blocks;
  int rc = 0;
  try {
    TMemberRecord rec{};
    for (rc = archive.FindFirst("*.*", rec); rc == 0; rc = archive.FindNext(rec)) {
      blocks.emplace_back(std::as_bytes(std::span<const TMemberRecord, 1>(&rec, 1)));
    }
  } catch (...) {
    archive.CloseArchive();
    throw;
  }
  archive.CloseArchive();
  if (rc != -1) RaiseUnreadable(archiveName, rc);
  return blocks;
}

// No repainting while a view is refilled; reopened on every path.
class UpdateBracket {
 public:
  explicit UpdateBracket(QWidget* widget) : FWidget(widget), FWasEnabled(widget->updatesEnabled()) {
    widget->setUpdatesEnabled(false);
  }
  ~UpdateBracket() { FWidget->setUpdatesEnabled(FWasEnabled); }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

 private:
  QWidget* FWidget;
  bool FWasEnabled;
};

// A folder node shows the closed folder, and the open one while it is selected.
QIcon FolderNodeIcon() {
  const QIcon closed = platform::FolderIcon();
  const QIcon open = platform::FolderOpenIcon();
  QIcon icon;
  for (int size : {16, 22, 32}) {
    icon.addPixmap(closed.pixmap(size), QIcon::Normal);
    icon.addPixmap(open.pixmap(size), QIcon::Selected);
  }
  return icon;
}

const QIcon& MemberIcon(const TMemberBlock& member) {
  return platform::FileTypeByExtension(platform::ExtractFileExt(member.Name())).Icon;
}

struct TColumn {
  const char* Caption;
  int Width;
  Qt::Alignment Alignment;
};
const std::array<TColumn, ColumnCount> Columns{{
    {"ファイル名", 150, Qt::AlignLeft},
    {"ファイルの種類", 100, Qt::AlignLeft},
    {"サイズ", 100, Qt::AlignRight},
    {"圧縮サイズ", 100, Qt::AlignRight},
    {"圧縮率", 100, Qt::AlignRight},
    {"更新日時", 150, Qt::AlignLeft},
}};

}  // namespace

// The list's items for the item view: one row per TListRow, texts worked out when shown.
class TArcListModel final : public QAbstractTableModel {
 public:
  explicit TArcListModel(QObject* parent) : QAbstractTableModel(parent), FFolderIcon(platform::FolderIcon()) {}

  const std::vector<TListRow>& Rows() const { return FRows; }
  void SetRows(std::vector<TListRow> rows) {
    beginResetModel();
    FRows = std::move(rows);
    endResetModel();
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : ColumnCount; }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(FRows.size())) return {};
    const TListRow& row = FRows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
      case Qt::DisplayRole:
        if (column == 0) return q(row.Caption);
        if (column == 1) return q(row.TypeName);
        if (row.IsFolder()) return QString();
        return q(MemberColumnTexts(*row.Member)[static_cast<std::size_t>(column - 2)]);
      case Qt::DecorationRole:
        if (column != 0) return {};
        return row.IsFolder() ? FFolderIcon : MemberIcon(*row.Member);
      case Qt::TextAlignmentRole:
        return QVariant::fromValue(Columns[static_cast<std::size_t>(column)].Alignment | Qt::AlignVCenter);
      default:
        return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
    const TColumn& c = Columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return QString::fromUtf8(c.Caption);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(c.Alignment | Qt::AlignVCenter);
    return {};
  }

 private:
  std::vector<TListRow> FRows;
  QIcon FFolderIcon;
};

// ---------------------------------------------------------------------------------------------

TCustomArcTreeView::TCustomArcTreeView(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  FSelectionConnection =
      connect(this, &QTreeWidget::itemSelectionChanged, this, &TCustomArcTreeView::SelectionChanged);
}

TCustomArcTreeView::~TCustomArcTreeView() {
  // The base class empties the tree after this part is gone; nothing may react to that.
  disconnect(FSelectionConnection);
  SetArcListView(nullptr);
}

void TCustomArcTreeView::LoadArchive(std::string_view fileName) {
  if (fileName.empty()) return;
  // Read before anything changes: a file that is no readable archive leaves the views as they were.
  std::vector<TMemberBlock> members = ReadMembers(std::string(fileName));
  FArchiveName = std::string(fileName);
  RebuildTree(members);
  if (FArcListView) {
    FArcListView->SetArchiveName(FArchiveName);
    FArcListView->SetMembers(std::move(members));
  }
  SelectNode(topLevelItemCount() > 0 ? topLevelItem(0) : nullptr);
}

void TCustomArcTreeView::Reload() {
  std::vector<TMemberBlock> members = ReadMembers(FArchiveName);
  RebuildTree(members);
  if (FArcListView && topLevelItemCount() > 0) FArcListView->SetMembers(std::move(members));
}

void TCustomArcTreeView::RebuildTree(std::span<const TMemberBlock> members) {
  UpdateBracket bracket(this);
  // Emptying the tree is not a selection the list should follow: the list is told separately.
  QSignalBlocker quiet(this);
  clear();
  if (FShowAllList) {
    auto* node = new QTreeWidgetItem(QStringList{q(platform::ExtractFileName(FArchiveName))});
    node->setIcon(0, platform::FileTypeByExtension(platform::ExtractFileExt(FArchiveName)).Icon);
    addTopLevelItem(node);
  }
  if (FShowTrees) {
    const QIcon folder = FolderNodeIcon();
    auto* root = new QTreeWidgetItem(QStringList{QStringLiteral("Root")});
    root->setIcon(0, folder);
    // Built before it joins the tree, so appending a node costs no view update.
    const std::vector<TFolderNode> folders = BuildFolderTree(members);
    std::vector<QTreeWidgetItem*> items;
    items.reserve(folders.size());
    for (const TFolderNode& f : folders) {
      QTreeWidgetItem* parentItem = f.Parent < 0 ? root : items[static_cast<std::size_t>(f.Parent)];
      auto* item = new QTreeWidgetItem(parentItem, QStringList{q(f.Text)});
      item->setIcon(0, folder);
      items.push_back(item);
    }
    addTopLevelItem(root);
    expandAll();
  }
}

void TCustomArcTreeView::SetArcListView(TCustomArcListView* list) {
  if (list == FArcListView) return;
  TCustomArcListView* old = FArcListView;
  FArcListView = list;
  if (old != nullptr && old->ArcTreeView() == this) old->SetArcTreeView(nullptr);
  if (list != nullptr) list->SetArcTreeView(this);
}

void TCustomArcTreeView::SetShowAllList(bool value) {
  FShowAllList = value;
  SwitchChanged();
}

void TCustomArcTreeView::SetShowTrees(bool value) {
  FShowTrees = value;
  SwitchChanged();
}

void TCustomArcTreeView::SwitchChanged() {
  if (FArchiveName.empty()) return;
  Reload();
  if (topLevelItemCount() == 0) {
    if (FArcListView) FArcListView->ShowPath("");
    return;
  }
  SelectNode(topLevelItem(0));
}

QTreeWidgetItem* TCustomArcTreeView::SelectedNode() const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? nullptr : selected.front();
}

std::string TCustomArcTreeView::SelectedPath() const { return NodePath(SelectedNode()); }

void TCustomArcTreeView::SelectPath(std::string_view path) { SelectNode(FindNodeByPath(path)); }

QTreeWidgetItem* TCustomArcTreeView::FindNodeByPath(std::string_view path) const {
  // Pre-order, descending only into nodes whose path begins the one looked for: the same first
  // match as visiting every node.
  struct Search {
    static QTreeWidgetItem* In(const std::vector<QTreeWidgetItem*>& nodes, std::string_view rest) {
      for (QTreeWidgetItem* node : nodes) {
        const std::string text = node->text(0).toStdString() + "/";
        if (!rest.starts_with(text)) continue;
        if (rest.size() == text.size()) return node;
        std::vector<QTreeWidgetItem*> children;
        for (int i = 0; i < node->childCount(); ++i) children.push_back(node->child(i));
        if (QTreeWidgetItem* found = In(children, rest.substr(text.size()))) return found;
      }
      return nullptr;
    }
  };
  std::vector<QTreeWidgetItem*> tops;
  for (int i = 0; i < topLevelItemCount(); ++i) tops.push_back(topLevelItem(i));
  return Search::In(tops, path);
}

std::string TCustomArcTreeView::NodePath(const QTreeWidgetItem* node) const {
  std::string path;
  for (; node != nullptr; node = node->parent()) path = node->text(0).toStdString() + "/" + path;
  return path;
}

void TCustomArcTreeView::SelectNode(QTreeWidgetItem* node) {
  if (node == SelectedNode()) return;
  {
    QSignalBlocker quiet(this);
    if (node != nullptr) {
      setCurrentItem(node);
    } else {
      setCurrentItem(nullptr);
      clearSelection();
    }
  }
  SelectionChanged();
}

void TCustomArcTreeView::SelectionChanged() {
  if (FArcListView) FArcListView->ShowPath(SelectedPath());
  emit OnChange();
}

// ---------------------------------------------------------------------------------------------

TCustomArcListView::TCustomArcListView(QWidget* parent) : QTreeView(parent), FModel(new TArcListModel(this)) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setModel(FModel);
  header()->setStretchLastSection(false);
  header()->setSectionsClickable(true);
  for (int i = 0; i < ColumnCount; ++i) header()->resizeSection(i, Columns[static_cast<std::size_t>(i)].Width);
  connect(header(), &QHeaderView::sectionClicked, this, &TCustomArcListView::ColumnClick);
  connect(header(), &QHeaderView::sectionResized, this, [this] {
    if (!FFittingColumns) FColumnsSizedByUser = true;
  });
}

void TCustomArcListView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  if (!FColumnsSizedByUser) FitColumns();
}

// The designed widths (700 pixels in all) shrunk in proportion when the list is narrower, room
// kept for a vertical scroll bar that filling the list may bring; never widened.
void TCustomArcListView::FitColumns() {
  int designed = 0;
  for (const TColumn& c : Columns) designed += c.Width;
  const int room = viewport()->width() -
                   (verticalScrollBar()->isVisible() ? 0 : style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
  if (room <= 0) return;
  const double scale = std::min(1.0, static_cast<double>(room) / designed);
  FFittingColumns = true;
  for (int i = 0; i < ColumnCount; ++i) {
    header()->resizeSection(i, static_cast<int>(Columns[static_cast<std::size_t>(i)].Width * scale));
  }
  FFittingColumns = false;
}

TCustomArcListView::~TCustomArcListView() {
  // The items refer into the member blocks, which go first.
  FModel->SetRows({});
  SetArcTreeView(nullptr);
}

void TCustomArcListView::LoadMembers() {
  if (FArchiveName.empty()) return;
  SetMembers(ReadMembers(FArchiveName));
}

void TCustomArcListView::SetMembers(std::vector<TMemberBlock> members) {
  // The items refer into the blocks they replace.
  FModel->SetRows({});
  FMembers = std::move(members);
}

void TCustomArcListView::ShowPath(std::string_view path) {
  if (FArchiveName.empty()) return;
  FCurrentPath = std::string(path);
  {
    UpdateBracket bracket(this);
    std::vector<TListRow> rows = ListRowsForPath(FCurrentPath, FArchiveName, FMembers, FShowFolder);
    for (TListRow& row : rows) {
      if (!row.IsFolder()) {
        row.TypeName = platform::FileTypeByExtension(platform::ExtractFileExt(row.Member->Name())).TypeName;
      }
    }
    SortRows(rows, FSort.SortColumn, FSort.SortDirection);
    FModel->SetRows(std::move(rows));
  }
  if (FArcTreeView) FArcTreeView->SelectPath(FCurrentPath);
}

void TCustomArcListView::SetArcTreeView(TCustomArcTreeView* tree) {
  if (tree == FArcTreeView) return;
  TCustomArcTreeView* old = FArcTreeView;
  FArcTreeView = tree;
  if (old != nullptr && old->ArcListView() == this) old->SetArcListView(nullptr);
  if (tree != nullptr) tree->SetArcListView(this);
}

void TCustomArcListView::SetShowFolder(bool value) {
  FShowFolder = value;
  ShowPath(FCurrentPath);
}

void TCustomArcListView::ColumnClick(int index) {
  FSort.Click(index);
  const TListRow* selected = Selected();
  const TMemberBlock* selectedMember = selected != nullptr ? selected->Member : nullptr;
  const std::string selectedCaption = selected != nullptr ? selected->Caption : std::string();
  const bool hadSelection = selected != nullptr;

  std::vector<TListRow> rows = FModel->Rows();
  SortRows(rows, FSort.SortColumn, FSort.SortDirection);
  FModel->SetRows(std::move(rows));
  if (!hadSelection) return;
  // The selected item stays selected in its new place.
  const auto& now = FModel->Rows();
  for (std::size_t i = 0; i < now.size(); ++i) {
    if (now[i].Member == selectedMember && now[i].Caption == selectedCaption) {
      SelectItem(static_cast<int>(i));
      break;
    }
  }
}

const std::vector<TListRow>& TCustomArcListView::Items() const { return FModel->Rows(); }

std::string TCustomArcListView::ItemText(int row, int column) const {
  return FModel->data(FModel->index(row, column), Qt::DisplayRole).toString().toStdString();
}

const TListRow* TCustomArcListView::Selected() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  if (rows.isEmpty()) return nullptr;
  return &FModel->Rows()[static_cast<std::size_t>(rows.front().row())];
}

void TCustomArcListView::SelectItem(int row) {
  setCurrentIndex(FModel->index(row, 0));
}

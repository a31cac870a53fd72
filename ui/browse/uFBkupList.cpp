#include "uFBkupList.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSplitter>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>
#include <system_error>

#include "ARCHIVES.h"
#include "Dialogs.h"
#include "LibraryMessages.h"
#include "Paths.h"
#include "uDPickFolder2.h"
#include "FormLook.h"

namespace fs = std::filesystem;

namespace {

constexpr int VK_RETURN = 13;

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

TfrmBkupList::TfrmBkupList(TDlgPickFolder2& picker, QWidget* parent)
    : QDialog(parent), ArchiveFile1(std::make_unique<TArchiveFile>()), FPicker(picker) {
  setObjectName("frmBkupList");
  setWindowTitle("バックアップファイル参照");
  ApplyFormLook(*this, &FormBackground);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  MainMenu1 = new QMenuBar(this);
  File1 = MainMenu1->addMenu("ファイル(&F)");
  Open1 = File1->addAction("開く(&O)");
  Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Exit1 = File1->addAction("終了(&X)");
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
  layout->setMenuBar(MainMenu1);

  Panel1 = new QFrame(this);
  Panel1->setFrameShape(QFrame::NoFrame);
  Panel1->setFixedHeight(55);
  auto* strip = new QHBoxLayout(Panel1);
  strip->setContentsMargins(8, 0, 8, 0);
  strip->setSpacing(6);
  LabeledEdit1Label = new QLabel("ツリーパス", Panel1);
  LabeledEdit1 = new QLineEdit(Panel1);
  LabeledEdit1->setMinimumWidth(489);
  LabeledEdit1Label->setBuddy(LabeledEdit1);
  cxBtnopn = new QPushButton("開く", Panel1);
  cxBtnopn->setFixedSize(58, 25);
  cxBtnopn->setFlat(true);
  cxBtnopn->setAutoDefault(false);
  strip->addWidget(LabeledEdit1Label);
  strip->addWidget(LabeledEdit1, 1);
  strip->addWidget(cxBtnopn);
  strip->addStretch(0);
  layout->addWidget(Panel1);

  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setHandleWidth(7);
  Splitter1->setChildrenCollapsible(false);
  ArcTreeView1 = new TArcTreeView(Splitter1);
  ArcTreeView1->setIndentation(19);
  ArcListView1 = new TArcListView(Splitter1);
  ArcTreeView1->SetArcListView(ArcListView1);
  ArcListView1->SetShowFolder(true);
  Splitter1->addWidget(ArcTreeView1);
  Splitter1->addWidget(ArcListView1);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({153, 797 - 153 - 7});
  layout->addWidget(Splitter1, 1);

  PopupMenu1 = new QMenu(this);
  N1 = PopupMenu1->addAction("解凍");
  ArcListView1->setContextMenuPolicy(Qt::CustomContextMenu);

  resize(797, 538 + MainMenu1->sizeHint().height());

  LabeledEdit1->installEventFilter(this);
  connect(cxBtnopn, &QPushButton::clicked, this, &TfrmBkupList::cxBtnopnClick);
  connect(Open1, &QAction::triggered, this, &TfrmBkupList::cxBtnopnClick);
  connect(Exit1, &QAction::triggered, this, &QDialog::close);
  connect(ArcTreeView1, &TCustomArcTreeView::OnChange, this, &TfrmBkupList::ArcTreeView1Change);
  connect(ArcListView1, &QAbstractItemView::doubleClicked, this, &TfrmBkupList::ArcListView1DblClick);
  connect(ArcListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { PopupMenu1->popup(ArcListView1->viewport()->mapToGlobal(pos)); });
  connect(N1, &QAction::triggered, this, &TfrmBkupList::N1Click);
}

TfrmBkupList::~TfrmBkupList() {
  // The path box loses the focus while the window is taken apart; the tree may be gone by then.
  LabeledEdit1->removeEventFilter(this);
}

void TfrmBkupList::FormShow() {
  // Each showing reads the archive again and comes back to the all-members view.
  try {
    ArcTreeView1->SetShowAllList(true);
    ArcTreeView1->SetShowTrees(true);
    ArcListView1->SetShowFolder(true);
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
  }
}

void TfrmBkupList::cxBtnopnClick() {
  // The backup files first, then every archive the component can open.
  const std::string filter = std::string(OpenDialog1Filter) + "|" + ArchiveFileFilter("書庫ファイル");
  auto chosen = platform::dialogs().OpenFile(this, "開く", filter, {});
  if (!chosen) return;
  try {
    ArcTreeView1->LoadArchive(*chosen);
  } catch (const std::exception& e) {
    platform::dialogs().ShowError(this, e.what());
  }
}

void TfrmBkupList::ArcTreeView1Change() { LabeledEdit1->setText(q(ArcTreeView1->SelectedPath())); }

void TfrmBkupList::LabeledEdit1KeyDown(int key) {
  if (key == VK_RETURN) ArcTreeView1->SelectPath(LabeledEdit1->text().toStdString());
}

void TfrmBkupList::LabeledEdit1Exit() { ArcTreeView1->SelectPath(LabeledEdit1->text().toStdString()); }

void TfrmBkupList::ArcListView1DblClick() {
  const TListRow* item = ArcListView1->Selected();
  if (item == nullptr || !item->IsFolder()) return;
  ArcListView1->ShowPath(ArcListView1->CurrentPath() + item->Caption + "/");
}

void TfrmBkupList::N1Click() {
  FPicker.SetMode(1);
  platform::dialogs().ShowModal(FPicker);
  if (FPicker.Cancelled == 1) return;
  const TListRow* item = ArcListView1->Selected();
  const std::string dest = FPicker.GetFolder();
  // An empty folder would put the files nowhere known.
  if (item == nullptr || dest.empty()) {
    platform::dialogs().ShowError(this, ExtractErrorText);
    return;
  }
  try {
    const std::string archive = ArcListView1->ArchiveName();
    ArchiveFile1->SetFileName(archive);
    TArchiverOptions& options = ArchiveFile1->Options();
    options.jso = 1;
    options.jse = 1;
    ArchiveFile1->SetOutputSize(8192);

    std::string target;
    TFileArgs names;
    if (item->IsFolder()) {
      // A folder comes out with everything below it, under the folders that hold it in the archive.
      constexpr std::string_view root = "Root/";
      const std::string& shown = ArcListView1->CurrentPath();
      const std::string folder = (shown.starts_with(root) ? shown.substr(root.size()) : shown) + item->Caption;
      options.x = 1;
      names = TFileArgs{folder + "/*"};
      target = platform::JoinPath(dest, folder);
    } else {
      options.x = 0;
      names = TFileArgs{std::string(item->Member->Name())};
      target = platform::JoinPath(dest, item->Caption);
      if (fs::is_regular_file(fs::symlink_status(target)) || fs::is_symlink(fs::symlink_status(target))) {
        fs::remove(target);
      }
    }
    // With x 0 the member lands directly in dest under its own file name: at target.
    const int rc = ArchiveFile1->Extract(0, nullptr, dest, names);
    if (rc != 0) {
      // The library refused (a damaged archive, a file it could not write): say what failed, with
      // the library's words below, and open nothing.
      platform::dialogs().ShowError(this, platform::LibraryErrorText(rc, platform::ExtractFileName(archive),
                                                                     ArchiveFile1->Output()));
      return;
    }
    std::error_code ec;
    if (FPicker.RdBtn1->isChecked() && fs::exists(target, ec)) platform::dialogs().OpenWithProgram(target);
  } catch (const std::exception&) {
    platform::dialogs().ShowError(this, ExtractErrorText);
  }
}

void TfrmBkupList::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

bool TfrmBkupList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LabeledEdit1) {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      LabeledEdit1KeyDown(key == Qt::Key_Return || key == Qt::Key_Enter ? VK_RETURN : key);
    } else if (event->type() == QEvent::FocusOut) {
      LabeledEdit1Exit();
    }
  }
  return QDialog::eventFilter(watched, event);
}

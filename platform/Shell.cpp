#include "Shell.h"

#include <QApplication>
#include <QDirIterator>
#include <QMimeDatabase>
#include <QPointer>
#include <QStandardPaths>
#include <QStyle>
#include <unordered_map>

namespace platform {

namespace {

// Without a desktop session Qt knows no theme, or only the bare "hicolor", which has almost no
// file icons; Adwaita, the toolkit-neutral default, fills in when it is installed.
void ensureIconTheme() {
  static bool done = false;
  if (done) return;
  done = true;
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& dir :
       QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons", QStandardPaths::LocateDirectory)) {
    if (!paths.contains(dir)) paths << dir;
  }
  QIcon::setThemeSearchPaths(paths);
  if (QIcon::themeName().isEmpty()) QIcon::setThemeName("hicolor");
  if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor") {
    QIcon::setFallbackThemeName("Adwaita");
  }
}

QIcon themeIcon(const QStringList& names, QStyle::StandardPixmap standard) {
  ensureIconTheme();
  for (const QString& name : names) {
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  }
  return QApplication::style()->standardIcon(standard);
}

// Lives as a child of the application object, so its icons go before the toolkit does.
class TypeCache final : public QObject {
 public:
  using QObject::QObject;
  QMimeDatabase db;
  std::unordered_map<std::string, ShellFileType> types;
};

TypeCache& cache() {
  static QPointer<TypeCache> instance;
  if (instance == nullptr) instance = new TypeCache(QCoreApplication::instance());
  return *instance;
}

}  // namespace

const ShellFileType& FileTypeByExtension(std::string_view ext) {
  TypeCache& c = cache();
  std::string key(ext);
  auto it = c.types.find(key);
  if (it != c.types.end()) return it->second;
  QMimeType mime = c.db.mimeTypeForFile("file" + QString::fromUtf8(ext.data(), static_cast<qsizetype>(ext.size())),
                                        QMimeDatabase::MatchExtension);
  ShellFileType type{mime.comment().toStdString(),
                     themeIcon({mime.iconName(), mime.genericIconName()}, QStyle::SP_FileIcon)};
  return c.types.emplace(std::move(key), std::move(type)).first->second;
}

QIcon FolderIcon() { return themeIcon({"folder"}, QStyle::SP_DirClosedIcon); }
QIcon FolderOpenIcon() { return themeIcon({"folder-open"}, QStyle::SP_DirOpenIcon); }

QIcon ProgramIcon() {
  QIcon icon;
  QDirIterator it(QStringLiteral(":/tidekeep/icons"), {QStringLiteral("tidekeep.png")}, QDir::Files,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) icon.addFile(it.next());
  return icon;
}

}  // namespace platform

#include "Dialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QString>
#include <QTranslator>
#include <QUrl>
#include <memory>

namespace platform {

namespace {

Dialogs* installed = nullptr;

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// "description|*.a;*.b" becomes Qt's "description (*.a *.b)".
QString qtFilter(std::string_view filter) {
  QStringList out;
  QStringList parts = q(filter).split('|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    out << parts[i] + " (" + parts[i + 1].split(';').join(' ') + ")";
  }
  return out.join(";;");
}

}  // namespace

void Dialogs::ShowMessage(QWidget* parent, std::string_view text) {
  MessageBox(parent, text, AppTitle, MsgKind::Information, mbOK);
}

void Dialogs::ShowError(QWidget* parent, std::string_view text) {
  MessageBox(parent, text, AppTitle, MsgKind::Error, mbOK);
}

Dialogs& dialogs() {
  static QtDialogs real;
  return installed != nullptr ? *installed : real;
}

void SetDialogs(Dialogs* d) { installed = d; }

int QtDialogs::MessageBox(QWidget* parent, std::string_view text, std::string_view caption, MsgKind kind,
                          int buttons) {
  QMessageBox::Icon icon = QMessageBox::Information;
  switch (kind) {
    case MsgKind::Information: icon = QMessageBox::Information; break;
    case MsgKind::Warning: icon = QMessageBox::Warning; break;
    case MsgKind::Error: icon = QMessageBox::Critical; break;
    case MsgKind::Confirmation: icon = QMessageBox::Question; break;
  }
  QMessageBox box(icon, q(caption), q(text), QMessageBox::NoButton, parent);
  struct Map { int ours; QMessageBox::StandardButton qt; };
  const Map map[] = {{mbOK, QMessageBox::Ok}, {mbCancel, QMessageBox::Cancel}, {mbYes, QMessageBox::Yes},
                     {mbNo, QMessageBox::No}};
  for (const auto& m : map) {
    if (buttons & m.ours) box.addButton(m.qt);
  }
  if (buttons == 0) box.addButton(QMessageBox::Ok);
  int answer = box.exec();
  for (const auto& m : map) {
    if (answer == m.qt) return m.ours;
  }
  return (buttons & mbCancel) ? mbCancel : mbOK;
}

std::optional<std::string> QtDialogs::OpenFile(QWidget* parent, std::string_view title, std::string_view filter,
                                               std::string_view startDir) {
  QString name = QFileDialog::getOpenFileName(parent, q(title), q(startDir), qtFilter(filter));
  if (name.isEmpty()) return std::nullopt;
  return name.toStdString();
}

std::optional<std::string> QtDialogs::ChooseFolder(QWidget* parent, std::string_view title,
                                                   std::string_view startDir) {
  QString dir = QFileDialog::getExistingDirectory(parent, q(title), q(startDir));
  if (dir.isEmpty()) return std::nullopt;
  return dir.toStdString();
}

bool QtDialogs::OpenWithProgram(std::string_view path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(q(path)));
}

int QtDialogs::ShowModal(QDialog& dialog) { return dialog.exec(); }

bool InstallJapaneseQtTranslations() {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
  if (!QCoreApplication::installTranslator(translator.get())) return false;
  // The application uses it for as long as it runs.
  translator.release()->setParent(QCoreApplication::instance());
  return true;
}

}  // namespace platform


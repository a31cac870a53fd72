// What the desktop shows for files and folders: type names from the MIME database and small
// icons from the icon theme, chosen by extension alone (the file need not exist).
#pragma once
#include <string>
#include <string_view>

#include <QIcon>

namespace platform {

struct ShellFileType {
  std::string TypeName;  // the MIME type's description in the user's language
  QIcon Icon;
};

// The type of files named with extension ext (".txt"; "" for none). Answers are kept per
// extension for the life of the application object.
const ShellFileType& FileTypeByExtension(std::string_view ext);

// The theme's "folder" and "folder-open".
QIcon FolderIcon();
QIcon FolderOpenIcon();

// The program's own icon in every size the icon theme installs, carried inside the program so
// that the build tree shows it too; for the windows and the tray icon.
QIcon ProgramIcon();

}  // namespace platform

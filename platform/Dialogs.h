// The one seam between the windows and the user's answers: message boxes, file-open dialogs,
// folder choosers, "open with its program", and modal showing of the program's own windows.
// The program installs QtDialogs; tests install ScriptedDialogs and drive every window headless.
#pragma once
#include <optional>
#include <string>
#include <string_view>

class QWidget;
class QDialog;

namespace platform {

enum class MsgKind { Information, Warning, Error, Confirmation };

// Buttons of a message box, combinable; the answer is one of them.
enum MsgButton : int { mbOK = 1, mbCancel = 2, mbYes = 4, mbNo = 8 };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows text and returns the button pressed.
  virtual int MessageBox(QWidget* parent, std::string_view text, std::string_view caption, MsgKind kind,
                         int buttons) = 0;
  // filter in the "description|*.ext" form; nullopt when cancelled.
  virtual std::optional<std::string> OpenFile(QWidget* parent, std::string_view title, std::string_view filter,
                                              std::string_view startDir) = 0;
  virtual std::optional<std::string> ChooseFolder(QWidget* parent, std::string_view title,
                                                  std::string_view startDir) = 0;
  // Opens a file or folder with the program the desktop associates with it.
  virtual bool OpenWithProgram(std::string_view path) = 0;
  // Shows one of the program's windows modally and returns its result code.
  virtual int ShowModal(QDialog& dialog) = 0;

  // Conveniences over MessageBox.
  void ShowMessage(QWidget* parent, std::string_view text);  // information, OK
  void ShowError(QWidget* parent, std::string_view text);    // what the default handler shows
};

// The implementation in force (QtDialogs unless a test installed another).
Dialogs& dialogs();
// Installs d (not owned) as the implementation in force; nullptr restores QtDialogs.
void SetDialogs(Dialogs* d);

// The real one: Qt's message boxes and file dialogs, QDialog::exec, xdg-open.
class QtDialogs final : public Dialogs {
 public:
  int MessageBox(QWidget* parent, std::string_view text, std::string_view caption, MsgKind kind,
                 int buttons) override;
  std::optional<std::string> OpenFile(QWidget* parent, std::string_view title, std::string_view filter,
                                      std::string_view startDir) override;
  std::optional<std::string> ChooseFolder(QWidget* parent, std::string_view title,
                                          std::string_view startDir) override;
  bool OpenWithProgram(std::string_view path) override;
  int ShowModal(QDialog& dialog) override;
};

// Makes Qt's own dialogs (folder and file choosers, the buttons of message boxes) speak Japanese,
// like the rest of the program, whatever the desktop's language; call once the application
// exists. False when Qt's Japanese translations are not installed (Debian: qt6-translations-l10n);
// those dialogs then stay in English.
bool InstallJapaneseQtTranslations();

// Caption of the program's message boxes.
inline constexpr std::string_view AppTitle = "Tidekeep";

}  // namespace platform

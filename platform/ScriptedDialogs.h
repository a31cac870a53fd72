// A Dialogs for tests: every message shown is recorded, and every answer comes from a script
// the test queued beforehand. A modal window is shown without a nested loop and handed to the
// queued handler, which works its controls and returns the result.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "Dialogs.h"

namespace platform {

class ScriptedDialogs final : public Dialogs {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    MsgKind kind;
  };
  using ModalHandler = std::function<int(QDialog&)>;

  ScriptedDialogs();  // installs itself
  ~ScriptedDialogs() override;  // restores the real dialogs

  // Script. An empty answer queue answers mbOK (or the first button offered).
  std::deque<int> messageAnswers;
  std::deque<std::optional<std::string>> fileAnswers;
  std::deque<std::optional<std::string>> folderAnswers;
  std::deque<ModalHandler> modalHandlers;  // none queued: the window is rejected
  // Runs while a message box is up, as the box's nested loop would deliver timer ticks and the
  // like; the user has not answered yet.
  std::function<void(const Shown&)> whileMessageShown;

  // Record.
  std::vector<Shown> messages;
  std::vector<std::string> opened;         // OpenWithProgram paths
  std::vector<std::string> modalShown;     // objectName or class name of each modal window
  std::vector<std::string> fileFilters;    // filter of each OpenFile
  std::vector<std::string> folderStarts;   // start folder of each ChooseFolder

  std::vector<std::string> MessageTexts() const;

  int MessageBox(QWidget* parent, std::string_view text, std::string_view caption, MsgKind kind,
                 int buttons) override;
  std::optional<std::string> OpenFile(QWidget* parent, std::string_view title, std::string_view filter,
                                      std::string_view startDir) override;
  std::optional<std::string> ChooseFolder(QWidget* parent, std::string_view title,
                                          std::string_view startDir) override;
  bool OpenWithProgram(std::string_view path) override;
  int ShowModal(QDialog& dialog) override;
};

}  // namespace platform

#include "ScriptedDialogs.h"

#include <QDialog>

namespace platform {

ScriptedDialogs::ScriptedDialogs() { SetDialogs(this); }
ScriptedDialogs::~ScriptedDialogs() { SetDialogs(nullptr); }

std::vector<std::string> ScriptedDialogs::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& m : messages) texts.push_back(m.text);
  return texts;
}

int ScriptedDialogs::MessageBox(QWidget*, std::string_view text, std::string_view caption, MsgKind kind,
                                int buttons) {
  messages.push_back({std::string(text), std::string(caption), kind});
  if (whileMessageShown) {
    const Shown shown = messages.back();  // the hook may show more
    whileMessageShown(shown);
  }
  if (!messageAnswers.empty()) {
    int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
  }
  for (int b : {mbOK, mbYes, mbNo, mbCancel}) {
    if (buttons & b) return b;
  }
  return mbOK;
}

std::optional<std::string> ScriptedDialogs::OpenFile(QWidget*, std::string_view, std::string_view filter,
                                                     std::string_view) {
  fileFilters.emplace_back(filter);
  if (fileAnswers.empty()) return std::nullopt;
  auto answer = fileAnswers.front();
  fileAnswers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedDialogs::ChooseFolder(QWidget*, std::string_view, std::string_view startDir) {
  folderStarts.emplace_back(startDir);
  if (folderAnswers.empty()) return std::nullopt;
  auto answer = folderAnswers.front();
  folderAnswers.pop_front();
  return answer;
}

bool ScriptedDialogs::OpenWithProgram(std::string_view path) {
  opened.emplace_back(path);
  return true;
}

int ScriptedDialogs::ShowModal(QDialog& dialog) {
  modalShown.push_back(dialog.objectName().isEmpty() ? dialog.metaObject()->className()
                                                     : dialog.objectName().toStdString());
  if (modalHandlers.empty()) return QDialog::Rejected;
  ModalHandler handler = std::move(modalHandlers.front());
  modalHandlers.pop_front();
  // Showing runs the window's show handlers as exec() would; the handler then plays the user.
  dialog.show();
  int result = handler(dialog);
  dialog.hide();
  return result;
}

}  // namespace platform

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>

#include "ScriptedDialogs.h"

using namespace platform;


TEST(ScriptedDialogs, InstallsItselfRecordsAndAnswersFromTheScript) {
  {
    ScriptedDialogs script;
    EXPECT_EQ(&dialogs(), &script);
    script.messageAnswers.push_back(mbCancel);
    EXPECT_EQ(dialogs().MessageBox(nullptr, "削除しますか？", "確認", MsgKind::Confirmation, mbOK | mbCancel),
              mbCancel);
    EXPECT_EQ(dialogs().MessageBox(nullptr, "x", "c", MsgKind::Information, mbYes | mbNo), mbYes);
    dialogs().ShowMessage(nullptr, "バックアップ完了");
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{"削除しますか？", "x", "バックアップ完了"}));

    script.fileAnswers.push_back(std::string("/b/a.lzh"));
    EXPECT_EQ(dialogs().OpenFile(nullptr, "t", "バックアップファイル|*.lzh", "/"), "/b/a.lzh");
    EXPECT_EQ(dialogs().OpenFile(nullptr, "t", "f|*.x", "/"), std::nullopt);
    EXPECT_EQ(script.fileFilters.front(), "バックアップファイル|*.lzh");

    QDialog dlg;
    dlg.setObjectName("DlgUnderTest");
    bool visibleInHandler = false;
    script.modalHandlers.push_back([&](QDialog& d) {
      visibleInHandler = d.isVisible();
      d.accept();
      return d.result();
    });
    EXPECT_EQ(dialogs().ShowModal(dlg), QDialog::Accepted);
    EXPECT_TRUE(visibleInHandler);
    EXPECT_EQ(dialogs().ShowModal(dlg), QDialog::Rejected);  // nothing queued
    EXPECT_EQ(script.modalShown, (std::vector<std::string>{"DlgUnderTest", "DlgUnderTest"}));
  }
  EXPECT_NE(dynamic_cast<QtDialogs*>(&dialogs()), nullptr);
}

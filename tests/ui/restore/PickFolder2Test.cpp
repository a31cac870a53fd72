// The destination picker: where each showing starts, what OK and the ways of cancelling leave
// in Folder and Cancelled, and when the open-after option is offered.
#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include "RestoreTestSupport.h"
#include "ScriptedDialogs.h"
#include "uDPickFolder2.h"

namespace {

using restoretest::ScratchDir;

class PickFolder2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) FOldTmp = old;
    setenv("TMPDIR", (tmp.str() + "/").c_str(), 1);
  }
  void TearDown() override {
    if (FOldTmp) {
      setenv("TMPDIR", FOldTmp->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  // Shows the picker as its callers do; body plays the user and returns the dialog's result.
  void Show(std::function<int(TDlgPickFolder2&)> body) {
    dialogs.modalHandlers.push_back([this, body](QDialog&) { return body(picker); });
    platform::dialogs().ShowModal(picker);
  }
  std::string EditText() const { return picker.EditFolder->text().toStdString(); }

  QApplication& app = TestApp();
  ScratchDir tmp;
  platform::ScriptedDialogs dialogs;
  TDlgPickFolder2 picker;

 private:
  std::optional<std::string> FOldTmp;
};

TEST_F(PickFolder2Test, EachShowingStartsAtTheTemporaryFolderAndOKConfirmsTheChoice) {
  picker.SetMode(0);
  Show([&](TDlgPickFolder2& p) {
    EXPECT_EQ(EditText(), tmp.str());
    EXPECT_EQ(p.CurrentFolder(), tmp.str());
    EXPECT_EQ(p.Cancelled, 1);
    dialogs.folderAnswers.push_back("/srv/restore/");
    p.BtnBrowse->click();
    EXPECT_EQ(EditText(), "/srv/restore");
    p.OKBtn->click();
    return p.result();
  });
  EXPECT_EQ(dialogs.folderStarts, (std::vector<std::string>{tmp.str()}));
  EXPECT_EQ(picker.Cancelled, 0);
  EXPECT_EQ(picker.GetFolder(), "/srv/restore");
  EXPECT_EQ(picker.windowTitle().toStdString(), "フォルダ選択");

  // The next showing starts over at the temporary folder; cancelling keeps the last confirmed folder.
  Show([&](TDlgPickFolder2& p) {
    EXPECT_EQ(EditText(), tmp.str());
    EXPECT_EQ(p.Cancelled, 1);
    p.CancelBtn->click();
    return p.result();
  });
  EXPECT_EQ(picker.Cancelled, 1);
  EXPECT_EQ(picker.GetFolder(), "/srv/restore");
}

TEST_F(PickFolder2Test, CancelledChooserLeavesTheFolderAlone) {
  Show([&](TDlgPickFolder2& p) {
    p.BtnBrowse->click();  // no answer queued: the chooser is cancelled
    EXPECT_EQ(EditText(), tmp.str());
    p.OKBtn->click();
    return p.result();
  });
  EXPECT_EQ(picker.GetFolder(), tmp.str());
}

TEST_F(PickFolder2Test, EscAndCloseBoxAnswerCancelled) {
  Show([&](TDlgPickFolder2& p) {
    QTest::keyClick(&p, Qt::Key_Escape);
    return p.result();
  });
  EXPECT_EQ(picker.Cancelled, 1);
  Show([&](TDlgPickFolder2& p) {
    p.close();
    return p.result();
  });
  EXPECT_EQ(picker.Cancelled, 1);
  EXPECT_EQ(picker.GetFolder(), "");
}

TEST_F(PickFolder2Test, OKTakesTheTextBoxAsItIsEvenEmpty) {
  Show([&](TDlgPickFolder2& p) {
    p.EditFolder->clear();
    p.OKBtn->click();
    return p.result();
  });
  EXPECT_EQ(picker.Cancelled, 0);
  EXPECT_EQ(picker.GetFolder(), "");

  Show([&](TDlgPickFolder2& p) {
    p.EditFolder->setText("/typed/by/hand");
    p.OKBtn->click();
    return p.result();
  });
  EXPECT_EQ(picker.GetFolder(), "/typed/by/hand");
}

TEST_F(PickFolder2Test, EnteringTheTextBoxRefillsItWithTheCurrentFolder) {
  Show([&](TDlgPickFolder2& p) {
    p.EditFolder->setText("half typed");
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(p.EditFolder, &focusIn);
    EXPECT_EQ(EditText(), tmp.str());
    return int(QDialog::Rejected);
  });
}

TEST_F(PickFolder2Test, FocusComingBackWithTheWindowKeepsATypedFolder) {
  Show([&](TDlgPickFolder2& p) {
    p.EditFolder->setText("/typed/by/hand");
    // Re-activating the window or closing a popup gives the field its focus back.
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
      QFocusEvent focusIn(QEvent::FocusIn, reason);
      QCoreApplication::sendEvent(p.EditFolder, &focusIn);
      EXPECT_EQ(EditText(), "/typed/by/hand") << reason;
    }
    p.OKBtn->click();
    return p.result();
  });
  EXPECT_EQ(picker.GetFolder(), "/typed/by/hand");
}

TEST_F(PickFolder2Test, OpenAfterOptionOnlyInModeOneAndKeptBetweenShowings) {
  struct Case { int mode; bool visible; };
  for (const Case c : {Case{1, true}, Case{0, false}, Case{2, false}, Case{1, true}}) {
    picker.SetMode(c.mode);
    Show([&](TDlgPickFolder2& p) {
      EXPECT_EQ(p.RdBtn1->isVisible(), c.visible) << "mode " << c.mode;
      return int(QDialog::Rejected);
    });
  }
  EXPECT_FALSE(picker.RdBtn1->isChecked());
  picker.SetMode(1);
  Show([&](TDlgPickFolder2& p) {
    p.RdBtn1->click();
    p.OKBtn->click();
    return p.result();
  });
  EXPECT_TRUE(picker.RdBtn1->isChecked());
  Show([&](TDlgPickFolder2& p) {
    EXPECT_TRUE(p.RdBtn1->isChecked());
    p.RdBtn1->click();  // and off again
    return int(QDialog::Rejected);
  });
  EXPECT_FALSE(picker.RdBtn1->isChecked());
  EXPECT_EQ(picker.RdBtn1->text().toStdString(), "解凍後開く");
}

}  // namespace

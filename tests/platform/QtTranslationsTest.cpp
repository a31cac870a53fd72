// Qt's own choosers speak Japanese like the rest of the program, whatever the desktop's language.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <algorithm>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <filesystem>

#include "Dialogs.h"
#include "QtTestApp.h"

namespace {

TEST(QtTranslationsTest, TheFolderChooserSpeaksJapanese) {
  TestApp();
  const std::filesystem::path qm =
      std::filesystem::path(QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString()) / "qtbase_ja.qm";
  if (!std::filesystem::exists(qm)) GTEST_SKIP() << qm << " missing: install qt6-translations-l10n";
  ASSERT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"));
  ASSERT_TRUE(platform::InstallJapaneseQtTranslations());

  // The chooser QtDialogs::ChooseFolder opens where the desktop offers no chooser of its own.
  QFileDialog chooser;
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  chooser.setFileMode(QFileDialog::Directory);
  chooser.setOption(QFileDialog::ShowDirsOnly);
  const auto* lookIn = chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"));
  ASSERT_NE(lookIn, nullptr);
  EXPECT_NE(lookIn->text(), QStringLiteral("Look in:"));
  EXPECT_EQ(lookIn->text(), QCoreApplication::translate("QFileDialog", "Look in:"));
  const auto* buttons = chooser.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  ASSERT_NE(buttons, nullptr);
  const QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
  ASSERT_NE(cancel, nullptr);
  EXPECT_FALSE(cancel->text().contains(QStringLiteral("Cancel"))) << cancel->text().toStdString();
  // Japanese text, not merely another English word.
  const QString lookInText = lookIn->text();
  EXPECT_TRUE(std::any_of(lookInText.begin(), lookInText.end(), [](QChar c) { return c.unicode() > 0x3000; }))
      << lookInText.toStdString();
}

}  // namespace

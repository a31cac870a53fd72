// The confirmation dialog's answer protocol, the version dialogs' texts, and the program icon's
// decoding, including damaged and missing pictures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "JpegPicture.h"
#include "ScriptedDialogs.h"
#include "uABOUT.h"
#include "QtTestApp.h"
#include "TempFolder.h"
#include "uDlgVersion.h"
#include "uOKRightDlg2.h"

using platform::ScriptedDialogs;

namespace {

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string WriteTemp(const TTempFolder& folder, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::string path = folder / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace

TEST(TOKRightDlg2, AnswersThroughCancelledAndClearsTheQuestion) {
  struct Case {
    const char* press;  // "OK", "キャンセル" or "" for the close box
    int cancelled;
    bool labelCleared;
  };
  const Case cases[] = {{"OK", 0, true}, {"キャンセル", 1, true}, {"", 1, false}};
  TOKRightDlg2 dlg;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.press);
    ScriptedDialogs script;
    dlg.Cancelled = 0;  // a stale "yes" from an earlier showing must not survive the next one
    dlg.Label1->setText(QString::fromUtf8("削除しますか？"));
    int startCancelled = -1;
    script.modalHandlers.push_back([&](QDialog& d) {
      auto& confirm = static_cast<TOKRightDlg2&>(d);
      startCancelled = confirm.Cancelled;
      EXPECT_EQ(confirm.Label1->text().toStdString(), "削除しますか？");
      std::string press = c.press;
      if (press == "OK") {
        confirm.OKBtn->click();
      } else if (!press.empty()) {
        confirm.btncancel->click();
      } else {
        d.close();
      }
      return d.result();
    });
    int result = platform::dialogs().ShowModal(dlg);
    EXPECT_EQ(startCancelled, 1);
    EXPECT_EQ(dlg.Cancelled, c.cancelled);
    EXPECT_EQ(dlg.Label1->text().isEmpty(), c.labelCleared);
    // Both buttons carry OK; the result tells nothing about the answer.
    if (*c.press != '\0') {
      EXPECT_EQ(result, QDialog::Accepted);
    }
  }
}

TEST(TOKRightDlg2, WindowDefinition) {
  TOKRightDlg2 dlg;
  EXPECT_EQ(dlg.windowTitle().toStdString(), "確認ダイアログ");
  EXPECT_EQ(dlg.size(), QSize(339, 114));
  EXPECT_EQ(dlg.palette().color(QPalette::Window), QColor(189, 235, 31));
  EXPECT_EQ(dlg.OKBtn->text().toStdString(), "OK");
  EXPECT_EQ(dlg.btncancel->text().toStdString(), "キャンセル");
  EXPECT_EQ(dlg.OKBtn->size(), QSize(68, 27));
  EXPECT_EQ(dlg.btncancel->size(), QSize(68, 27));
  EXPECT_EQ(dlg.Label1->font().pixelSize(), 16);
}

TEST(VersionDialogs, TextsAndOkCloses) {
  TDlgVersion version;
  TAboutBox about;
  EXPECT_EQ(version.windowTitle().toStdString(), "バージョン情報");
  EXPECT_EQ(about.windowTitle().toStdString(), "バージョン情報");
  EXPECT_EQ(version.ProductName->text().toStdString(), "Tidekeep");
  EXPECT_EQ(version.Version->text().toStdString(), "バージョン\u3000Ver1.0");
  EXPECT_EQ(about.ProductName->text().toStdString(), "製品名: Tidekeep");
  EXPECT_EQ(about.Version->text().toStdString(), "バージョン 1.0");
  for (TVersionBox* box : {static_cast<TVersionBox*>(&version), static_cast<TVersionBox*>(&about)}) {
    EXPECT_EQ(box->size(), QSize(273, 195));
    EXPECT_EQ(box->OKButton->size(), QSize(69, 23));
    ASSERT_FALSE(box->ProgramIcon->pixmap().isNull()) << "the shipped icon shows";
    ScriptedDialogs script;
    script.modalHandlers.push_back([](QDialog& d) {
      static_cast<TVersionBox&>(d).OKButton->click();
      EXPECT_FALSE(d.isVisible());
      return d.result();
    });
    EXPECT_EQ(platform::dialogs().ShowModal(*box), QDialog::Accepted);
  }
}

TEST(JpegPicture, ShippedIconDecodesToItsSize) {
  QImage icon = ProgramIconImage();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.size(), QSize(64, 56));
  QImage fromFile = LoadJpegFile(TK_PROGRAM_ICON_JPG);
  ASSERT_FALSE(fromFile.isNull());
  EXPECT_EQ(fromFile, icon);
  // The drawing: pale sky at the top left, deep water along the bottom.
  QColor sky = icon.pixelColor(2, 2);
  QColor sea = icon.pixelColor(32, 52);
  EXPECT_GT(sky.blue(), 200);
  EXPECT_GT(sky.red(), 150);
  EXPECT_LT(sea.red(), 100);
  EXPECT_GT(sea.blue(), 150);
}

TEST(JpegPicture, DamagedOrMissingPictureLeavesTheIconAreaEmpty) {
  std::vector<std::uint8_t> good = ReadAll(TK_PROGRAM_ICON_JPG);
  ASSERT_GT(good.size(), 200u);
  std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
  std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 2);
  std::vector<std::uint8_t> garbage(900);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
  std::vector<std::uint8_t> badBody = good;  // sound header, scrambled entropy data
  for (std::size_t i = badBody.size() / 2; i + 2 < badBody.size(); ++i) badBody[i] = 0xFF;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {{"truncated.jpg", truncated}, {"soi-only.jpg", headerOnly}, {"garbage.jpg", garbage},
                        {"bad-body.jpg", badBody}, {"empty.jpg", {}}};
  TTempFolder folder;
  TDlgVersion dlg;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(DecodeJpeg(c.bytes).isNull());
    dlg.SetProgramIcon(ProgramIconImage());
    ASSERT_FALSE(dlg.ProgramIcon->pixmap().isNull());
    dlg.SetProgramIcon(LoadJpegFile(WriteTemp(folder, c.name, c.bytes)));
    EXPECT_TRUE(dlg.ProgramIcon->pixmap().isNull());
  }
  EXPECT_TRUE(LoadJpegFile(folder / "no-such-picture.jpg").isNull());
  dlg.SetProgramIcon(LoadJpegFile(folder / "no-such-picture.jpg"));
  EXPECT_TRUE(dlg.ProgramIcon->pixmap().isNull());
}

// The Japanese sentences put before an archiver library's own words.
#include <gtest/gtest.h>

#include "LibraryMessages.h"

namespace {

using platform::LibraryErrorSentence;
using platform::LibraryErrorText;

TEST(LibraryMessagesTest, EachCodeNamesTheFileWhatFailedAndWhatToDo) {
  struct Case {
    int code;
    const char* expected;
  };
  const Case cases[] = {
      {0x800D, "「a.lzh」: 出力先のファイルまたはフォルダを作成・書き込みできませんでした。\n"
               "出力先のフォルダがあること、空き容量と書き込み権限を確かめてください。"},
      {0x8017, "「a.lzh」: 書庫が壊れているか、途中で切れています。\n別のバックアップファイルから復元してください。"},
      {0x8019, "「a.lzh」: 読める書庫ではありません。\nバックアップファイル (.lzh) を選んでください。"},
      {0x8020, "「a.lzh」: 処理が中止されました。"},
      // A code the table does not know still says that the library failed, and with which code.
      {0x8077, "「a.lzh」: 書庫ライブラリでエラーが発生しました (コード 0x8077)。"},
  };
  for (const Case& c : cases) EXPECT_EQ(LibraryErrorSentence(c.code, "a.lzh"), c.expected) << c.code;
  EXPECT_EQ(LibraryErrorSentence(0x8020, ""), "処理が中止されました。");
}

TEST(LibraryMessagesTest, TheLibrarysWordsFollowAsDetailOnlyWhenThereAreAny) {
  EXPECT_EQ(LibraryErrorText(0x8020, "a.lzh", "cancelled\n"), "「a.lzh」: 処理が中止されました。\n\n詳細:\ncancelled\n");
  EXPECT_EQ(LibraryErrorText(0x8020, "a.lzh", ""), "「a.lzh」: 処理が中止されました。");
}

}  // namespace

#include "LibraryMessages.h"

#include <array>
#include <cstdio>

namespace platform {

namespace {

struct TCodeText {
  int code;
  const char* what;    // what failed, after the file's name
  const char* advice;  // what the user can do; may be empty
};

constexpr const char* kBroken = "書庫が壊れているか、途中で切れています。";
constexpr const char* kBrokenAdvice = "別のバックアップファイルから復元してください。";
constexpr const char* kWrite = "出力先のファイルまたはフォルダを作成・書き込みできませんでした。";
constexpr const char* kWriteAdvice = "出力先のフォルダがあること、空き容量と書き込み権限を確かめてください。";

// The return codes the archiver libraries share.
constexpr std::array<TCodeText, 20> kTable{{
    {0x8009, "対応していない圧縮方式のファイルが含まれています。", "他の書庫ツールで開いてください。"},
    {0x800C, "ファイルの内容が壊れています (CRC エラー)。", kBrokenAdvice},
    {0x800D, kWrite, kWriteAdvice},
    {0x8012, "フォルダを作成または開くことができませんでした。", kWriteAdvice},
    {0x8013, kWrite, kWriteAdvice},
    {0x8014, kBroken, kBrokenAdvice},
    {0x8016, kBroken, kBrokenAdvice},
    {0x8017, kBroken, kBrokenAdvice},
    {0x8018, "書庫を開けませんでした。", "ファイルがあること、読み取り権限があることを確かめてください。"},
    {0x8019, "読める書庫ではありません。", "バックアップファイル (.lzh) を選んでください。"},
    {0x801A, "ファイルを読み込めませんでした。", "ファイルが使用中でないこと、読み取り権限があることを確かめてください。"},
    {0x801C, "書庫ライブラリが命令を受け付けませんでした。", ""},
    {0x8020, "処理が中止されました。", ""},
    {0x8021, "読める書庫ではありません。", "バックアップファイル (.lzh) を選んでください。"},
    {0x8023, "この書庫ライブラリはこの処理に対応していません。", ""},
    {0x802A, "ファイル一覧を読み込めませんでした。", ""},
    {0x8030, "書庫ライブラリが設定を受け付けませんでした。", ""},
    {0x8031, "安全でない名前のファイルは書き出しませんでした。", "書庫の中身を確かめてください。"},
    {0x8032, "指定したファイルが書庫の中にありません。", ""},
    {0x8033, "ファイルが大きすぎて読み込めません。", ""},
}};

}  // namespace

std::string LibraryErrorSentence(int code, std::string_view file) {
  std::string text = file.empty() ? std::string() : "「" + std::string(file) + "」: ";
  for (const TCodeText& entry : kTable) {
    if (entry.code != code) continue;
    text += entry.what;
    if (*entry.advice != '\0') text += std::string("\n") + entry.advice;
    return text;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(code));
  return text + "書庫ライブラリでエラーが発生しました (コード " + hex + ")。";
}

std::string LibraryErrorText(int code, std::string_view file, std::string_view libraryText) {
  std::string text = LibraryErrorSentence(code, file);
  if (!libraryText.empty()) text += "\n\n詳細:\n" + std::string(libraryText);
  return text;
}

}  // namespace platform

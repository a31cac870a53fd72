#include "BackupRun.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>

#include "ARCHIVES.h"
#include "FILTERS.h"
#include "FileSearch.h"
#include "LHA32.h"
#include "LibraryMessages.h"
#include "Paths.h"

namespace backuprun {

std::string MakeArchiveName(std::string_view bkupFile, const platform::LocalDateTime& today) {
  return platform::ExtractFilePath(bkupFile) + platform::FormatDateStamp(today) + "_" +
         platform::ExtractFileName(bkupFile);
}

int VerifyArchive(std::string_view archive, std::string& output) {
  std::string buffer(8192, '\0');
  const std::string line = "t -+ -jso0 \"" + std::string(archive) + "\"";
  const int code = TLha32::Binding().UnpackSideCommand(0, archive, line, buffer.data(),
                                                        static_cast<std::uint32_t>(buffer.size()));
  output.assign(buffer.c_str());
  return code;
}

bool TPairResult::Succeeded() const {
  switch (outcome) {
    case TPairOutcome::Stored: return logged;
    case TPairOutcome::NothingToPack: return true;
    case TPairOutcome::PartlyStored:
    case TPairOutcome::Failed:
    case TPairOutcome::Cancelled:
    case TPairOutcome::NotAttempted: return false;
  }
  return false;
}

namespace {

constexpr char kNoArchiveWritten[] = "書庫が作成されませんでした";
constexpr char kVerifyFailed[] = "書庫の検査に失敗しました";
constexpr char kLogNotWritten[] = "履歴を記録できませんでした: ";
constexpr char kSkippedItems[] = "読めなかったファイルやフォルダを除いて保存しました";

bool ArchiveExists(const std::string& path) { return platform::FileExists(path) && !platform::DirectoryExists(path); }

// The history row goes in its own transaction; a failure rolls it back and says why.
std::string InsertLogRow(TSQLiteDatabase& db, const backupdb::LogRow& row) {
  try {
    TSQLiteTransaction tx(db);
    backupdb::InsertLog(db, row);
    tx.Commit();
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::string MemberName(const EXTRACTINGINFOEX* info) {
  if (info == nullptr) return {};
  return {info->szSourceFileName, strnlen(info->szSourceFileName, sizeof info->szSourceFileName)};
}

// Packs one pair into result; raises what the component raises.
void PackPair(HWND owner, TPairResult& result, TRunProgress& progress, const TBackupEvents& events) {
  const TFileArgs files{"*.*"};
  TArchiveFile archiver;
  archiver.SetFileName(result.archive);
  TArchiverOptions& options = archiver.Options();
  options.x = 1;
  options.a = 1;
  options.c = 1;
  options.r = 1;
  options.n = 1;
  archiver.SetOutputSize(8192);
  options.jso = 0;
  archiver.OnProgress = [&](TArchiveFile&, int state, EXTRACTINGINFOEX* info, bool& abort) {
    bool told = true;
    if (state == kSelectedState) {
      ++progress.selected;
    } else if (state != ARCEXTRACT_INPROCESS) {
      told = false;
    } else if (std::string member = MemberName(info); !member.empty() && member != progress.current) {
      // The library may report one member several times while it works through it.
      ++progress.members;
      progress.current = std::move(member);
    } else {
      told = false;
    }
    if (told && events.OnProgress) events.OnProgress(progress);
    // The answer to this message stops the library before the member it announces.
    if (events.CancelRequested && events.CancelRequested()) abort = true;
  };
  result.code = archiver.Pack(owner, nullptr, result.pair.target_folder, files);
  result.output = archiver.Output();
  // An empty selection never reaches the library, which alone names a command line.
  const bool libraryRan = !archiver.CommandLine().empty();
  if (result.code == kCancelled && events.CancelRequested && events.CancelRequested()) {
    result.outcome = TPairOutcome::Cancelled;
  } else if (result.code == 0 && !libraryRan) {
    result.outcome = TPairOutcome::NothingToPack;
  } else if ((result.code == 0 || result.code == kPackSkippedItems) && ArchiveExists(result.archive)) {
    result.outcome = result.code == 0 ? TPairOutcome::Stored : TPairOutcome::PartlyStored;
    // Only an archive whose every member reads back intact counts as stored.
    if (events.OnPacked) events.OnPacked(result.archive);
    if (archiver.ArchiverType() == atLha) {
      std::string testOutput;
      if (const int code = VerifyArchive(result.archive, testOutput); code != 0) {
        result.outcome = TPairOutcome::Failed;
        result.code = code;
        result.error = kVerifyFailed;
        result.output = testOutput;
      }
    }
  } else {
    // A library that claims success must also have left the archive.
    if (result.code == 0 || result.code == kPackSkippedItems) result.error = kNoArchiveWritten;
    result.outcome = TPairOutcome::Failed;
  }
}

}  // namespace

std::vector<TPairResult> RunBackup(HWND owner, const Clock& clock, const TBackupEvents& events) {
  auto db = backupdb::OpenDatabase();
  const std::vector<backupdb::TargetPair> pairs = backupdb::ReadTargets(*db);
  std::vector<TPairResult> results;
  TRunProgress progress;
  progress.pairs = pairs.size();
  bool cancelled = false;
  for (const backupdb::TargetPair& pair : pairs) {
    TPairResult result;
    result.pair = pair;
    // Named once: a run that crosses midnight logs the archive it wrote.
    result.archive = MakeArchiveName(pair.bkup_file, clock());
    cancelled = cancelled || (events.CancelRequested && events.CancelRequested());
    if (cancelled) {
      result.outcome = TPairOutcome::NotAttempted;
      if (events.OnPairDone) events.OnPairDone(result);
      results.push_back(std::move(result));
      continue;
    }
    progress = {progress.pair + 1, pairs.size(), pair.target_folder, 0, 0, {}};
    if (events.OnProgress) events.OnProgress(progress);
    try {
      PackPair(owner, result, progress, events);
    } catch (const std::exception& e) {
      result.outcome = TPairOutcome::Failed;
      result.error = e.what();
    }
    if (result.outcome == TPairOutcome::Stored || result.outcome == TPairOutcome::PartlyStored) {
      const std::string problem =
          InsertLogRow(*db, {pair.target_folder, result.archive, platform::FormatLogDateTime(clock())});
      result.logged = problem.empty();
      if (!result.logged) result.error = kLogNotWritten + problem;
    }
    if (events.OnPairDone) events.OnPairDone(result);
    results.push_back(std::move(result));
  }
  return results;
}

std::string FailureText(const TPairResult& result) {
  std::string text;
  // What the library's code means comes first, in the program's language; its own words follow.
  if (result.outcome == TPairOutcome::Failed && result.error.empty()) {
    text = platform::LibraryErrorSentence(result.code, platform::ExtractFileName(result.archive)) + "\n\n";
  }
  text += result.pair.target_folder + " -> " + result.archive;
  if (result.outcome == TPairOutcome::PartlyStored) text += std::string("\n") + kSkippedItems;
  if (!result.error.empty()) text += "\n" + result.error;
  if (!result.output.empty()) {
    text += "\n" + result.output;
    while (text.back() == '\n') text.pop_back();
  } else if (result.error.empty()) {
    char code[48];
    std::snprintf(code, sizeof code, "return code %d (0x%X)", result.code, static_cast<unsigned>(result.code));
    text += std::string("\n") + code;
  }
  return text;
}

std::string FailuresText(const std::vector<TPairResult>& results) {
  std::string text;
  for (const TPairResult& result : results) {
    if (result.Succeeded() || result.Cancelled()) continue;
    if (!text.empty()) text += "\n\n";
    text += FailureText(result);
  }
  return text;
}

bool RunCancelled(const std::vector<TPairResult>& results) {
  return std::any_of(results.begin(), results.end(), [](const TPairResult& r) { return r.Cancelled(); });
}

std::string CancelText(const std::vector<TPairResult>& results) {
  std::string text;
  for (const TPairResult& result : results) {
    const std::string pair = result.pair.target_folder + " -> " + result.archive;
    std::string line;
    switch (result.outcome) {
      case TPairOutcome::Stored:
      case TPairOutcome::PartlyStored:
        if (result.logged) line = "保存済み: " + pair;
        break;
      case TPairOutcome::Cancelled: line = "中止: " + pair + "（以前の書庫はそのままです）"; break;
      case TPairOutcome::NotAttempted: line = "実行せず: " + pair; break;
      case TPairOutcome::NothingToPack:
      case TPairOutcome::Failed: break;
    }
    if (line.empty()) continue;
    if (!text.empty()) text += "\n";
    text += line;
  }
  return text;
}

}  // namespace backuprun

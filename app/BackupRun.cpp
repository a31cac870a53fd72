#include "BackupRun.h"

#include <cstdio>

#include "ARCHIVES.h"
#include "FileSearch.h"
#include "Paths.h"

namespace backuprun {

std::string MakeArchiveName(std::string_view bkupFile, const platform::LocalDateTime& today) {
  return platform::ExtractFilePath(bkupFile) + platform::FormatDateStamp(today) + "_" +
         platform::ExtractFileName(bkupFile);
}

namespace {

bool ArchiveExists(const std::string& path) { return platform::FileExists(path) && !platform::DirectoryExists(path); }

// The history row goes in its own transaction; a failure rolls it back and is not reported.
bool InsertLogRow(TSQLiteDatabase& db, const backupdb::LogRow& row) {
  try {
    TSQLiteTransaction tx(db);
    backupdb::InsertLog(db, row);
    tx.Commit();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::vector<TPairResult> RunBackup(HWND owner, const Clock& clock, const TBackupEvents& events) {
  auto db = backupdb::OpenDatabase();
  const std::vector<backupdb::TargetPair> pairs = backupdb::ReadTargets(*db);
  std::vector<TPairResult> results;
  for (const backupdb::TargetPair& pair : pairs) {
    const TFileArgs files{"*.*"};
    TArchiveFile archiver;
    TPairResult result;
    result.pair = pair;
    // Named once: a run that crosses midnight logs the archive it wrote.
    result.archive = MakeArchiveName(pair.bkup_file, clock());
    archiver.SetFileName(result.archive);
    TArchiverOptions& options = archiver.Options();
    options.x = 1;
    options.a = 1;
    options.c = 1;
    options.r = 1;
    options.n = 1;
    archiver.SetOutputSize(8192);
    options.jso = 0;
    if (events.OnProgress) {
      archiver.OnProgress = [&](TArchiveFile&, int state, EXTRACTINGINFOEX* info, bool&) {
        events.OnProgress(pair, state, info != nullptr ? std::string_view(info->szSourceFileName) : "");
      };
    }
    result.code = archiver.Pack(owner, nullptr, pair.target_folder, files);
    result.output = archiver.Output();
    if (ArchiveExists(result.archive)) {
      result.logged =
          InsertLogRow(*db, {pair.target_folder, result.archive, platform::FormatLogDateTime(clock())});
    }
    if (events.OnPairDone) events.OnPairDone(result);
    results.push_back(std::move(result));
  }
  return results;
}

std::string FailureText(const TPairResult& result) {
  if (!result.output.empty()) return result.archive + "\n" + result.output;
  char code[48];
  std::snprintf(code, sizeof code, "return code %d (0x%X)", result.code, static_cast<unsigned>(result.code));
  return result.archive + "\n" + code;
}

}  // namespace backuprun

// The backup run: every target pair of m_bkup packed into its dated archive and logged in m_log.
// It needs no window, so the main window and the headless --run-now share it.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "BackupDb.h"
#include "LocaleFormats.h"
#include "WinMsg.h"

namespace backuprun {

using Clock = std::function<platform::LocalDateTime()>;

// The folder part of bkupFile (through its last delimiter), the date "yyyymmdd", "_", and the
// file-name part: /backup/work.lzh on 17 June 2010 gives /backup/20100617_work.lzh.
std::string MakeArchiveName(std::string_view bkupFile, const platform::LocalDateTime& today);

struct TPairResult {
  backupdb::TargetPair pair;
  std::string archive;  // the dated archive path, named once before packing
  int code = 0;         // the pack's return code, 0 on success
  std::string output;   // the library's output text
  bool logged = false;  // the archive exists and its history row was written
};

struct TBackupEvents {
  // While a pair packs: the library's progress state and the member it is working on.
  std::function<void(const backupdb::TargetPair& pair, int state, std::string_view member)> OnProgress;
  std::function<void(const TPairResult& result)> OnPairDone;
};

// Packs each pair, in row order, with x a c r n set to 1, jso 0, an 8192-character output
// buffer and the pattern "*.*" under the target folder. A pair gets its history row only when
// its archive exists after the pack; a failed insert is rolled back and not reported. An
// exception (a missing library, an undetectable type, a database error reading m_bkup) ends the
// run; the pairs after it are not attempted.
std::vector<TPairResult> RunBackup(HWND owner, const Clock& clock, const TBackupEvents& events = {});

// What to tell the user about a pack that returned non-zero: the library's output text, or the
// code when the library wrote none.
std::string FailureText(const TPairResult& result);

}  // namespace backuprun

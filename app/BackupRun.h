// The backup run: every target pair of m_bkup packed into its dated archive and logged in m_log.
// It needs no window, so the main window and the headless --run-now share it.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "BackupDb.h"
#include "LocaleFormats.h"
#include "WinMsg.h"

namespace backuprun {

using Clock = std::function<platform::LocalDateTime()>;

// The library's result for a pack that wrote the archive but skipped items (unreadable files or
// folders) that it named in its output.
inline constexpr int kPackSkippedItems = 0x801A;

// The folder part of bkupFile (through its last delimiter), the date "yyyymmdd", "_", and the
// file-name part: /backup/work.lzh on 17 June 2010 gives /backup/20100617_work.lzh.
std::string MakeArchiveName(std::string_view bkupFile, const platform::LocalDateTime& today);

// The library's answer when a command was stopped on request (a progress reply asked to stop).
inline constexpr int kCancelled = 0x8020;

// Tests every member of an LHA archive (its CRC) with the library's test command "t"; 0 when
// every member is intact, else the library's code, its output text in output.
int VerifyArchive(std::string_view archive, std::string& output);

enum class TPairOutcome {
  Stored,        // the pack returned 0: everything selected is in the archive
  NothingToPack, // the folder held nothing to select: no archive
  PartlyStored,  // the archive was written without the items the library named (kPackSkippedItems)
  Failed,        // nothing was stored: the pack raised or returned another code
  Cancelled,     // stopped on request (kCancelled): nothing logged, the previous archive as it was
  NotAttempted,  // a cancelled run never reached the pair
};

struct TPairResult {
  backupdb::TargetPair pair;
  std::string archive;  // the dated archive path, named once before packing
  TPairOutcome outcome = TPairOutcome::Failed;
  int code = 0;         // the pack's return code
  std::string output;   // the library's output text
  std::string error;    // why the pack raised, or why the archive or its row is missing
  bool logged = false;  // the history row was written

  // Everything asked for is stored and, where an archive was written, logged.
  bool Succeeded() const;
  // Left unfinished by a cancel rather than by a fault.
  bool Cancelled() const { return outcome == TPairOutcome::Cancelled || outcome == TPairOutcome::NotAttempted; }
};

// Where a run has got to, as its progress messages tell it.
struct TRunProgress {
  std::size_t pair = 0, pairs = 0;  // the pair being packed, counted from 1, of pairs
  std::string folder;               // that pair's target folder
  long selected = 0;                // files selected so far (before the library packs)
  long members = 0;                 // members the library has started packing
  std::string current;              // the member the library works on
};

struct TBackupEvents {
  // A pair starts, or a progress message brought a new file.
  std::function<void(const TRunProgress& progress)> OnProgress;
  // The pair's archive is written; its test follows.
  std::function<void(const std::string& archive)> OnPacked;
  std::function<void(const TPairResult& result)> OnPairDone;
  // Asked at every progress message and before every pair: true stops the run there. The
  // library then answers kCancelled and leaves the archive as it was; later pairs are not tried.
  std::function<bool()> CancelRequested;
};

// Packs each pair, in row order, with x a c r n set to 1, jso 0, an 8192-character output
// buffer and the pattern "*.*" under the target folder. Every pair is attempted: one that raises
// (a missing folder or library, an undetectable type) is a failed pair, not the end of the run.
// An LHA archive is then tested with VerifyArchive; a failed test is a failed pair.
// A pair gets its history row only when the library stored its archive (return code 0 or
// kPackSkippedItems); a failed insert is rolled back and marks the pair. Only an error reading
// m_bkup raises, before any archive is made. A cancel (events.CancelRequested) ends the run: the
// pair being packed is Cancelled and the rest NotAttempted; pairs stored before keep their rows.
std::vector<TPairResult> RunBackup(HWND owner, const Clock& clock, const TBackupEvents& events = {});

// What to tell the user about a pair that did not succeed: the pair, its archive and the reason
// (the library's output, the exception's message, or the return code).
std::string FailureText(const TPairResult& result);
// Every unsuccessful pair's text, in run order, a blank line between; empty when all succeeded.
// Pairs left unfinished by a cancel are no failures: CancelText tells of them.
std::string FailuresText(const std::vector<TPairResult>& results);

// Whether the run was cancelled.
bool RunCancelled(const std::vector<TPairResult>& results);
// What a cancelled run did: the pairs stored, the one stopped (its previous archive kept) and
// those not attempted, a line each.
std::string CancelText(const std::vector<TPairResult>& results);

}  // namespace backuprun

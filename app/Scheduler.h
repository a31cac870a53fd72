// When the timer's two jobs are due: the stored schedule and the daily purge of expired archives.
// The decisions take the clock reading as an argument, so they can be checked at any moment.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BackupDb.h"
#include "LocaleFormats.h"

namespace scheduler {

// The purge moment, 14:35, and the retention unit of one del_flg step.
inline constexpr int PurgeHour = 14, PurgeMinute = 35;
inline constexpr int RetentionDays = 30;

// The items of a stored day list: a comma or a space ends an item, a double quote groups.
std::vector<std::string> SplitList(std::string_view list);
// The day numbers a list names. An item that is not a whole number (the day selector stores
// "None selected" for an empty choice) names no day.
std::vector<int> ListedDays(std::string_view list);

// The stored time's hour and minute at seconds 0 or 1; the stored seconds do not count.
bool InDueWindow(const platform::TimeOfDay& at, const platform::LocalDateTime& now);
// Whether the schedule asks for a backup at now: "0" every day, "1" the weekdays of bk_week
// (0 = Sunday), anything else the days of the month of bk_month. EConvertError when bk_time
// cannot be read.
bool ScheduleDue(const backupdb::Schedule& schedule, const platform::LocalDateTime& now);
bool PurgeDue(const platform::LocalDateTime& now);

// The latest moment in (the minute of from, to] at which the schedule or the purge fell due:
// what a program busy from from to to has missed. The minute of from itself is not missed: a job
// started then was that minute's. EConvertError as ScheduleDue.
std::optional<platform::LocalDateTime> MissedBackup(const backupdb::Schedule& schedule,
                                                    const platform::LocalDateTime& from,
                                                    const platform::LocalDateTime& to);
std::optional<platform::LocalDateTime> MissedPurge(const platform::LocalDateTime& from,
                                                   const platform::LocalDateTime& to);

// How long after a start or a resume the catch-up and the purge run: the network and removable
// drives are back by then.
inline constexpr double CatchUpDelayDays = 2.0 / (24 * 60);
// The newest moment of any m_log row (scheduled or not); nullopt without rows. EConvertError for
// a bkup_date that cannot be read.
std::optional<platform::LocalDateTime> NewestLogged();
// Whether a scheduled moment passed after the newest m_log row and not after now: any number
// of such moments asks for one run. Without rows nothing was missed.
bool BackupMissed(const backupdb::Schedule& schedule, const platform::LocalDateTime& now);

// A pair whose backups stopped: the latest scheduled moment more than StaleDays ago passed
// with no history row of the pair since.
inline constexpr int StaleDays = 3;
struct TStalePair {
  backupdb::TargetPair pair;
  std::string lastGood;  // the bkup_date of its newest row; empty when it has none
};
std::vector<TStalePair> StalePairs(const backupdb::Schedule& schedule, const platform::LocalDateTime& now);
// "Tidekeep: ..." lines naming each pair and its last good date; empty when none.
std::string StaleText(const std::vector<TStalePair>& stale);

// Age of a logged moment in days with fraction, counted from today at midnight.
double ArchiveAge(const platform::LocalDateTime& logged, const platform::LocalDateTime& now);
// Whether that age is past del_flg × 30 days; del_flg 0 keeps everything.
bool ArchiveExpired(const platform::LocalDateTime& logged, const platform::LocalDateTime& now, int delFlg);

// Lets a job run once per minute: two ticks can fall into the due window's two seconds.
class TMinuteLatch {
 public:
  // True the first time it is asked within the minute of now.
  bool Take(const platform::LocalDateTime& now);

 private:
  std::optional<platform::LocalDateTime> FLast;
};

// The retention choice as stored; 0 without a row.
int ReadDeleteFlag();
// What the purge did with an archive past the retention period.
enum class TPurgeAction {
  Deleted,
  NotDeleted,      // already gone, or it could not be deleted (tried again next day)
  KeptNewest,      // the pair's newest archive: never deleted
  KeptNoGoodNewer, // no newer archive of the pair exists and tests good
};
struct TExpired {
  std::string archive;
  TPurgeAction action = TPurgeAction::NotDeleted;
  bool removed() const { return action == TPurgeAction::Deleted; }
};
// The configured backup file a dated archive was made from: /bk/20100617_work.lzh gives
// /bk/work.lzh. Together with the target folder it names the pair an m_log row belongs to.
std::string ConfiguredFile(std::string_view archive);
// Deletes the archives in m_log older than the retention choice allows at now, but only those
// for which a newer archive of the same pair exists and passes the library's test; a pair's
// newest archive always stays, so failing backups never leave a pair without one. The rows stay.
// EConvertError for a bkup_date that cannot be read, before anything is deleted.
std::vector<TExpired> PurgeExpiredArchives(const platform::LocalDateTime& now);
// What the purge did, for the user: the archives deleted and those kept past the period, and why.
std::string PurgeReport(const std::vector<TExpired>& expired);

}  // namespace scheduler

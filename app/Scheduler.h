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
struct TExpired {
  std::string archive;
  bool removed;  // false when it was already gone or could not be deleted (tried again next day)
};
// Deletes every archive in m_log older than the retention choice allows at now; the rows stay.
// EConvertError for a bkup_date that cannot be read ends the purge there.
std::vector<TExpired> PurgeExpiredArchives(const platform::LocalDateTime& now);

}  // namespace scheduler

#include "Scheduler.h"

#include <algorithm>
#include <exception>
#include <map>
#include <utility>

#include "BackupRun.h"
#include "FileSearch.h"
#include "Paths.h"

namespace scheduler {

using platform::LocalDateTime;

std::vector<std::string> SplitList(std::string_view list) {
  std::vector<std::string> items;
  std::size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < list.size()) {
    while (i < list.size() && isSpace(list[i])) ++i;
    if (i >= list.size()) break;
    std::string item;
    if (list[i] == '"') {
      for (++i; i < list.size(); ++i) {
        if (list[i] != '"') {
          item += list[i];
        } else if (i + 1 < list.size() && list[i + 1] == '"') {
          item += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
    } else {
      while (i < list.size() && list[i] != ',' && !isSpace(list[i])) item += list[i++];
    }
    items.push_back(std::move(item));
    while (i < list.size() && isSpace(list[i])) ++i;
    if (i < list.size() && list[i] == ',') {
      ++i;
      // A trailing comma still ends an (empty) item.
      if (i == list.size()) items.emplace_back();
    }
  }
  return items;
}

std::vector<int> ListedDays(std::string_view list) {
  std::vector<int> days;
  for (const std::string& item : SplitList(list)) {
    try {
      days.push_back(platform::StrToInt(item));
    } catch (const platform::EConvertError&) {
      // Not a day: skipped.
    }
  }
  return days;
}

bool InDueWindow(const platform::TimeOfDay& at, const LocalDateTime& now) {
  return now.hour == at.hour && now.minute == at.minute && now.second < 2;
}

namespace {

// Whether the schedule's day list names the day of date (time of day ignored).
bool DayDue(const backupdb::Schedule& schedule, const LocalDateTime& date) {
  if (schedule.bk_type == "0") return true;
  const bool weekly = schedule.bk_type == "1";
  const std::vector<int> days = ListedDays(weekly ? schedule.bk_week : schedule.bk_month);
  const int today = weekly ? date.dayOfWeek() : date.day;
  return std::find(days.begin(), days.end(), today) != days.end();
}

LocalDateTime PreviousDay(LocalDateTime t) {
  if (--t.day > 0) return t;
  if (--t.month == 0) {
    t.month = 12;
    --t.year;
  }
  t.day = platform::DaysInMonth(t.year, t.month);
  return t;
}

// The latest day at the time at whose moment lies after from's minute and not after to; a
// monthly list repeats within two months, so no further look back is needed.
template <class DayDueFn>
std::optional<LocalDateTime> LatestMoment(const platform::TimeOfDay& at, const LocalDateTime& from,
                                          const LocalDateTime& to, DayDueFn dayDue) {
  const double after = platform::ToDays({from.year, from.month, from.day, from.hour, from.minute, 0});
  const double until = platform::ToDays(to);
  LocalDateTime day{to.year, to.month, to.day, at.hour, at.minute, 0};
  for (int i = 0; i < 62; ++i, day = PreviousDay(day)) {
    const double moment = platform::ToDays(day);
    if (moment <= after) break;
    if (moment <= until && dayDue(day)) return day;
  }
  return std::nullopt;
}

}  // namespace

bool ScheduleDue(const backupdb::Schedule& schedule, const LocalDateTime& now) {
  const bool due = InDueWindow(platform::StrToTime(schedule.bk_time), now);
  return DayDue(schedule, now) && due;
}

bool PurgeDue(const LocalDateTime& now) { return InDueWindow({PurgeHour, PurgeMinute, 0}, now); }

std::optional<LocalDateTime> MissedBackup(const backupdb::Schedule& schedule, const LocalDateTime& from,
                                          const LocalDateTime& to) {
  return LatestMoment(platform::StrToTime(schedule.bk_time), from, to,
                      [&](const LocalDateTime& day) { return DayDue(schedule, day); });
}

std::optional<LocalDateTime> MissedPurge(const LocalDateTime& from, const LocalDateTime& to) {
  return LatestMoment({PurgeHour, PurgeMinute, 0}, from, to, [](const LocalDateTime&) { return true; });
}

std::optional<LocalDateTime> NewestLogged() {
  std::vector<backupdb::LogRow> rows;
  {
    auto db = backupdb::OpenDatabase();
    rows = backupdb::ReadLog(*db);
  }
  std::optional<LocalDateTime> newest;
  for (const backupdb::LogRow& row : rows) {
    const LocalDateTime at = platform::StrToDateTime(row.bkup_date);
    if (!newest || platform::ToDays(at) > platform::ToDays(*newest)) newest = at;
  }
  return newest;
}

bool BackupMissed(const backupdb::Schedule& schedule, const LocalDateTime& now) {
  const std::optional<LocalDateTime> newest = NewestLogged();
  return newest && MissedBackup(schedule, *newest, now).has_value();
}

std::vector<TStalePair> StalePairs(const backupdb::Schedule& schedule, const LocalDateTime& now) {
  LocalDateTime until = now;
  for (int i = 0; i < StaleDays; ++i) until = PreviousDay(until);
  LocalDateTime from = until;
  for (int i = 0; i < 60; ++i) from = PreviousDay(from);
  std::vector<TStalePair> stale;
  std::optional<LocalDateTime> moment;
  try {
    moment = MissedBackup(schedule, from, until);
  } catch (const platform::EConvertError&) {
    return stale;  // an unreadable schedule is reported by the ticks
  }
  if (!moment) return stale;
  std::vector<backupdb::TargetPair> pairs;
  std::vector<backupdb::LogRow> rows;
  {
    auto db = backupdb::OpenDatabase();
    pairs = backupdb::ReadTargets(*db);
    rows = backupdb::ReadLog(*db);
  }
  for (const backupdb::TargetPair& pair : pairs) {
    std::optional<LocalDateTime> newest;
    std::string newestText;
    for (const backupdb::LogRow& row : rows) {
      if (row.target_folder != pair.target_folder || ConfiguredFile(row.bkup_file) != pair.bkup_file) continue;
      LocalDateTime at;
      try {
        at = platform::StrToDateTime(row.bkup_date);
      } catch (const platform::EConvertError&) {
        continue;
      }
      if (!newest || platform::ToDays(at) > platform::ToDays(*newest)) {
        newest = at;
        newestText = row.bkup_date;
      }
    }
    if (!newest || platform::ToDays(*newest) < platform::ToDays(*moment)) stale.push_back({pair, newestText});
  }
  return stale;
}

std::string StaleText(const std::vector<TStalePair>& stale) {
  std::string text;
  for (const TStalePair& s : stale) {
    if (!text.empty()) text += "\n";
    text += s.pair.target_folder + " -> " + s.pair.bkup_file + ": 最後の正常なバックアップ " +
            (s.lastGood.empty() ? std::string("なし") : s.lastGood);
  }
  return text;
}

double ArchiveAge(const LocalDateTime& logged, const LocalDateTime& now) {
  LocalDateTime midnight{now.year, now.month, now.day, 0, 0, 0};
  return platform::ToDays(midnight) - platform::ToDays(logged);
}

bool ArchiveExpired(const LocalDateTime& logged, const LocalDateTime& now, int delFlg) {
  return delFlg != 0 && ArchiveAge(logged, now) > delFlg * RetentionDays;
}

bool TMinuteLatch::Take(const LocalDateTime& now) {
  LocalDateTime minute{now.year, now.month, now.day, now.hour, now.minute, 0};
  if (FLast == minute) return false;
  FLast = minute;
  return true;
}

int ReadDeleteFlag() {
  auto db = backupdb::OpenDatabase();
  return backupdb::ReadDeleteFlag(*db);
}

std::string ConfiguredFile(std::string_view archive) {
  std::string name = platform::ExtractFileName(archive);
  const bool dated = name.size() > 9 && name[8] == '_' &&
                     std::all_of(name.begin(), name.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
  if (dated) name.erase(0, 9);
  return platform::ExtractFilePath(archive) + name;
}

namespace {

// One logged archive of a pair, at the latest moment it was logged.
struct TLoggedArchive {
  std::string path;
  double moment = 0;
};

bool IsArchiveFile(const std::string& path) { return platform::FileExists(path) && !platform::DirectoryExists(path); }

}  // namespace

std::vector<TExpired> PurgeExpiredArchives(const LocalDateTime& now) {
  std::vector<TExpired> expired;
  const int delFlg = ReadDeleteFlag();
  if (delFlg == 0) return expired;
  std::vector<backupdb::LogRow> rows;
  {
    auto db = backupdb::OpenDatabase();
    rows = backupdb::ReadLog(*db);
  }
  // Every date is read first: an unreadable one deletes nothing.
  std::vector<LocalDateTime> logged;
  logged.reserve(rows.size());
  for (const backupdb::LogRow& row : rows) logged.push_back(platform::StrToDateTime(row.bkup_date));

  // The archives of each pair, newest first.
  std::map<std::pair<std::string, std::string>, std::vector<TLoggedArchive>> pairs;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    auto& archives = pairs[{rows[i].target_folder, ConfiguredFile(rows[i].bkup_file)}];
    const double moment = platform::ToDays(logged[i]);
    auto same = std::find_if(archives.begin(), archives.end(),
                             [&](const TLoggedArchive& a) { return a.path == rows[i].bkup_file; });
    if (same == archives.end()) {
      archives.push_back({rows[i].bkup_file, moment});
    } else {
      same->moment = std::max(same->moment, moment);
    }
  }
  for (auto& [pair, archives] : pairs) {
    std::stable_sort(archives.begin(), archives.end(),
                     [](const TLoggedArchive& a, const TLoggedArchive& b) { return a.moment > b.moment; });
  }

  std::map<std::string, bool> tested;  // archive path -> tests good
  auto testsGood = [&](const std::string& path) {
    auto [it, fresh] = tested.try_emplace(path, false);
    if (fresh) {
      std::string output;
      try {
        it->second = IsArchiveFile(path) && backuprun::VerifyArchive(path, output) == 0;
      } catch (const std::exception&) {
        // A missing library proves nothing good: the older archive stays.
      }
    }
    return it->second;
  };
  std::vector<std::string> handled;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string& path = rows[i].bkup_file;
    if (!ArchiveExpired(logged[i], now, delFlg)) continue;
    if (std::find(handled.begin(), handled.end(), path) != handled.end()) continue;
    handled.push_back(path);
    if (!IsArchiveFile(path)) {
      expired.push_back({path, TPurgeAction::NotDeleted});
      continue;
    }
    const auto& archives = pairs[{rows[i].target_folder, ConfiguredFile(path)}];
    if (archives.front().path == path) {
      expired.push_back({path, TPurgeAction::KeptNewest});
      continue;
    }
    const auto self = std::find_if(archives.begin(), archives.end(),
                                   [&](const TLoggedArchive& a) { return a.path == path; });
    const bool goodNewer = std::any_of(archives.begin(), self, [&](const TLoggedArchive& a) {
      return a.moment > self->moment && testsGood(a.path);
    });
    if (!goodNewer) {
      expired.push_back({path, TPurgeAction::KeptNoGoodNewer});
      continue;
    }
    expired.push_back({path, platform::DeleteFile(path) ? TPurgeAction::Deleted : TPurgeAction::NotDeleted});
  }
  return expired;
}

std::string PurgeReport(const std::vector<TExpired>& expired) {
  std::string deleted, kept;
  for (const TExpired& e : expired) {
    switch (e.action) {
      case TPurgeAction::Deleted: deleted += "\n  " + e.archive; break;
      case TPurgeAction::NotDeleted: break;
      case TPurgeAction::KeptNewest: kept += "\n  " + e.archive + "（この組の最新のバックアップ）"; break;
      case TPurgeAction::KeptNoGoodNewer:
        kept += "\n  " + e.archive + "（これより新しい正常なバックアップがありません）";
        break;
    }
  }
  std::string text;
  if (!deleted.empty()) text += "保存期間を過ぎたバックアップを削除しました:" + deleted;
  if (!kept.empty()) {
    if (!text.empty()) text += "\n";
    text += "保存期間を過ぎても残したバックアップ:" + kept;
  }
  return text;
}

}  // namespace scheduler

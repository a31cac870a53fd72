#include "Scheduler.h"

#include <algorithm>

#include "FileSearch.h"

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

bool ScheduleDue(const backupdb::Schedule& schedule, const LocalDateTime& now) {
  bool due = InDueWindow(platform::StrToTime(schedule.bk_time), now);
  if (schedule.bk_type == "0") return due;
  const bool weekly = schedule.bk_type == "1";
  const std::vector<int> days = ListedDays(weekly ? schedule.bk_week : schedule.bk_month);
  const int today = weekly ? now.dayOfWeek() : now.day;
  return due && std::find(days.begin(), days.end(), today) != days.end();
}

bool PurgeDue(const LocalDateTime& now) { return InDueWindow({PurgeHour, PurgeMinute, 0}, now); }

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

std::vector<TExpired> PurgeExpiredArchives(const LocalDateTime& now) {
  std::vector<TExpired> expired;
  const int delFlg = ReadDeleteFlag();
  if (delFlg == 0) return expired;
  std::vector<backupdb::LogRow> rows;
  {
    auto db = backupdb::OpenDatabase();
    rows = backupdb::ReadLog(*db);
  }
  for (const backupdb::LogRow& row : rows) {
    if (!ArchiveExpired(platform::StrToDateTime(row.bkup_date), now, delFlg)) continue;
    expired.push_back({row.bkup_file, platform::DeleteFile(row.bkup_file)});
  }
  return expired;
}

}  // namespace scheduler

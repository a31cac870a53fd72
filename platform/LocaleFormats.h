// Dates and times in the Japanese locale's fixed forms, whatever the process locale says:
// short date yyyy/mm/dd, long time H:MM:SS (hour without a leading zero), decimal point ".".
// The parsers accept what the formatters write, with or without leading zeros, and reject
// anything else with EConvertError.
#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// The standard conversion error (bad number, date or time text).
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A local (wall-clock) date and time; no time zone attached.
struct LocalDateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int dayOfWeek() const;  // 0 = Sunday ... 6 = Saturday
  bool operator==(const LocalDateTime&) const = default;
};

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
  bool operator==(const TimeOfDay&) const = default;
};

LocalDateTime NowLocal();
LocalDateTime FromUnixTime(long long seconds);  // in the process's local time zone
long long ToUnixTime(const LocalDateTime& t);   // the local time's instant
// Days since 1899-12-30 with the time as fraction; differences are calendar days.
double ToDays(const LocalDateTime& t);
bool IsValidDate(int year, int month, int day);
int DaysInMonth(int year, int month);

std::string FormatShortDate(const LocalDateTime& t);  // 2010/06/17
std::string FormatLongTime(const TimeOfDay& t);       // 9:05:00
std::string FormatLongTime(const LocalDateTime& t);
std::string FormatLogDateTime(const LocalDateTime& t);  // 2010/06/17 09:05
std::string FormatDateStamp(const LocalDateTime& t);    // 20100617

TimeOfDay StrToTime(std::string_view text);              // H:MM or H:MM:SS
LocalDateTime StrToDate(std::string_view text);          // yyyy/m/d
LocalDateTime StrToDateTime(std::string_view text);      // a date, optionally a space and a time
int StrToInt(std::string_view text);                     // decimal, optional sign

}  // namespace platform

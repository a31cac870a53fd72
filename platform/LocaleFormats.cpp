#include "LocaleFormats.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <vector>

namespace platform {

namespace {

// The standard wording: 'TEXT' is not a valid WHAT.
[[noreturn]] void fail(std::string_view what, std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + std::string(what));
}

// Whole non-negative number of 1 to maxDigits digits, or -1.
int number(std::string_view s, size_t maxDigits) {
  if (s.empty() || s.size() > maxDigits) return -1;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t pos = s.find(sep, start);
    parts.push_back(s.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return parts;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool parseTime(std::string_view s, TimeOfDay& out) {
  auto parts = split(s, ':');
  if (parts.size() < 2 || parts.size() > 3) return false;
  int h = number(parts[0], 2), m = number(parts[1], 2), sec = parts.size() == 3 ? number(parts[2], 2) : 0;
  if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return false;
  out = {h, m, sec};
  return true;
}

bool parseDate(std::string_view s, LocalDateTime& out) {
  auto parts = split(s, '/');
  if (parts.size() != 3) return false;
  int y = number(parts[0], 4), m = number(parts[1], 2), d = number(parts[2], 2);
  if (y < 1 || !IsValidDate(y, m, d)) return false;
  out = LocalDateTime{y, m, d, 0, 0, 0};
  return true;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return days[month - 1] + (month == 2 && leap ? 1 : 0);
}

int LocalDateTime::dayOfWeek() const {
  long long days = daysFromCivil(year, month, day);  // 1970-01-01 was a Thursday
  return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

LocalDateTime FromUnixTime(long long seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

long long ToUnixTime(const LocalDateTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&tm));
}

LocalDateTime NowLocal() { return FromUnixTime(static_cast<long long>(std::time(nullptr))); }

double ToDays(const LocalDateTime& t) {
  // 1899-12-30 is 25569 days before 1970-01-01.
  double days = static_cast<double>(daysFromCivil(t.year, t.month, t.day) + 25569);
  return days + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
}

std::string FormatShortDate(const LocalDateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", t.year, t.month, t.day);
  return buf;
}

std::string FormatLongTime(const TimeOfDay& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

std::string FormatLongTime(const LocalDateTime& t) { return FormatLongTime(TimeOfDay{t.hour, t.minute, t.second}); }

std::string FormatLogDateTime(const LocalDateTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  return buf;
}

std::string FormatDateStamp(const LocalDateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year, t.month, t.day);
  return buf;
}

TimeOfDay StrToTime(std::string_view text) {
  TimeOfDay t;
  if (!parseTime(trim(text), t)) fail("time", text);
  return t;
}

LocalDateTime StrToDate(std::string_view text) {
  LocalDateTime d;
  if (!parseDate(trim(text), d)) fail("date", text);
  return d;
}

LocalDateTime StrToDateTime(std::string_view text) {
  std::string_view s = trim(text);
  size_t space = s.find(' ');
  LocalDateTime d;
  if (!parseDate(s.substr(0, space), d)) fail("date and time", text);
  if (space != std::string_view::npos) {
    TimeOfDay t;
    if (!parseTime(trim(s.substr(space + 1)), t)) fail("date and time", text);
    d.hour = t.hour;
    d.minute = t.minute;
    d.second = t.second;
  }
  return d;
}

int StrToInt(std::string_view text) {
  std::string_view s = trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) fail("integer value", text);
  return value;
}

}  // namespace platform

#include <gtest/gtest.h>

#include "LocaleFormats.h"

using namespace platform;

TEST(LocaleFormats, WritesTheJapaneseForms) {
  LocalDateTime t{2010, 6, 17, 9, 5, 3};
  EXPECT_EQ(FormatShortDate(t), "2010/06/17");
  EXPECT_EQ(FormatLongTime(t), "9:05:03");
  EXPECT_EQ(FormatLongTime(TimeOfDay{12, 0, 0}), "12:00:00");
  EXPECT_EQ(FormatLogDateTime(t), "2010/06/17 09:05");
  EXPECT_EQ(FormatDateStamp(t), "20100617");
}

TEST(LocaleFormats, ParsesTimesWithOrWithoutLeadingZeros) {
  struct Case { const char* text; TimeOfDay t; };
  const Case ok[] = {{"9:30:00", {9, 30, 0}}, {"09:30:00", {9, 30, 0}}, {"12:00", {12, 0, 0}},
                     {"23:59:59", {23, 59, 59}}, {" 0:00:00 ", {0, 0, 0}}};
  for (const auto& c : ok) EXPECT_EQ(StrToTime(c.text), c.t) << c.text;
  for (const char* bad : {"", "24:00:00", "9:60", "9", "9:30:00:00", "a:b", "9.30", "None selected"}) {
    EXPECT_THROW(StrToTime(bad), EConvertError) << bad;
  }
  try {
    StrToTime("x");
    FAIL() << "'x' was taken for a time";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid time");
  }
}

TEST(LocaleFormats, ParsesDateTimesAsWritten) {
  EXPECT_EQ(StrToDateTime("2010/06/17 09:05"), (LocalDateTime{2010, 6, 17, 9, 5, 0}));
  EXPECT_EQ(StrToDateTime("2010/6/7 9:05:30"), (LocalDateTime{2010, 6, 7, 9, 5, 30}));
  EXPECT_EQ(StrToDateTime("2010/06/17"), (LocalDateTime{2010, 6, 17, 0, 0, 0}));
  for (const char* bad : {"", "2010/02/30 00:00", "2010-06-17 09:05", "2010/06/17 25:00", "17/06/2010x"}) {
    EXPECT_THROW(StrToDateTime(bad), EConvertError) << bad;
  }
}

TEST(LocaleFormats, IntegersRejectAnythingButAWholeNumber) {
  EXPECT_EQ(StrToInt("31"), 31);
  EXPECT_EQ(StrToInt("-1"), -1);
  EXPECT_EQ(StrToInt(" 5 "), 5);
  for (const char* bad : {"", "None selected", "1.5", "1,3", "0x10", "99999999999"}) {
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  }
  try {
    StrToInt("None selected");
    FAIL() << "'None selected' was taken for an integer";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'None selected' is not a valid integer value");
  }
}

TEST(LocaleFormats, CalendarArithmetic) {
  EXPECT_EQ((LocalDateTime{2010, 6, 17}).dayOfWeek(), 4);  // a Thursday
  EXPECT_EQ((LocalDateTime{2026, 12, 13}).dayOfWeek(), 0);  // a Sunday
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2026, 4), 30);
  EXPECT_DOUBLE_EQ(ToDays(LocalDateTime{1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(ToDays(LocalDateTime{2010, 6, 17, 12, 0, 0}) - ToDays(LocalDateTime{2010, 5, 18}), 30.5);
}

TEST(LocaleFormats, UnixTimeRoundTripsThroughLocalTime) {
  LocalDateTime t{2021, 3, 4, 5, 6, 7};
  EXPECT_EQ(FromUnixTime(ToUnixTime(t)), t);
}

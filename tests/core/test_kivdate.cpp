#include <gtest/gtest.h>

#include <cmath>

#include "kivdate.h"

namespace {
double Date(int y, int m, int d) {
  double v = -1e9;
  EXPECT_TRUE(TryEncodeDate(y, m, d, v));
  return v;
}
}  // namespace

TEST(KivDate, EncodeKnownDays) {
  EXPECT_EQ(Date(1899, 12, 30), 0);
  EXPECT_EQ(Date(1900, 1, 1), 2);
  EXPECT_EQ(Date(2000, 1, 1), 36526);
  EXPECT_EQ(Date(2024, 2, 29), 45351);
  EXPECT_EQ(Date(1, 1, 1), -693593);
  EXPECT_EQ(Date(9999, 12, 31), 2958465);
  double v = 123;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, v));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));  // century, not leap
  EXPECT_FALSE(TryEncodeDate(2024, 4, 31, v));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, v));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, v));
  EXPECT_FALSE(TryEncodeDate(2024, 1, 0, v));
  EXPECT_EQ(v, 123);
}

TEST(KivDate, EncodeTime) {
  double f = 0;
  EXPECT_TRUE(TryEncodeTime(12, 0, 0, 0, f));
  EXPECT_DOUBLE_EQ(f, 0.5);
  EXPECT_TRUE(TryEncodeTime(23, 59, 59, 999, f));
  EXPECT_LT(f, 1.0);
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, f));
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, f));
  EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, f));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, f));
  EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, f));
}

TEST(KivDate, DecodeRoundTripsEveryDayOfLeapYears) {
  for (int y : {1, 1600, 1899, 1900, 2000, 2024, 9999}) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= 31; ++d) {
        double v = 0;
        if (!TryEncodeDate(y, m, d, v)) continue;
        const TDateParts p = DecodeDate(v + 0.75);
        EXPECT_EQ(p.year, y);
        EXPECT_EQ(p.month, m);
        EXPECT_EQ(p.day, d);
      }
    }
  }
}

TEST(KivDate, TimeRoundsToTheMillisecondAndCarries) {
  double d = Date(2024, 3, 15), t = 0;
  ASSERT_TRUE(TryEncodeTime(13, 45, 30, 250, t));
  TDateParts date;
  TTimeParts time;
  DecodeDateTime(d + t, date, time);
  EXPECT_EQ(date.day, 15);
  EXPECT_EQ(time.hour, 13);
  EXPECT_EQ(time.minute, 45);
  EXPECT_EQ(time.second, 30);
  EXPECT_EQ(time.msec, 250);

  // Half a millisecond short of midnight rounds into the next day.
  const double nearlyMidnight = d + (86400000.0 - 0.4) / 86400000.0;
  DecodeDateTime(nearlyMidnight, date, time);
  EXPECT_EQ(date.day, 16);
  EXPECT_EQ(time.hour, 0);
  EXPECT_EQ(time.msec, 0);
  EXPECT_EQ(DateTimeToStr(nearlyMidnight), "2024-03-16 00:00:00");
  EXPECT_EQ(DateToStr(nearlyMidnight), "2024-03-16");
  EXPECT_EQ(TimeToStr(nearlyMidnight), "00:00:00");

  // A whole day count is a date alone; any time of day, midnight by rounding included,
  // keeps its time.
  EXPECT_EQ(DateTimeToStr(Date(2024, 3, 16)), "2024-03-16");
  EXPECT_EQ(DateTimeToStr(Date(2024, 3, 16) + 1.0 / 86400), "2024-03-16 00:00:01");

  // Year's end carries into the next year.
  EXPECT_EQ(DateTimeToStr(Date(2023, 12, 31) + 0.99999999999), "2024-01-01 00:00:00");
}

TEST(KivDate, NegativeCountsUseTheFloor) {
  // -1,25 is the day -2 (1899-12-28) at 18:00.
  TDateParts date;
  TTimeParts time;
  DecodeDateTime(-1.25, date, time);
  EXPECT_EQ(date.year, 1899);
  EXPECT_EQ(date.month, 12);
  EXPECT_EQ(date.day, 28);
  EXPECT_EQ(time.hour, 18);
  EXPECT_EQ(DateTimeToStr(-1.25), "1899-12-28 18:00:00");
  EXPECT_EQ(DateTimeToStr(0), "1899-12-30");  // a whole day count: the date alone
}

TEST(KivDate, OutOfRangeCountsHaveNoDate) {
  for (double bad : {-693594.0, 2958466.0, 1e300, std::nan(""), double{INFINITY}}) {
    const TDateParts p = DecodeDate(bad);
    EXPECT_EQ(p.year, 0) << bad;
    EXPECT_EQ(DateToStr(bad), "0000-00-00");
  }
  // The last millisecond of 9999 rounding up has no next day.
  EXPECT_EQ(DecodeDate(2958465.9999999999).year, 0);
}

TEST(KivDate, NowIsNearTodayAndFormats) {
  const double now = NowDays();
  const double today = TodayDays();
  EXPECT_GE(now, today);
  EXPECT_LT(now - today, 1.0 + 1e-6);
  EXPECT_GT(today, Date(2020, 1, 1));
  EXPECT_EQ(std::floor(today), today);
  EXPECT_EQ(DateToStr(today).size(), 10u);
  EXPECT_EQ(TimeToStr(Date(2001, 2, 3) + 0.5 + 1.0 / 86400), "12:00:01");
}

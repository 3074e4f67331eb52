#include "kivdate.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "numfmt.h"

namespace {

constexpr double kMsPerDay = 86400000.0;
// Day counts of 0001-01-01 and 9999-12-31, the range every conversion here accepts.
constexpr long long kFirstDay = -693593;
constexpr long long kLastDay = 2958465;

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil algorithms).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

TDateParts CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  TDateParts parts;
  parts.year = static_cast<int>(y + (m <= 2));
  parts.month = static_cast<int>(m);
  parts.day = static_cast<int>(d);
  return parts;
}

// 1899-12-30 counted from 1970-01-01.
const long long kEpochOffset = DaysFromCivil(1899, 12, 30);

// Splits a day count into whole days and milliseconds of the day, the rounding carry
// already moved into the days. False outside the years 1..9999 (and for NaN or infinity).
bool Split(double days, long long& whole, long long& ms) {
  if (!std::isfinite(days)) return false;
  const double fl = std::floor(days);
  if (fl < static_cast<double>(kFirstDay) || fl > static_cast<double>(kLastDay)) return false;
  whole = static_cast<long long>(fl);
  ms = static_cast<long long>(RoundHalfEven((days - fl) * kMsPerDay));
  if (ms >= static_cast<long long>(kMsPerDay)) {
    ++whole;
    ms = 0;
    if (whole > kLastDay) return false;
  }
  return true;
}

std::string Two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, double& days) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  days = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochOffset);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, double& fraction) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  fraction = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / kMsPerDay;
  return true;
}

bool DayCountToMs(double days, long long& ms) {
  long long whole = 0, ofDay = 0;
  if (!Split(days, whole, ofDay)) return false;
  ms = whole * static_cast<long long>(kMsPerDay) + ofDay;
  return true;
}

// A day count outside the years 1..9999 has no calendar date: the parts are all zero.
void DecodeDateTime(double days, TDateParts& date, TTimeParts& time) {
  long long whole = 0, ms = 0;
  if (!Split(days, whole, ms)) {
    date = TDateParts{0, 0, 0};
    time = TTimeParts{};
    return;
  }
  date = CivilFromDays(whole + kEpochOffset);
  time.hour = static_cast<int>(ms / 3600000);
  time.minute = static_cast<int>(ms / 60000 % 60);
  time.second = static_cast<int>(ms / 1000 % 60);
  time.msec = static_cast<int>(ms % 1000);
}

// The date follows the time's rounding, so DateToStr and TimeToStr of the same count
// always agree with DateTimeToStr.
TDateParts DecodeDate(double days) {
  TDateParts d;
  TTimeParts t;
  DecodeDateTime(days, d, t);
  return d;
}

TTimeParts DecodeTime(double days) {
  TDateParts d;
  TTimeParts t;
  DecodeDateTime(days, d, t);
  return t;
}

std::string DateToStr(double days) {
  const TDateParts d = DecodeDate(days);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-", d.year);
  return buf + Two(d.month) + "-" + Two(d.day);
}

std::string TimeToStr(double days) {
  const TTimeParts t = DecodeTime(days);
  return Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second);
}

std::string DateTimeToStr(double days) {
  // A count without a fraction is a date alone (as the image stores some reading dates);
  // "00:00:00" after it would claim a time nobody recorded.
  if (days == std::floor(days)) return DateToStr(days);
  return DateToStr(days) + " " + TimeToStr(days);
}

double NowDays() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &secs);
#else
  localtime_r(&secs, &local);
#endif
  double date = 0.0, time = 0.0;
  TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
  // A leap second reads as the last second of its minute.
  TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                static_cast<int>(ms < 0 ? ms + 1000 : ms), time);
  return date + time;
}

double TodayDays() {
  return std::floor(NowDays());
}

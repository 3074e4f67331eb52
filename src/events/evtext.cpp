#include "evtext.h"

#include <cmath>

#include "numfmt.h"

namespace {

constexpr double kMsPerDay = 86400000.0;
// The last day count with a calendar date (9999-12-31); later counts have no time of day.
constexpr double kLastDay = 2958465.0;

struct TDayTime {
  long long hour = 0, minute = 0, second = 0, msec = 0;
};

// Time of day of a positive day count as the date helpers decompose it: milliseconds =
// fraction x 86 400 000 rounded half to even, a rounded-up full day belonging to the date.
// Written out here because every listed event and route point needs it.
TDayTime TimeOfDay(double days) {
  TDayTime t;
  const double whole = std::floor(days);
  if (!(whole <= kLastDay)) return t;
  const double v = (days - whole) * kMsPerDay;
  const double lower = std::floor(v);
  const double diff = v - lower;
  auto ms = static_cast<long long>(lower);
  if (diff > 0.5 || (diff == 0.5 && (ms & 1) != 0)) ++ms;
  if (ms >= static_cast<long long>(kMsPerDay)) ms = 0;
  t.hour = ms / 3600000;
  t.minute = ms / 60000 % 60;
  t.second = ms / 1000 % 60;
  t.msec = ms % 1000;
  return t;
}

}  // namespace

double DaysToSeconds(double days) {
  if (!(days > 0)) return 0;
  const TDayTime t = TimeOfDay(days);
  return static_cast<double>(t.hour * 3600 + t.minute * 60 + t.second) + t.msec / 1000.0;
}

double ListingSeconds(double days) {
  if (!(days > 0)) return 0;
  const TDayTime t = TimeOfDay(days);
  return static_cast<double>(t.minute * 60 + t.second) + t.msec / 1000.0;
}

std::string FixedText(double value, int decimals, int width) {
  return FormatFixed(value, decimals, width);
}

#include "evtext.h"

#include "kivdate.h"
#include "numfmt.h"

double DaysToSeconds(double days) {
  if (days <= 0) return 0;
  const TTimeParts t = DecodeTime(days);
  return t.hour * 3600 + t.minute * 60 + t.second + t.msec / 1000.0;
}

double ListingSeconds(double days) {
  if (days <= 0) return 0;
  const TTimeParts t = DecodeTime(days);
  return t.minute * 60 + t.second + t.msec / 1000.0;
}

std::string FixedText(double value, int decimals, int width) {
  return FormatFixed(value, decimals, width);
}

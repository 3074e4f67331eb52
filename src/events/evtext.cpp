#include "evtext.h"

#include "kivdate.h"
#include "numfmt.h"

namespace {

// Milliseconds from start to time on the clock; 0 when not after it.
long long MsSinceStart(double time, double start) {
  long long t = 0, s = 0;
  if (!DayCountToMs(time, t) || !DayCountToMs(start, s) || t <= s) return 0;
  return t - s;
}

// Whole seconds plus the milliseconds, as the time-of-day decomposition adds them.
double Seconds(long long ms) {
  return static_cast<double>(ms / 1000) + static_cast<double>(ms % 1000) / 1000.0;
}

}  // namespace

double SecondsSinceStart(double time, double start) {
  return Seconds(MsSinceStart(time, start));
}

std::string FixedText(double value, int decimals, int width) {
  return FormatFixed(value, decimals, width);
}

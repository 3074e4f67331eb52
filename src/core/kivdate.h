// Dates as day counts: days since 1899-12-30, the fraction being the time of day.
#pragma once

#include <string>

struct TDateParts {
  int year = 1899, month = 12, day = 30;
};
struct TTimeParts {
  int hour = 0, minute = 0, second = 0, msec = 0;
};

// False for a date that does not exist (month 13, 31 April, 29 February of a common year).
bool TryEncodeDate(int year, int month, int day, double& days);
bool TryEncodeTime(int hour, int minute, int second, int msec, double& fraction);
// Calendar date of the day count (for negative counts, the floor of the count).
TDateParts DecodeDate(double days);
// Time of day: milliseconds = fraction x 86 400 000 rounded half to even; a full day
// carried by the rounding belongs to the date (see DecodeDateTime).
TTimeParts DecodeTime(double days);
void DecodeDateTime(double days, TDateParts& date, TTimeParts& time);
// The clock of a day count to the millisecond: milliseconds since day 0, rounded as
// DecodeDateTime rounds them, so that the date and time it shows are this count's. False
// outside the years 1..9999.
bool DayCountToMs(double days, long long& ms);
// "yyyy-mm-dd" and "hh:mm:ss" (24-hour, two digits each).
std::string DateToStr(double days);
std::string TimeToStr(double days);
std::string DateTimeToStr(double days);  // "yyyy-mm-dd hh:mm:ss", "yyyy-mm-dd" for a whole day
double NowDays();                        // local date and time
double TodayDays();                      // local date only

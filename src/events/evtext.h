// Time and number texts of the event views: event times are day counts (days since
// 1899-12-30, the fraction being the time of day), shown as seconds since the sequence start.
#pragma once

#include <string>

// Seconds of a time span for the route: 0 when the span is 0 or negative, otherwise hours
// x 3600 + minutes x 60 + seconds + milliseconds / 1000 of its time of day (whole days are
// dropped).
double DaysToSeconds(double days);

// Seconds of a time span for the event listing: as DaysToSeconds, but whole hours are
// dropped too (minutes x 60 + seconds + milliseconds / 1000).
double ListingSeconds(double days);

// "%w.pf" of the program (decimal separator ","), correctly rounded from the binary value.
// Here so that units which see the graph model need not see the number helpers.
std::string FixedText(double value, int decimals, int width = 0);

// Time and number texts of the event views: event times are day counts (days since
// 1899-12-30, the fraction being the time of day), shown as seconds since the sequence start.
#pragma once

#include <string>

// Seconds from a sequence's start to one of its events, both stored day counts, on the
// clock the sequence header and the date columns show: the difference of the two counts'
// milliseconds. So start + time is the event's clock time to the millisecond, and every view
// that shows an event's time (listing, route, cursors, CSV, COMTRADE) shows the same text.
// 0 for an event not after the start or a count without a date.
double SecondsSinceStart(double time, double start);

// "%w.pf" of the program (decimal separator ","), correctly rounded from the binary value.
// Here so that units which see the graph model need not see the number helpers.
std::string FixedText(double value, int decimals, int width = 0);

// CSV export of a sequence's listed events for spreadsheets: UTF-8 with a byte order mark,
// ";" between fields, "," as the decimal separator, a header row, CR LF line ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TEvLister;

// One event as the listing shows it.
struct TListedEvent {
  uint16_t Sequence = 0;
  double Time = 0.0;      // day count
  double Relative = 0.0;  // seconds since the sequence start
  uint8_t Code = 0;
  std::string Name;                  // the event line without its time
  std::vector<std::string> Details;  // the detail lines, blanks at the ends removed
};

// The events of sequence n that the listing shows, in its order (the lister built, its
// device set); nothing outside 1..SequenceCount.
std::vector<TListedEvent> ListedEvents(TEvLister& lister, uint16_t n);

// Why sequence n is not exported, as CSV or as COMTRADE alike: it has no event to show
// (a clock-time event and nothing after it).
std::string NoEventsToExportText(uint16_t n);

// A field quoted when it holds ";", a quote or a line end (quotes doubled).
std::string CsvField(const std::string& text);

// "yyyy-mm-dd hh:mm:ss,zzz".
std::string CsvDateTime(double days);

// The header row and one row per event: sequence, date and time, relative seconds (three
// decimals), code (two hexadecimal digits and "h"), name, details joined by " | ".
std::string EventsCsv(const std::vector<TListedEvent>& events);

// Writes text as fileName, whole or not at all; false with error set when it cannot.
bool SaveText(const std::string& fileName, const std::string& text, std::string& error);

#include "csvexport.h"

#include <cstdio>

#include "atomicfile.h"
#include "decoders.h"
#include "evtext.h"
#include "kivdate.h"
#include "lister.h"
#include "numfmt.h"

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

std::vector<TListedEvent> ListedEvents(TEvLister& lister, uint16_t n) {
  std::vector<TListedEvent> out;
  const double start = lister.SequenceRecord(n).Start;
  lister.ForEachShownEvent(n, [&](const TShownEvent& shown, const TDecodeContext& ctx) {
    TLineCollector sink;
    DecodeEvent(shown.Kind, shown.Record, shown.Length, ctx, sink);
    if (sink.lines.empty()) return;
    TListedEvent ev;
    ev.Sequence = n;
    ev.Time = shown.Time;
    ev.Relative = SecondsSinceStart(shown.Time, start);
    ev.Code = shown.Record[0];
    const std::string& first = sink.lines.front().text;
    ev.Name = Trim(first.rfind(shown.Prefix, 0) == 0 ? first.substr(shown.Prefix.size()) : first);
    for (size_t k = 1; k < sink.lines.size(); ++k) {
      std::string d = Trim(sink.lines[k].text);
      if (!d.empty()) ev.Details.push_back(std::move(d));
    }
    out.push_back(std::move(ev));
  });
  return out;
}

std::string NoEventsToExportText(uint16_t n) {
  return "Sequence " + std::to_string(n) + " has no events to export";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string CsvDateTime(double days) {
  TDateParts d;
  TTimeParts t;
  DecodeDateTime(days, d, t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d,%03d", d.year, d.month, d.day,
                t.hour, t.minute, t.second, t.msec);
  return buf;
}

std::string EventsCsv(const std::vector<TListedEvent>& events) {
  std::string out = "\xEF\xBB\xBF";
  out += "Sequence;Date and time;Relative [s];Code;Name;Details\r\n";
  for (const TListedEvent& e : events) {
    std::string details;
    for (const std::string& d : e.Details) details += (details.empty() ? "" : " | ") + d;
    out += std::to_string(e.Sequence) + ";" + CsvDateTime(e.Time) + ";" +
           FormatFixed(e.Relative, 3) + ";" + IntToHex(e.Code, 2) + "h;" + CsvField(e.Name) + ";" +
           CsvField(details) + "\r\n";
  }
  return out;
}

bool SaveText(const std::string& fileName, const std::string& text, std::string& error) {
  return WriteFileAtomically(fileName, text, error);
}

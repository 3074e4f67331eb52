#include "csvexport.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "decoders.h"
#include "eventtables.h"
#include "evtext.h"
#include "kivbase.h"
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
  const TKiv* kiv = lister.Device();
  if (kiv == nullptr || n < 1 || n > lister.SequenceCount() ||
      kiv->EventDefs.size() < static_cast<size_t>(kEventDefsBytes))
    return out;
  const TKivMatrix& events = lister.EventsMatrix();
  const uint16_t count = events.RowLength(n);
  const double start = lister.SequenceRecord(n).Start;
  const bool showAll = kiv->GetReadOptions().ShowAllEvents != 0;

  // The decoders see what the listing's walk gives them.
  TDecodeContext ctx;
  ctx.ColumnCount = count;
  ctx.ImplementsSysLogick = kiv->Defs.ImplementsSysLogick;
  ctx.ShowAllEvents = showAll;
  std::array<uint8_t, 264> rec{};
  std::array<uint8_t, 256> previousBlocking{};
  for (uint16_t j = 1; j <= count; ++j) {
    const uint16_t size = events.ElementSize(n, j);
    const uint8_t* e = events.ElementPtr(n, j);
    if (e == nullptr || size <= kEventTimeSize || size > rec.size()) continue;
    std::memcpy(rec.data(), e, size);
    const int recLen = size - kEventTimeSize;
    const uint8_t* def = kiv->EventDefs.data() + rec[0] * kEventDefSize;
    const int len = def[kEvDefLength];
    if (len != 0 && (def[kEvDefShown] == 1 || showAll)) {
      const double stored = GetDoubleLE(rec.data() + recLen);
      const int nameLen = std::min<int>(def[kEvDefName], kEvDefShown - kEvDefName - 1);
      const std::string prefix = FixedText(ListingSeconds(stored - start), 3, 3) + " [s] - ";
      ctx.EventLine = prefix + std::string(reinterpret_cast<const char*>(def + kEvDefName + 1),
                                           static_cast<size_t>(nameLen));
      ctx.Column = j;
      TLineCollector sink;
      DecodeEvent(def[kEvDefKind], rec.data(), recLen, ctx, sink);
      if (!sink.lines.empty()) {
        TListedEvent ev;
        ev.Sequence = n;
        ev.Time = stored;
        ev.Relative = DaysToSeconds(stored - start);
        ev.Code = rec[0];
        const std::string& first = sink.lines.front().text;
        ev.Name = Trim(first.rfind(prefix, 0) == 0 ? first.substr(prefix.size()) : first);
        for (size_t k = 1; k < sink.lines.size(); ++k) {
          std::string d = Trim(sink.lines[k].text);
          if (!d.empty()) ev.Details.push_back(std::move(d));
        }
        out.push_back(std::move(ev));
      }
    }
    // The repeat test compares with the last blocking state met, listed or not.
    if (rec[0] == kCodeBlockingState) {
      std::memcpy(previousBlocking.data(), rec.data(), static_cast<size_t>(recLen));
      ctx.PreviousBlocking = previousBlocking.data();
      ctx.PreviousBlockingLength = recLen;
    }
  }
  return out;
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
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) {
    error = "Cannot write " + fileName;
    return false;
  }
  return true;
}

#include "comtrade.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "atomicfile.h"
#include "graphmodel.h"
#include "kivbase.h"
#include "kivdate.h"
#include "lister.h"
#include "route.h"

namespace {

constexpr double kUsPerDay = 86400e6;

// Letters of the languages the stations are named in, without their diacritics.
struct TFold {
  char32_t cp;
  char ascii;
};
constexpr TFold kFolds[] = {
    {U'ą', 'a'}, {U'ć', 'c'}, {U'ę', 'e'}, {U'ł', 'l'}, {U'ń', 'n'}, {U'ó', 'o'}, {U'ś', 's'},
    {U'ź', 'z'}, {U'ż', 'z'}, {U'Ą', 'A'}, {U'Ć', 'C'}, {U'Ę', 'E'}, {U'Ł', 'L'}, {U'Ń', 'N'},
    {U'Ó', 'O'}, {U'Ś', 'S'}, {U'Ź', 'Z'}, {U'Ż', 'Z'}, {U'á', 'a'}, {U'é', 'e'}, {U'í', 'i'},
    {U'ú', 'u'}, {U'ý', 'y'}, {U'č', 'c'}, {U'ď', 'd'}, {U'ě', 'e'}, {U'ň', 'n'}, {U'ř', 'r'},
    {U'š', 's'}, {U'ť', 't'}, {U'ů', 'u'}, {U'ž', 'z'}, {U'ä', 'a'}, {U'ö', 'o'}, {U'ü', 'u'},
    {U'Á', 'A'}, {U'É', 'E'}, {U'Č', 'C'}, {U'Ř', 'R'}, {U'Š', 'S'}, {U'Ž', 'Z'}, {U'Ä', 'A'},
    {U'Ö', 'O'}, {U'Ü', 'U'}, {U'ß', 's'},
};

// Decodes one UTF-8 character at s[i], advancing i; a malformed byte is one character.
char32_t NextCodePoint(const std::string& s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  const size_t extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : 0;
  if (b0 < 0x80 || extra == 0 || i + extra >= s.size()) {
    ++i;
    return b0 < 0x80 ? b0 : 0xFFFD;
  }
  char32_t cp = b0 & (0x3F >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += extra + 1;
  return cp;
}

enum class TSeriesKind { Levels, Switch, VoltageRange };

// The stored name of series r ("" when it has none).
std::string SeriesName(const TGraphModel& graph, uint16_t r) {
  const uint8_t* p = graph.SeriesMatrix.ElementPtr(r, kSeriesColName);
  if (p == nullptr) return {};
  const uint16_t size = graph.SeriesMatrix.ElementSize(r, kSeriesColName);
  const auto* chars = reinterpret_cast<const char*>(p);
  size_t n = 0;
  while (n < size && chars[n] != 0) ++n;
  return std::string(chars, n);
}

// A series is drawn by the route signal of its name: switch positions by their type,
// voltage ranges as the kept level signals.
TSeriesKind KindOf(const std::string& name) {
  bool voltage = false;
  for (int s = 1; s <= kLastRouteSignal; ++s) {
    const TRouteSignal& sig = RouteSignal(s);
    if (sig.Type == rstNone || name != sig.Name) continue;
    if (sig.Type == rstSwitch) return TSeriesKind::Switch;
    if (sig.Keep != 0) voltage = true;
  }
  return voltage ? TSeriesKind::VoltageRange : TSeriesKind::Levels;
}

// The state a point draws, among the states the series can have; 3 ("UNKNOWN STATE") when
// its look is none of them.
int StateOf(const TGraphPoint& p, TSeriesKind kind) {
  static constexpr int kSwitchStates[] = {0, 1, 2, 3};
  static constexpr int kVoltageStates[] = {4, 5, 6, 7, 8, 3};
  const int* first = kind == TSeriesKind::VoltageRange ? kVoltageStates : kSwitchStates;
  const int count = kind == TSeriesKind::VoltageRange ? 6 : 4;
  for (int k = 0; k < count; ++k) {
    const TGraphPoint t = StepTemplate(first[k]);
    if (t.Color == p.Color && t.PenStyle == p.PenStyle && t.Thickness == p.Thickness)
      return first[k];
  }
  return 3;
}

const char* const kRangeNames[5] = {"V<Vlt", "Vlt<V<VL", "VL<V<0.9Vr", "0.9Vr<V<Vr", "V>Vr"};

struct TSeriesSteps {
  TSeriesKind kind;
  size_t firstChannel;
  std::vector<std::pair<int64_t, int>> steps;  // time in microseconds, state
};

void AppendLine(std::string& out, const std::string& line) {
  out += line;
  out += "\r\n";
}

}  // namespace

std::string ComtradeText(const std::string& text, size_t maxLength) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    char c = '_';
    if (cp == U',') {
      c = '.';
    } else if (cp >= 0x20 && cp < 0x7F) {
      c = static_cast<char>(cp);
    } else {
      for (const TFold& f : kFolds)
        if (f.cp == cp) c = f.ascii;
    }
    out += c;
  }
  const size_t b = out.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  out = out.substr(b, out.find_last_not_of(' ') - b + 1);
  if (out.size() > maxLength) out.resize(maxLength);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string ComtradeDateTime(double days, int64_t addUs) {
  constexpr auto kDayUs = static_cast<int64_t>(kUsPerDay);
  double whole = std::floor(days);
  int64_t us = std::llround((days - whole) * kUsPerDay) + addUs;
  // Whole days the rounding or the offset carried.
  const int64_t carry = us >= 0 ? us / kDayUs : -((-us + kDayUs - 1) / kDayUs);
  us -= carry * kDayUs;
  whole += static_cast<double>(carry);
  const TDateParts d = DecodeDate(whole);
  const int64_t sec = us / 1000000;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d,%02d:%02d:%02d.%06lld", d.day, d.month, d.year,
                static_cast<int>(sec / 3600), static_cast<int>(sec / 60 % 60),
                static_cast<int>(sec % 60), static_cast<long long>(us % 1000000));
  return buf;
}

int64_t ComtradeTimeMult(int64_t lastUs) {
  int64_t mult = 1;
  while (lastUs / mult > kComtradeMaxTimestamp) mult *= 10;
  return mult;
}

TComtradeRecord RouteToComtrade(const TGraphModel& graph, double originDays) {
  TComtradeRecord rec;
  std::vector<TSeriesSteps> series;
  int64_t earliest = 0;
  bool any = false;
  for (uint16_t r = 1; r <= graph.SeriesCount(); ++r) {
    const uint16_t n = graph.PointCount(r);
    if (n == 0) continue;
    TSeriesSteps s;
    s.kind = KindOf(SeriesName(graph, r));
    s.firstChannel = rec.Channels.size();
    const std::string id = graph.GetRowName(r);
    switch (s.kind) {
      case TSeriesKind::Switch:
        rec.Channels.push_back({ComtradeText(id + " CLOSED"), 0});
        rec.Channels.push_back({ComtradeText(id + " AMBIGUOUS"), 0});
        // Not known (no switchgear state yet) is no contact discrepancy: a channel of its own.
        rec.Channels.push_back({ComtradeText(id + " UNKNOWN"), 0});
        break;
      case TSeriesKind::VoltageRange:
        for (const char* range : kRangeNames)
          rec.Channels.push_back({ComtradeText(id + " " + range), 0});
        break;
      case TSeriesKind::Levels:
        rec.Channels.push_back({ComtradeText(id), 0});
        break;
    }
    for (uint16_t c = 1; c <= n; ++c) {
      const TGraphPoint p = graph.Point(r, c);
      const auto t = static_cast<int64_t>(std::llround(p.X * 1e6));
      s.steps.emplace_back(t, StateOf(p, s.kind));
      earliest = any ? std::min(earliest, t) : t;
      any = true;
    }
    series.push_back(std::move(s));
  }
  if (!any) return rec;

  // Every change of any series is a sample; several points at one instant give the state
  // of the last of them.
  std::vector<int64_t> times;
  for (const TSeriesSteps& s : series)
    for (const auto& st : s.steps) times.push_back(st.first);
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());

  std::vector<size_t> next(series.size(), 0);
  std::vector<int> state(series.size(), -1);
  for (int64_t t : times) {
    std::vector<uint8_t> sample(rec.Channels.size(), 0);
    for (size_t k = 0; k < series.size(); ++k) {
      const TSeriesSteps& s = series[k];
      while (next[k] < s.steps.size() && s.steps[next[k]].first <= t)
        state[k] = s.steps[next[k]++].second;
      const int v = state[k];
      switch (s.kind) {
        case TSeriesKind::Switch:
          sample[s.firstChannel] = v == 1 ? 1 : 0;
          sample[s.firstChannel + 1] = v == 2 ? 1 : 0;
          sample[s.firstChannel + 2] = v == 3 ? 1 : 0;
          break;
        case TSeriesKind::VoltageRange:
          for (int q = 0; q < 5; ++q)
            sample[s.firstChannel + static_cast<size_t>(q)] = v == 4 + q ? 1 : 0;
          break;
        case TSeriesKind::Levels:
          sample[s.firstChannel] = v == 1 ? 1 : 0;
          break;
      }
    }
    rec.TimesUs.push_back(t - earliest);
    rec.Samples.push_back(std::move(sample));
  }
  rec.TriggerDays = originDays;
  rec.StartOffsetUs = earliest;
  return rec;
}

double RouteOriginDays(TEvLister& lister, uint16_t n) {
  // The start on the clock the header shows (its millisecond), so trigger + timestamp is
  // the event's clock time as the listing and the CSV give it.
  const double start = lister.SequenceRecord(n).Start;
  long long ms = 0;
  if (!DayCountToMs(start, ms)) return start;
  constexpr long long kMsPerDay = 86400000;
  const long long days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  return static_cast<double>(days) + static_cast<double>(ms - days * kMsPerDay) / kMsPerDay;
}

bool SequenceToComtrade(TEvLister& lister, TGraphModel& graph, uint16_t n, TComtradeRecord& rec) {
  if (lister.Device() == nullptr || n < 1 || n > lister.SequenceCount()) return false;
  lister.SetGraph(&graph);
  lister.SelectSequence(n);
  rec = RouteToComtrade(graph, RouteOriginDays(lister, n));
  if (rec.Channels.empty() || rec.TimesUs.empty()) return false;
  const TKiv& kiv = *lister.Device();
  rec.StationName = ComtradeText(kiv.StationInfo());
  rec.RecDevId = ComtradeText(kiv.Identification());
  return true;
}

TComtradeFiles FormatComtrade(const TComtradeRecord& rec) {
  TComtradeFiles f;
  const size_t channels = rec.Channels.size();
  AppendLine(f.Cfg, ComtradeText(rec.StationName) + "," + ComtradeText(rec.RecDevId) + ",1999");
  AppendLine(f.Cfg, std::to_string(channels) + ",0A," + std::to_string(channels) + "D");
  for (size_t c = 0; c < channels; ++c) {
    AppendLine(f.Cfg, std::to_string(c + 1) + "," + ComtradeText(rec.Channels[c].Id) + ",,," +
                          (rec.Channels[c].Normal != 0 ? "1" : "0"));
  }
  AppendLine(f.Cfg, std::to_string(rec.LineFrequency));
  // No fixed sampling rate: the timestamps are critical.
  AppendLine(f.Cfg, "0");
  AppendLine(f.Cfg, "0," + std::to_string(rec.TimesUs.size()));
  AppendLine(f.Cfg, ComtradeDateTime(rec.TriggerDays, rec.StartOffsetUs));
  AppendLine(f.Cfg, ComtradeDateTime(rec.TriggerDays));
  AppendLine(f.Cfg, "ASCII");
  const int64_t mult = ComtradeTimeMult(rec.TimesUs.empty() ? 0 : rec.TimesUs.back());
  AppendLine(f.Cfg, std::to_string(mult));

  for (size_t i = 0; i < rec.TimesUs.size(); ++i) {
    std::string line = std::to_string(i + 1) + "," + std::to_string(rec.TimesUs[i] / mult);
    for (size_t c = 0; c < channels; ++c) line += rec.Samples[i][c] != 0 ? ",1" : ",0";
    AppendLine(f.Dat, line);
  }
  return f;
}

bool SaveComtrade(const TComtradeRecord& rec, const std::string& dir, const std::string& base,
                  std::string& error) {
  const TComtradeFiles f = FormatComtrade(rec);
  const std::string stem = (dir.empty() ? std::string(".") : dir) + "/" + base;
  // The configuration file names the data file and its sample count and is what readers
  // open first, so it replaces its predecessor last.
  return WriteFilesTogether({{stem + ".dat", f.Dat}, {stem + ".cfg", f.Cfg}}, error);
}

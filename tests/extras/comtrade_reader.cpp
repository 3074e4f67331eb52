#include "comtrade_reader.h"

#include <cctype>
#include <stdexcept>

namespace ctr {
namespace {

[[noreturn]] void Fail(size_t line, const std::string& what) {
  throw std::runtime_error("line " + std::to_string(line + 1) + ": " + what);
}

// Lines end in CR LF, the last one too; nothing follows it.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t cr = text.find("\r\n", pos);
    if (cr == std::string::npos) Fail(lines.size(), "no CR LF at the end");
    std::string line = text.substr(pos, cr - pos);
    if (line.find_first_of("\r\n") != std::string::npos) Fail(lines.size(), "stray CR or LF");
    lines.push_back(line);
    pos = cr + 2;
  }
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  size_t pos = 0;
  for (;;) {
    const size_t c = line.find(',', pos);
    f.push_back(line.substr(pos, c == std::string::npos ? std::string::npos : c - pos));
    if (c == std::string::npos) return f;
    pos = c + 1;
  }
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

int64_t Integer(const std::string& s, size_t line, size_t maxDigits, const char* what) {
  if (!AllDigits(s) || s.size() > maxDigits)
    Fail(line, std::string("bad ") + what + ": '" + s + "'");
  return std::stoll(s);
}

double Real(const std::string& s, size_t line, const char* what) {
  size_t used = 0;
  double v = 0;
  try {
    v = std::stod(s, &used);
  } catch (...) {
    used = 0;
  }
  if (s.empty() || used != s.size()) Fail(line, std::string("bad ") + what + ": '" + s + "'");
  return v;
}

void Ascii(const std::string& s, size_t line, size_t maxLength, const char* what) {
  if (s.size() > maxLength) Fail(line, std::string(what) + " longer than allowed");
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
      Fail(line, std::string(what) + " not printable ASCII");
}

// dd/mm/yyyy,hh:mm:ss.ssssss
TDateTime DateTime(const std::string& line, size_t n) {
  const std::vector<std::string> f = Fields(line);
  if (f.size() != 2) Fail(n, "date line needs 2 fields");
  const std::string& d = f[0];
  const std::string& t = f[1];
  if (d.size() != 10 || d[2] != '/' || d[5] != '/') Fail(n, "date not dd/mm/yyyy");
  if (t.size() != 15 || t[2] != ':' || t[5] != ':' || t[8] != '.')
    Fail(n, "time not hh:mm:ss.ssssss");
  TDateTime r;
  r.Day = static_cast<int>(Integer(d.substr(0, 2), n, 2, "day"));
  r.Month = static_cast<int>(Integer(d.substr(3, 2), n, 2, "month"));
  r.Year = static_cast<int>(Integer(d.substr(6, 4), n, 4, "year"));
  r.Hour = static_cast<int>(Integer(t.substr(0, 2), n, 2, "hour"));
  r.Minute = static_cast<int>(Integer(t.substr(3, 2), n, 2, "minute"));
  r.Second = static_cast<int>(Integer(t.substr(6, 2), n, 2, "second"));
  r.Micro = static_cast<int>(Integer(t.substr(9, 6), n, 6, "fraction"));
  if (r.Day < 1 || r.Day > 31 || r.Month < 1 || r.Month > 12 || r.Hour > 23 || r.Minute > 59 ||
      r.Second > 59)
    Fail(n, "date or time out of range");
  return r;
}

}  // namespace

int64_t TDateTime::Us() const {
  // Days from the civil date (proleptic Gregorian).
  const int y = Year - (Month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = int64_t{era} * 146097 + doe - 719468;
  return ((days * 24 + Hour) * 60 + Minute) * 60000000LL + Second * 1000000LL + Micro;
}

TConfig ReadConfig(const std::string& text) {
  const std::vector<std::string> lines = Lines(text);
  TConfig c;
  size_t n = 0;
  auto next = [&]() -> const std::string& {
    if (n >= lines.size()) Fail(n, "file ends too early");
    return lines[n++];
  };
  std::vector<std::string> f = Fields(next());
  if (f.size() != 3) Fail(0, "station line needs 3 fields");
  c.Station = f[0];
  c.Device = f[1];
  Ascii(c.Station, 0, 64, "station_name");
  Ascii(c.Device, 0, 64, "rec_dev_id");
  c.RevYear = static_cast<int>(Integer(f[2], 0, 4, "rev_year"));
  if (c.RevYear != 1999) Fail(0, "rev_year is not 1999");

  f = Fields(next());
  if (f.size() != 3) Fail(1, "channel count line needs 3 fields");
  c.Total = static_cast<int>(Integer(f[0], 1, 7, "TT"));
  if (f[1].size() < 2 || f[1].back() != 'A') Fail(1, "##A field");
  if (f[2].size() < 2 || f[2].back() != 'D') Fail(1, "##D field");
  c.Analog = static_cast<int>(Integer(f[1].substr(0, f[1].size() - 1), 1, 6, "##A"));
  c.Digital = static_cast<int>(Integer(f[2].substr(0, f[2].size() - 1), 1, 6, "##D"));
  if (c.Total != c.Analog + c.Digital) Fail(1, "TT is not ##A + ##D");
  if (c.Analog != 0) Fail(1, "analog channels are not expected here");

  for (int i = 1; i <= c.Digital; ++i) {
    const size_t at = n;
    f = Fields(next());
    if (f.size() != 5) Fail(at, "digital channel line needs 5 fields");
    TChannel ch;
    ch.Index = static_cast<int>(Integer(f[0], at, 6, "Dn"));
    if (ch.Index != i) Fail(at, "channels not numbered in order");
    ch.Id = f[1];
    ch.Phase = f[2];
    ch.Ccbm = f[3];
    Ascii(ch.Id, at, 64, "ch_id");
    Ascii(ch.Phase, at, 2, "ph");
    Ascii(ch.Ccbm, at, 64, "ccbm");
    ch.Normal = static_cast<int>(Integer(f[4], at, 1, "y"));
    if (ch.Normal > 1) Fail(at, "y is not 0 or 1");
    c.Channels.push_back(ch);
  }
  size_t at = n;
  c.LineFrequency = Real(next(), at, "lf");
  at = n;
  c.Rates = static_cast<int>(Integer(next(), at, 3, "nrates"));
  for (int i = 0; i < (c.Rates == 0 ? 1 : c.Rates); ++i) {
    at = n;
    f = Fields(next());
    if (f.size() != 2) Fail(at, "sample rate line needs 2 fields");
    c.SampleRates.emplace_back(Real(f[0], at, "samp"), Integer(f[1], at, 10, "endsamp"));
  }
  if (c.Rates == 0 && c.SampleRates[0].first != 0) Fail(at, "samp must be 0 with nrates 0");
  at = n;
  c.Start = DateTime(next(), at);
  at = n;
  c.Trigger = DateTime(next(), at);
  at = n;
  c.FileType = next();
  if (c.FileType != "ASCII" && c.FileType != "BINARY") Fail(at, "ft is not ASCII or BINARY");
  at = n;
  c.TimeMult = Real(next(), at, "timemult");
  if (!(c.TimeMult > 0)) Fail(at, "timemult not positive");
  if (n != lines.size()) Fail(n, "lines after timemult");
  return c;
}

std::vector<TSample> ReadData(const std::string& text, const TConfig& cfg) {
  const std::vector<std::string> lines = Lines(text);
  std::vector<TSample> out;
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::vector<std::string> f = Fields(lines[n]);
    if (f.size() != static_cast<size_t>(2 + cfg.Analog + cfg.Digital))
      Fail(n, "wrong field count " + std::to_string(f.size()));
    TSample s;
    s.Number = Integer(f[0], n, 10, "sample number");
    if (s.Number != static_cast<int64_t>(n) + 1) Fail(n, "samples not numbered in order");
    // With no fixed rate the timestamp is critical: it must be there.
    if (f[1].empty()) Fail(n, "timestamp missing");
    s.Timestamp = Integer(f[1], n, 10, "timestamp");
    if (!out.empty() && s.Timestamp < out.back().Timestamp) Fail(n, "timestamp goes back");
    for (int d = 0; d < cfg.Digital; ++d) {
      const std::string& v = f[static_cast<size_t>(2 + cfg.Analog + d)];
      if (v != "0" && v != "1") Fail(n, "digital value not 0 or 1");
      s.Digital.push_back(v == "1" ? 1 : 0);
    }
    out.push_back(std::move(s));
  }
  int64_t last = 0;
  for (const auto& r : cfg.SampleRates) last = r.second;
  if (static_cast<int64_t>(out.size()) != last) Fail(lines.size(), "sample count is not endsamp");
  return out;
}

}  // namespace ctr

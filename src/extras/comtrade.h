// COMTRADE export of a sequence (IEEE C37.111-1999, ASCII data file): the route of the
// sequence as digital status channels sampled at every change (no fixed sampling rate,
// the timestamps carry the time).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGraphModel;
class TEvLister;
class TKiv;

struct TComtradeChannel {
  std::string Id;      // ch_id as written (ASCII, no commas, at most 64 characters)
  uint8_t Normal = 0;  // y: the normal state
};

struct TComtradeRecord {
  std::string StationName;  // station_name (made ASCII, no commas, at most 64 characters)
  std::string RecDevId;     // rec_dev_id
  int LineFrequency = 50;
  double TriggerDays = 0.0;  // day count of the trigger point
  // Microseconds from the trigger to the first sample (0 or less), so both date lines
  // round alike and differ by exactly this.
  int64_t StartOffsetUs = 0;
  std::vector<TComtradeChannel> Channels;
  // Microseconds from the first sample, ascending and distinct, the first 0.
  std::vector<int64_t> TimesUs;
  // Samples[i][c]: channel c at TimesUs[i], 0 or 1.
  std::vector<std::vector<uint8_t>> Samples;
};

// The largest value the timestamp field holds (ten digits).
constexpr int64_t kComtradeMaxTimestamp = 9999999999LL;

// A text made fit for a .cfg field: letters with diacritics lose them, other characters
// outside printable ASCII become "_", a comma becomes "." (commas separate the fields),
// blanks at the ends go, and at most maxLength characters stay.
std::string ComtradeText(const std::string& text, size_t maxLength = 64);

// "dd/mm/yyyy,hh:mm:ss.ssssss" of a day count rounded to the microsecond, plus addUs.
std::string ComtradeDateTime(double days, int64_t addUs = 0);

// The smallest power of ten that brings the last timestamp into the ten-digit field.
int64_t ComtradeTimeMult(int64_t lastUs);

// The digital channels of the drawn route in graph: a switch position gives three channels
// (closed; ambiguous, the contacts disagreeing; unknown, before any switchgear state), a voltage
// range one per range state (V<Vlt .. V>Vr), any other series one channel (ON). Graph x is seconds
// from originDays, the sequence start, which is also the trigger; the first sample is the earliest
// point of any series.
TComtradeRecord RouteToComtrade(const TGraphModel& graph, double originDays);

// Sequence n of the lister (built, its device set): selects it, so the lister's graph
// holds its route, and fills the record with station and identification of the device.
// False when there is no such sequence or its route draws nothing.
bool SequenceToComtrade(TEvLister& lister, TGraphModel& graph, uint16_t n, TComtradeRecord& rec);

// The time origin of the route of sequence n: its start (earliest event) on the clock the
// sequence header shows, to the millisecond.
double RouteOriginDays(TEvLister& lister, uint16_t n);

struct TComtradeFiles {
  std::string Cfg;
  std::string Dat;
};

// Both files' contents, lines ending in CR LF.
TComtradeFiles FormatComtrade(const TComtradeRecord& rec);

// Writes dir/base.dat and dir/base.cfg together (WriteFilesTogether: a failure while
// writing changes neither); false with error set when they cannot be written.
bool SaveComtrade(const TComtradeRecord& rec, const std::string& dir, const std::string& base,
                  std::string& error);

// A reader of COMTRADE files (IEEE C37.111-1999, ASCII data) for the tests, written from
// the standard's file descriptions: it accepts exactly the line and field layout the
// standard gives and reports the first departure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ctr {

struct TChannel {
  int Index = 0;
  std::string Id, Phase, Ccbm;
  int Normal = 0;
};

struct TDateTime {
  int Day = 0, Month = 0, Year = 0, Hour = 0, Minute = 0, Second = 0, Micro = 0;
  // Microseconds since 1970-01-01, for differences.
  int64_t Us() const;
};

struct TConfig {
  std::string Station, Device;
  int RevYear = 0;
  int Total = 0, Analog = 0, Digital = 0;
  std::vector<TChannel> Channels;
  double LineFrequency = 0;
  int Rates = 0;
  std::vector<std::pair<double, int64_t>> SampleRates;  // samp, endsamp
  TDateTime Start, Trigger;
  std::string FileType;
  double TimeMult = 0;
};

struct TSample {
  int64_t Number = 0;
  int64_t Timestamp = 0;
  std::vector<int> Digital;
};

// Both throw std::runtime_error naming the line and what is wrong with it.
TConfig ReadConfig(const std::string& text);
std::vector<TSample> ReadData(const std::string& text, const TConfig& cfg);

}  // namespace ctr

// Building events buffers in chronological order and catching what the lister writes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "kivbase.h"
#include "linesink.h"
#include "listersinks.h"

namespace evtest {

// Records in the order they happened; the buffer holds them newest first.
class TEventBuffer {
 public:
  TEventBuffer& Clock(int year2, int month, int day, int hour, int minute) {
    recs_.push_back({0xF3, static_cast<uint8_t>(minute), static_cast<uint8_t>(hour),
                     static_cast<uint8_t>(day), static_cast<uint8_t>(month),
                     static_cast<uint8_t>(year2)});
    return *this;
  }
  // A record with its delay in 2.5 ms ticks and the bytes after the delay.
  TEventBuffer& Event(uint8_t code, int ticks, std::initializer_list<uint8_t> data = {}) {
    std::vector<uint8_t> r = {code, static_cast<uint8_t>(ticks >> 8),
                              static_cast<uint8_t>(ticks & 0xFF)};
    r.insert(r.end(), data.begin(), data.end());
    recs_.push_back(r);
    return *this;
  }
  // A switchgear state (16 bytes); state bytes given as {index, value} pairs.
  TEventBuffer& Switchgear(int ticks, std::initializer_list<std::pair<int, uint8_t>> bytes = {}) {
    std::vector<uint8_t> r(16, 0);
    r[0] = 0xFB;
    r[1] = static_cast<uint8_t>(ticks >> 8);
    r[2] = static_cast<uint8_t>(ticks & 0xFF);
    for (auto [i, v] : bytes) r[static_cast<size_t>(i)] = v;
    recs_.push_back(r);
    return *this;
  }
  TEventBuffer& Raw(std::initializer_list<uint8_t> bytes) {
    recs_.emplace_back(bytes);
    return *this;
  }
  // Newest first, then the end marker unless told otherwise.
  std::vector<uint8_t> Bytes(bool endMarker = true) const {
    std::vector<uint8_t> out;
    for (auto it = recs_.rbegin(); it != recs_.rend(); ++it)
      out.insert(out.end(), it->begin(), it->end());
    if (endMarker) {
      out.push_back(0xF0);
      out.push_back(0x7F);
    }
    return out;
  }

 private:
  std::vector<std::vector<uint8_t>> recs_;
};

inline void LoadBuffer(TKiv& kiv, const std::vector<uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), kiv.EventBuffer());
  kiv.SetEventBufferLength(static_cast<uint16_t>(bytes.size()));
}

// A device of the type with the given read options and no time corrections unless set.
inline void SetupDevice(TKiv& kiv, TKivType type, bool correct = false, bool showAll = false) {
  kiv.SetKivType(type);
  kiv.Defs.DiCorrection = 0;
  kiv.Defs.DoCorrection = 0;
  kiv.Defs.AiCorrection = 0;
  kiv.Defs.ImplementsSysLogick = false;
  TReadOptions o = kiv.GetReadOptions();
  o.CorrectIOTimes = correct ? 1 : 0;
  o.ShowAllEvents = showAll ? 1 : 0;
  kiv.SetReadOptions(o);
}

}  // namespace evtest

// Pieces shared by the decoders of both device types; not part of the library's interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoders.h"

namespace kivdecode {

// A byte of the record, 0 where the record is too short to hold it.
inline uint8_t ByteAt(const uint8_t* rec, int len, int index) {
  return rec != nullptr && index >= 0 && index < len ? rec[index] : 0;
}

inline bool BitAt(const uint8_t* rec, int len, int index, int bit) {
  return (ByteAt(rec, len, index) >> bit) & 1;
}

// One detail line of a switchgear state: the text for the bit's value, or, for
// kPairBits, the switch state of bits 2 and 3 after the prefix in text0.
constexpr int kPairBits = -1;
struct TStateBitRow {
  int byte;
  int bit;
  const char* text0;
  const char* text1;
  bool sysLog;  // only with ImplementsSysLogick
};

// One detail line of a blocking state, written when its bit is set.
struct TBlockingBitRow {
  int byte;
  int bit;
  const char* text;
};

void EmitSwitchgearState(const TStateBitRow* rows, size_t count, const uint8_t* rec, int len,
                         const TDecodeContext& ctx, ILineSink& sink);
void EmitBlockingState(const TBlockingBitRow* rows, size_t count, const uint8_t* rec, int len,
                       const TDecodeContext& ctx, ILineSink& sink);

}  // namespace kivdecode

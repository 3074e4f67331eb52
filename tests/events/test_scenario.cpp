#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoders.h"
#include "eventtables.h"
#include "kivbase.h"
#include "kivdate.h"
#include "scenario.h"

namespace {

struct TWalk {
  std::vector<std::vector<uint8_t>> records;  // buffer order, jump records left out
  bool endMarker = false;
  int markerAt = -1;
  int jumps = 0;
};

// Walks the buffer record by record and fails on anything a device would not write.
TWalk Walk(const TKiv& kiv, int capacity = kivimg::kEventBufferCapacity) {
  TWalk w;
  const uint8_t* buf = kiv.EventBuffer();
  int n = kiv.EventBufferLength();
  const TEventDefTable& table = kiv.GetKivType() == kivtKivs2 ? Kivs2EventDefs() : Kivs3EventDefs();
  int p = 0;
  while (p < n) {
    const uint8_t* def = table.data() + buf[p] * kEventDefSize;
    EXPECT_NE(def[kEvDefLength], 0) << "undefined code at " << p;
    if (def[kEvDefLength] == 0) break;
    if (def[kEvDefKind] == 5) {
      if (buf[p + 1] == kEndMarkerCount) {
        w.endMarker = true;
        w.markerAt = p;
        EXPECT_GE(n - p, 4) << "no erased bytes after the end marker";
        for (int i = p + 2; i < n; ++i) EXPECT_EQ(buf[i], 0xFF);
        EXPECT_TRUE(n % 250 == 0 || n == capacity);
        break;
      }
      ++w.jumps;
      p += buf[p + 1] + 2;
      continue;
    }
    EXPECT_LE(p + def[kEvDefLength], n);
    w.records.emplace_back(buf + p, buf + p + def[kEvDefLength]);
    p += def[kEvDefLength];
  }
  return w;
}

double ClockTime(const std::vector<uint8_t>& r) {
  double day = 0, time = 0;
  EXPECT_TRUE(TryEncodeDate(2000 + r[5], r[4], r[3], day));
  EXPECT_TRUE(TryEncodeTime(r[2], r[1], 0, 0, time));
  return day + time;
}

TEST(Scenario, BuffersAreWellFormedForBothTypes) {
  for (TKivType type : {kivtKivs2, kivtKivs3}) {
    for (uint32_t seed : {1u, 7u, 12345u}) {
      SCOPED_TRACE("type " + std::to_string(type) + " seed " + std::to_string(seed));
      TKiv kiv;
      TScenarioResult r = GenerateScenario(kiv, type, seed, 12);
      EXPECT_EQ(kiv.GetKivType(), type);
      EXPECT_EQ(kiv.Identification()[1], type == kivtKivs2 ? '2' : '3');
      EXPECT_EQ(r.Sequences, 12);
      EXPECT_EQ(r.Bytes, kiv.EventBufferLength());
      EXPECT_TRUE(kiv.EndMarkerFound(kiv.EventBuffer(), kiv.EventBufferLength()));

      TWalk w = Walk(kiv);
      EXPECT_TRUE(w.endMarker);
      EXPECT_EQ(w.jumps, 1);
      EXPECT_EQ(static_cast<int>(w.records.size()), r.Events);
      // Newest first: clock-time events go back in time along the buffer, and each
      // sequence opens (chronologically) with a switchgear state, after a restart or not.
      int clocks = 0;
      double later = 1e9;
      for (size_t i = 0; i < w.records.size(); ++i) {
        if (w.records[i][0] != 0xF3) continue;
        ++clocks;
        double t = ClockTime(w.records[i]);
        EXPECT_LT(t, later);
        later = t;
        ASSERT_GE(i, 1u);
        const std::vector<uint8_t>& next = w.records[i - 1];
        if (next[0] == 0xF5) {
          ASSERT_GE(i, 2u);
          EXPECT_EQ(w.records[i - 2][0], 0xFB);
        } else {
          EXPECT_EQ(next[0], 0xFB);
        }
      }
      EXPECT_EQ(clocks, 12);
      // The oldest sequence starts with a restart; the tail before it has no clock event.
      ASSERT_FALSE(w.records.empty());
      ASSERT_FALSE(w.records.back().empty());
      EXPECT_NE(w.records.back()[0], 0xF3);

      // Every record decodes.
      for (const auto& rec : w.records) {
        const uint8_t* def = kiv.EventDefs.data() + rec[0] * kEventDefSize;
        TLineCollector sink;
        TDecodeContext ctx;
        ctx.ShowAllEvents = true;
        DecodeEvent(def[kEvDefKind], rec.data(), static_cast<int>(rec.size()), ctx, sink);
        EXPECT_FALSE(sink.lines.empty());
      }
      const int parsetBytes = kiv.Defs.ZnsSize > 0 ? 2 * kiv.Defs.ZnsSize : 224;
      EXPECT_EQ(kiv.Zestaw1Length(), parsetBytes);
      EXPECT_EQ(kiv.Zestaw2Length(), parsetBytes);
      EXPECT_NE(std::memcmp(kiv.Zestaw1(), kiv.Zestaw2(), parsetBytes), 0);
      EXPECT_GT(kiv.EventsReadDate(), later);
    }
  }
}

TEST(Scenario, SameSeedSameBytesAndCapacityKept) {
  TKiv a, b, c;
  GenerateScenario(a, kivtKivs3, 99, 0);
  GenerateScenario(b, kivtKivs3, 99, 0);
  GenerateScenario(c, kivtKivs3, 100, 0);
  ASSERT_EQ(a.ImageSize(), b.ImageSize());
  EXPECT_EQ(std::memcmp(a.EventBuffer(), b.EventBuffer(), kivimg::kEventBufferCapacity), 0);
  EXPECT_EQ(std::memcmp(a.Zestaw1(), b.Zestaw1(), kivimg::kZestawCapacity), 0);
  EXPECT_NE(std::memcmp(a.EventBuffer(), c.EventBuffer(), kivimg::kEventBufferCapacity), 0);
  // Filling leaves less room than one more sequence would need.
  EXPECT_LE(a.EventBufferLength(), kivimg::kEventBufferCapacity);
  EXPECT_GT(Walk(a).markerAt, static_cast<int>(kivimg::kEventBufferCapacity) - 400);

  TScenarioOptions small;
  small.MaxBytes = 10240;
  small.JumpRecord = false;
  small.OrphanTail = false;
  TKiv d;
  TScenarioResult r = GenerateScenario(d, kivtKivs2, 5, 1000, small);
  EXPECT_LE(r.Bytes, 10240u);
  EXPECT_GT(r.Bytes, 10240u - 400);
  EXPECT_LT(r.Sequences, 1000);
  TWalk w = Walk(d, 10240);
  EXPECT_GT(w.markerAt, 10240 - 400);
  EXPECT_EQ(w.jumps, 0);
  ASSERT_FALSE(w.records.empty());
  ASSERT_FALSE(w.records.back().empty());
  EXPECT_EQ(w.records.back()[0], 0xF3);  // no tail: the oldest record opens a sequence

  TKiv e;
  EXPECT_EQ(GenerateScenario(e, kivtUnknown, 1, 3).Sequences, 0);
  EXPECT_EQ(e.EventBufferLength(), 0);
}

// A switch position the generator writes into a switchgear state agrees with the breaker's
// contact events around it: the state shows where the last contact event left the breaker,
// and the first contact event after a state moves the breaker away from that position.
TEST(Scenario, SwitchgearPositionsAgreeWithTheBreakerEvents) {
  struct TSwitchByte {
    int byte;
    uint8_t closeCode;  // the close contact's "turn up": its route signal is the switch
  };
  const TSwitchByte switches[] = {{13, 0x24}, {12, 0x34}, {11, 0x44}};
  for (TKivType type : {kivtKivs2, kivtKivs3}) {
    const TEventDefTable& defs = type == kivtKivs2 ? Kivs2EventDefs() : Kivs3EventDefs();
    auto def = [&defs](uint8_t code) { return defs.data() + code * kEventDefSize; };
    for (uint32_t seed : {1u, 7u, 99u, 12345u}) {
      SCOPED_TRACE("type " + std::to_string(type) + " seed " + std::to_string(seed));
      TKiv kiv;
      GenerateScenario(kiv, type, seed, 0);
      const TWalk w = Walk(kiv);
      int checkedStates = 0, checkedMoves = 0;
      for (const TSwitchByte& sw : switches) {
        const int signal = def(sw.closeCode)[kEvDefSignal];
        if (def(sw.closeCode)[kEvDefLength] == 0 || signal == 0) continue;
        int position = -1;        // unknown until a state or a contact event says
        bool afterState = false;  // the last word on the position came from a state
        for (auto it = w.records.rbegin(); it != w.records.rend(); ++it) {  // oldest first
          const std::vector<uint8_t>& r = *it;
          if (r[0] == kCodeSwitchgearState) {
            ASSERT_EQ(r.size(), 16u);
            const int shown = SwitchPairState(r[sw.byte]);
            EXPECT_NE(shown, 2) << "ambiguous switch in byte " << sw.byte;
            if (position >= 0 && !afterState) {
              EXPECT_EQ(shown, position) << "state in byte " << sw.byte;
              ++checkedStates;
            }
            position = shown;
            afterState = true;
          } else if (def(r[0])[kEvDefSignal] == signal) {
            const int value = def(r[0])[kEvDefValue];
            if (afterState) {
              EXPECT_NE(value, position) << "code " << int(r[0]) << " repeats the state";
              ++checkedMoves;
            }
            position = value;
            afterState = false;
          }
        }
      }
      EXPECT_GT(checkedStates, 0);
      EXPECT_GT(checkedMoves, 0);
    }
  }
}

}  // namespace

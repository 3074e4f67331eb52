#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "eventtables.h"
#include "route.h"

namespace {

struct TRow {
  int code, length, kind, shown, group, signal, value;
  std::string name;
};

const uint8_t* Rec(const TEventDefTable& t, int code) {
  return t.data() + code * kEventDefSize;
}

std::string Name(const TEventDefTable& t, int code) {
  const uint8_t* r = Rec(t, code);
  return std::string(reinterpret_cast<const char*>(r + kEvDefName + 1), r[kEvDefName]);
}

void ExpectRow(const TEventDefTable& t, const TRow& row) {
  SCOPED_TRACE("code " + std::to_string(row.code));
  const uint8_t* r = Rec(t, row.code);
  EXPECT_EQ(r[kEvDefLength], row.length);
  EXPECT_EQ(r[kEvDefKind], row.kind);
  EXPECT_EQ(r[kEvDefShown], row.shown);
  EXPECT_EQ(r[kEvDefGroup], row.group);
  EXPECT_EQ(r[kEvDefSignal], row.signal);
  EXPECT_EQ(r[kEvDefValue], row.value);
  EXPECT_EQ(Name(t, row.code), row.name);
}

int CountDefined(const TEventDefTable& t) {
  int n = 0;
  for (int c = 0; c < kEventDefCount; ++c) n += Rec(t, c)[kEvDefLength] != 0;
  return n;
}

TEST(EventTables, DefinedCodesAndUndefinedRecordsAreZero) {
  EXPECT_EQ(kEventDefsBytes, 40192);
  EXPECT_EQ(CountDefined(Kivs2EventDefs()), 114);
  EXPECT_EQ(CountDefined(Kivs3EventDefs()), 168);
  for (const TEventDefTable* t : {&Kivs2EventDefs(), &Kivs3EventDefs()}) {
    for (int c = 0; c < kEventDefCount; ++c) {
      const uint8_t* r = Rec(*t, c);
      if (r[kEvDefLength] != 0) continue;
      for (int i = 0; i < kEventDefSize; ++i) ASSERT_EQ(r[i], 0) << "code " << c << " byte " << i;
    }
  }
  // Codes with gaps around them: a shifted row would show up here.
  EXPECT_EQ(Rec(Kivs2EventDefs(), 0x02)[kEvDefLength], 0);
  EXPECT_EQ(Rec(Kivs2EventDefs(), 0xFC)[kEvDefLength], 0);
  EXPECT_EQ(Rec(Kivs2EventDefs(), 0xE7)[kEvDefLength], 0);
  EXPECT_EQ(Rec(Kivs3EventDefs(), 0x62)[kEvDefLength], 0);
  EXPECT_EQ(Rec(Kivs3EventDefs(), 0xFF)[kEvDefLength], 0);
  EXPECT_EQ(Rec(Kivs3EventDefs(), 0xFC)[kEvDefLength], 4);
}

TEST(EventTables, HiddenEventsAndCorrectionGroups) {
  auto count = [](const TEventDefTable& t, int offset, int value) {
    int n = 0;
    for (int c = 0; c < kEventDefCount; ++c)
      n += Rec(t, c)[kEvDefLength] != 0 && Rec(t, c)[offset] == value;
    return n;
  };
  EXPECT_EQ(count(Kivs2EventDefs(), kEvDefShown, 0), 8);
  EXPECT_EQ(count(Kivs3EventDefs(), kEvDefShown, 0), 16);
  EXPECT_EQ(count(Kivs2EventDefs(), kEvDefGroup, 1), 42);
  EXPECT_EQ(count(Kivs2EventDefs(), kEvDefGroup, 2), 20);
  EXPECT_EQ(count(Kivs3EventDefs(), kEvDefGroup, 1), 60);
  EXPECT_EQ(count(Kivs3EventDefs(), kEvDefGroup, 2), 38);
  EXPECT_EQ(count(Kivs2EventDefs(), kEvDefKind, 6), 27);
  EXPECT_EQ(count(Kivs3EventDefs(), kEvDefKind, 3), 25);
}

TEST(EventTables, FixedCodesOfBothTypes) {
  const TRow kivs2[] = {
      {0xF0, 2, 5, 0, 0, 0, 0, "Jump in buffer"},
      {0xF3, 6, 4, 1, 0, 0, 0, "EVENT CLOCK-TIME"},
      {0xF5, 5, 7, 1, 0, 0, 0, "RESTART"},
      {0xF6, 9, 9, 1, 3, 0, 0, "VOLTAGES STATE"},
      {0xF7, 10, 10, 0, 3, 0, 0, "BLOCKING of SYNCHRONIC SWITCHES STATE"},
      {0xFB, 16, 11, 1, 0, 0, 0, "SWITCHGEAR STATE"},
  };
  const TRow kivs3[] = {
      {0xF0, 2, 5, 0, 0, 0, 0, "Jump in buffer"},
      {0xF3, 6, 4, 1, 0, 0, 0, "EVENT CLOCK-TIME"},
      {0xF5, 5, 8, 1, 0, 0, 0, "RESTART"},
      {0xF6, 9, 14, 1, 3, 0, 0, "VOLTAGES STATE"},
      {0xF7, 10, 15, 0, 3, 0, 0, "BLOCKING of SYNCHRONIC SWITCHES STATE"},
      {0xFB, 16, 16, 1, 0, 0, 0, "SWITCHGEAR STATE"},
      {0xFC, 4, 6, 1, 0, 0, 0, "COMMAND FOR SERIAL PORT"},
      {0xFD, 10, 18, 1, 0, 0, 0, "CLOCK-TIME CHANGE"},
      {0xFE, 4, 19, 1, 0, 0, 0, "Keyboard command:"},
  };
  for (const TRow& r : kivs2) ExpectRow(Kivs2EventDefs(), r);
  for (const TRow& r : kivs3) ExpectRow(Kivs3EventDefs(), r);
}

TEST(EventTables, NamesKeepQuotesTyposAndBlanks) {
  const TRow kivs2[] = {
      {0x00, 3, 1, 1, 1, 74, 1, "Auxiliary voltage back(A9-A10)"},
      {0x05, 3, 1, 1, 1, 75, 0, "Sa key turn off (B1-B2)"},
      {0x26, 3, 1, 1, 1, 64, 0, "Signal CBM open (C2) turn up"},
      {0x4E, 3, 1, 0, 0, 91, 1, "VP2 exceeded value on CBB above 2.4V"},
      {0x50, 3, 6, 1, 0, 102, 1, "\"SA SYS\" Key turn on"},
      {0x6E, 3, 6, 1, 0, 0, 0, "Control from local keyboard: set free ESC (off-automatic request)"},
      {0x71, 3, 6, 1, 0, 166, 1, "Primary system command: \"Turn on with permission CBM"},
      {0xA6, 3, 1, 1, 2, 98, 1, "Beginning impulse \"load-shadding\"(F7-F8)"},
      {0xC2, 3, 1, 1, 2, 100, 1, "Beginning turn on impulse CBR track with break ((D7)"},
      {0xD0, 3, 6, 1, 0, 114, 1, "\"SA LOG\" key turn on"},
      {0xD1, 3, 1, 1, 0, 114, 0, "\"SA LOG\" key turn off"},
      {0xEA, 3, 1, 1, 0, 123, 1, "Signal \"EXT. INIT. AS CBR>CBM LOG\" turn up"},
      {0xEB, 3, 1, 1, 0, 123, 0, "Signal \"EXT. INIT. AS CBR>CBM (LOG)\" fading"},
  };
  const TRow kivs3[] = {
      {0x00, 3, 1, 1, 1, 10, 1, "Auxiliary voltage return (A11-A12)"},
      {0x1E, 3, 1, 0, 1, 0, 0, "VP2 exceeded value +22V"},
      {0x3A, 3, 1, 1, 1, 28, 1, "External signal turn off CBR turn up(D8)"},
      {0x4F, 3, 1, 0, 0, 33, 0, "VP2 reduced value on CBA below 2.4V"},
      {0x6E, 3, 1, 1, 0, 0, 0, "Control from local keyboard: set free ESC(off-automatic request)"},
      {0x71, 3, 6, 1, 0, 153, 1, "Primary system command: \"Turn on with permission CBA \""},
      {0x74, 3, 6, 1, 0, 156, 1, "Primary system command :\"Turn on without permission CA\""},
      {0x77, 3, 6, 1, 0, 159, 1, "Primary system command:\"Turn off CBA"},
      {0x81, 3, 1, 1, 2, 34, 0, "Relay turn off V<t section B st. 2  (F9-F10)"},
      {0xA5, 3, 1, 1, 2, 40, 0, "Finish turn off impule CBA (D4)"},
      {0xC4, 3, 1, 1, 2, 50, 1, "Beginning turn off impulse CBB  (D12)"},
      {0xD3, 3, 3, 1, 0, 140, 0, "Signal \"CHANGE SETTINGS SYS\" fading (parset 1 chosen)"},
      {0xD5, 3, 3, 1, 0, 141, 0, "Signal \"PEMISSION ON AS CBA>CBR and CBB>CBR LOG\" fading"},
      {0xE9, 3, 3, 1, 0, 151, 0, "Signal \"EXT. INIT. AS CBA>CBR  or CBA>CBB LOG\" fading"},
  };
  for (const TRow& r : kivs2) ExpectRow(Kivs2EventDefs(), r);
  for (const TRow& r : kivs3) ExpectRow(Kivs3EventDefs(), r);
}

TEST(EventTables, NameLengthsFitTheirField) {
  for (const TEventDefTable* t : {&Kivs2EventDefs(), &Kivs3EventDefs()}) {
    int longest = 0;
    for (int c = 0; c < kEventDefCount; ++c) {
      const uint8_t* r = Rec(*t, c);
      if (r[kEvDefLength] == 0) continue;
      EXPECT_GT(r[kEvDefName], 0) << "code " << c;
      EXPECT_LE(r[kEvDefName], 150) << "code " << c;
      if (r[kEvDefName] > longest) longest = r[kEvDefName];
      // Nothing written beyond the name inside its field.
      for (int i = kEvDefName + 1 + r[kEvDefName]; i < kEvDefShown; ++i) ASSERT_EQ(r[i], 0);
      for (int i = kEvDefName + 1; i < kEvDefName + 1 + r[kEvDefName]; ++i)
        ASSERT_TRUE(r[i] >= 0x20 && r[i] < 0x7F) << "code " << c;
    }
    EXPECT_EQ(longest, 66);
  }
  EXPECT_EQ(Name(Kivs2EventDefs(), 0x6F),
            "Control from local keyboard: off-automatic request (ESC key press)");
  EXPECT_EQ(&Kivs2EventDefs(), &Kivs2EventDefs());  // built once
}

// Invariants that hold for every row of a table: a wrong length, code, kind or route signal
// in any one row breaks one of them, where the sampled rows above would miss it.
std::set<int> DefinedCodes(const TEventDefTable& t) {
  std::set<int> codes;
  for (int c = 0; c < kEventDefCount; ++c)
    if (Rec(t, c)[kEvDefLength] != 0) codes.insert(c);
  return codes;
}

std::set<int> ColumnValues(const TEventDefTable& t, int offset) {
  std::set<int> values;
  for (int c : DefinedCodes(t)) values.insert(Rec(t, c)[offset]);
  return values;
}

bool Names(const std::string& name, const char* part) {
  return name.find(part) != std::string::npos;
}

TEST(EventTables, TheSetOfDefinedCodesOfEachType) {
  const std::set<int> kivs2 = {
      0x00, 0x01, 0x04, 0x05, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12,
      0x13, 0x14, 0x15, 0x16, 0x17, 0x1E, 0x1F, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B,
      0x2E, 0x2F, 0x40, 0x41, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4E, 0x4F, 0x50,
      0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5E, 0x5F, 0x67, 0x69,
      0x6B, 0x6E, 0x6F, 0x71, 0x73, 0x74, 0x76, 0x77, 0x79, 0x80, 0x81, 0x84, 0x85, 0x88, 0x89,
      0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xD0,
      0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDE, 0xDF, 0xE6, 0xE8,
      0xE9, 0xEA, 0xEB, 0xF0, 0xF3, 0xF5, 0xF6, 0xF7, 0xFB};
  const std::set<int> kivs3 = {
      0x00, 0x01, 0x04, 0x05, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11,
      0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1E, 0x1F, 0x20, 0x21,
      0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2E, 0x2F, 0x30, 0x31, 0x34, 0x35,
      0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3E, 0x3F, 0x40, 0x41, 0x44, 0x45, 0x46, 0x47,
      0x48, 0x49, 0x4A, 0x4B, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57,
      0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x61, 0x63, 0x65, 0x67, 0x69,
      0x6B, 0x6E, 0x6F, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x80, 0x81,
      0x84, 0x85, 0x88, 0x89, 0x8C, 0x8D, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
      0xA8, 0xA9, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xC0, 0xC1,
      0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5,
      0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE4,
      0xE6, 0xE8, 0xE9, 0xEA, 0xEB, 0xF0, 0xF3, 0xF5, 0xF6, 0xF7, 0xFB, 0xFC, 0xFD, 0xFE};
  EXPECT_EQ(DefinedCodes(Kivs2EventDefs()), kivs2);
  EXPECT_EQ(DefinedCodes(Kivs3EventDefs()), kivs3);
}

TEST(EventTables, EveryInputOutputEventIsThreeBytesAndMovesNoSnapshotSignal) {
  for (const TEventDefTable* t : {&Kivs2EventDefs(), &Kivs3EventDefs()}) {
    for (int c : DefinedCodes(*t)) {
      const uint8_t* r = Rec(*t, c);
      if (c < kCodeJump) {
        EXPECT_EQ(r[kEvDefLength], 3) << "code " << c;
      } else {
        // The fixed codes feed the route through their own snapshot rules, never as a signal.
        EXPECT_EQ(r[kEvDefSignal], 0) << "code " << c;
        EXPECT_EQ(r[kEvDefValue], 0) << "code " << c;
      }
      EXPECT_LE(r[kEvDefShown], 1) << "code " << c;
      EXPECT_LE(r[kEvDefGroup], 3) << "code " << c;
      EXPECT_LE(r[kEvDefValue], 1) << "code " << c;
    }
  }
}

TEST(EventTables, EachTypeUsesOnlyItsOwnDecodersAndRouteSignals) {
  EXPECT_EQ(ColumnValues(Kivs2EventDefs(), kEvDefKind),
            (std::set<int>{1, kKindClockTime, kKindJump, 6, kKindRestart2, kKindKivs2Voltages,
                           kKindKivs2Blocking, kKindKivs2Switchgear}));
  EXPECT_EQ(ColumnValues(Kivs3EventDefs(), kEvDefKind),
            (std::set<int>{1, kKindSysLogB, kKindClockTime, kKindJump, 6, kKindRestart3,
                           kKindKivs3Voltages, kKindKivs3Blocking, kKindKivs3Switchgear,
                           kKindClockChangeB, 19}));
  for (int c : DefinedCodes(Kivs2EventDefs())) {
    const int s = Rec(Kivs2EventDefs(), c)[kEvDefSignal];
    if (s == 0) continue;
    EXPECT_TRUE(s >= 64 && s <= 171) << "code " << c << " signal " << s;
    EXPECT_NE(RouteSignal(s).Type, rstNone) << "code " << c << " signal " << s;
  }
  for (int c : DefinedCodes(Kivs3EventDefs())) {
    const int s = Rec(Kivs3EventDefs(), c)[kEvDefSignal];
    if (s == 0) continue;
    EXPECT_TRUE((s >= 1 && s <= 61) || (s >= 134 && s <= 161)) << "code " << c << " signal " << s;
    EXPECT_NE(RouteSignal(s).Type, rstNone) << "code " << c << " signal " << s;
  }
}

// A signal moved by one event only is a pulse that goes high. Every other signal's events
// come in pairs of neighbouring codes that set it to opposite values; the "fading" of a
// signal is the code right after its "turn up".
TEST(EventTables, EachRouteSignalsEventsSetOppositeValuesInPairs) {
  for (const TEventDefTable* t : {&Kivs2EventDefs(), &Kivs3EventDefs()}) {
    std::map<int, std::vector<int>> bySignal;
    for (int c : DefinedCodes(*t))
      if (Rec(*t, c)[kEvDefSignal] != 0) bySignal[Rec(*t, c)[kEvDefSignal]].push_back(c);
    for (const auto& [signal, codes] : bySignal) {
      SCOPED_TRACE("signal " + std::to_string(signal));
      if (codes.size() == 1) {
        EXPECT_EQ(Rec(*t, codes[0])[kEvDefValue], 1) << "code " << codes[0];
        EXPECT_FALSE(Names(Name(*t, codes[0]), "fading")) << "code " << codes[0];
        continue;
      }
      ASSERT_EQ(codes.size() % 2, 0u);
      for (size_t i = 0; i < codes.size(); i += 2) {
        const int first = codes[i], second = codes[i + 1];
        EXPECT_EQ(first % 2, 0) << "code " << first;
        EXPECT_EQ(second, first + 1) << "code " << first;
        EXPECT_NE(Rec(*t, first)[kEvDefValue], Rec(*t, second)[kEvDefValue]) << "code " << first;
        const bool fades = Names(Name(*t, second), "fading");
        EXPECT_EQ(Names(Name(*t, first), "turn up"), fades) << "code " << first;
      }
    }
    // Every fading has its turn up.
    for (int c : DefinedCodes(*t)) {
      if (!Names(Name(*t, c), "fading") || Rec(*t, c)[kEvDefSignal] == 0) continue;
      EXPECT_TRUE(Names(Name(*t, c - 1), "turn up")) << "code " << c;
    }
  }
}

}  // namespace

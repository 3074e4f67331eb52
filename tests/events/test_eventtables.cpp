#include <gtest/gtest.h>

#include <string>

#include "eventtables.h"

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
      {0xEA, 3, 1, 1, 0, 123, 0, "Signal \"EXT. INIT. AS CBR>CBM LOG\" turn up"},
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

}  // namespace

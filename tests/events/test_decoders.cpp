#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "decoders.h"
#include "eventtables.h"

namespace {

using TRec = std::vector<uint8_t>;

TDecodeContext Ctx(bool sysLog = false, bool showAll = false, int column = 2, int count = 3) {
  TDecodeContext ctx;
  ctx.EventLine = "1,250 [s] - NAME";
  ctx.Column = column;
  ctx.ColumnCount = count;
  ctx.ImplementsSysLogick = sysLog;
  ctx.ShowAllEvents = showAll;
  return ctx;
}

template <typename F>
TLineCollector Decode(F decoder, const TRec& rec, const TDecodeContext& ctx) {
  TLineCollector sink;
  decoder(rec.data(), static_cast<int>(rec.size()), ctx, sink);
  return sink;
}

TRec Switchgear(uint8_t fill) {
  TRec r(16, fill);
  r[0] = 0xFB;
  r[1] = r[2] = 0;
  return r;
}

TEST(VoltageRange, TextAndCodeAgreeOnEveryLevel) {
  struct {
    uint8_t x, y;
    const char* text;
    uint8_t code;
  } rows[] = {
      {0x0, 0x0, "U<Vlt", 4},      {0x1, 0x1, "Vlt<U<Vl", 5},   {0x3, 0x3, "Vl<U<0.9Vr", 6},
      {0x7, 0x7, "Vl<U<0.9Vr", 6},  // becomes 0xB: bit 2 is the fourth level
      {0xB, 0xB, "0.9Vr<U<Vr", 7},  // becomes 0x7
      {0xF, 0xF, "U>Vr", 8},       {0x2, 0x2, "U<Vlt", 4},       // no level without bit 0
      {0xF0, 0xF0, "U<Vlt", 4},                                  // high bits are not range bits
      {0x31, 0x00, "Vlt<U<Vl", 5}, {0x1, 0xB, "0.9Vr<U<Vr", 7},  // the larger code wins
      {0x8, 0x3, "U<Vlt", 4},  // larger by value (0x4 against 0x3), not by level
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.x) + "," + std::to_string(r.y));
    EXPECT_EQ(VoltageRangeText(r.x, r.y, "U"), r.text);
    EXPECT_EQ(VoltageRangeText(r.y, r.x, "U"), r.text);
    EXPECT_EQ(VoltageRangeCode(r.x, r.y), r.code);
  }
}

TEST(SwitchState, BitPairAndNames) {
  EXPECT_EQ(SwitchPairState(0x00), 2);
  EXPECT_EQ(SwitchPairState(0x0C), 2);
  EXPECT_EQ(SwitchPairState(0x04), 1);
  EXPECT_EQ(SwitchPairState(0x08), 0);
  EXPECT_EQ(SwitchPairState(0xFB), 0);  // other bits do not matter
  EXPECT_EQ(SwitchPairState(0xF7), 1);
  EXPECT_STREQ(StateName(0), "OFF");
  EXPECT_STREQ(StateName(2), "AMBIGUOUS STATE");
  EXPECT_STREQ(StateName(3), "UNKNOWN STATE");
  EXPECT_STREQ(StateName(8), "V>Vr");
  EXPECT_STREQ(StateName(9), "");
  EXPECT_STREQ(StateName(-1), "");
}

TEST(Switchgear, DetailLineCountsWithAndWithoutSysLog) {
  struct {
    void (*decoder)(const uint8_t*, int, const TDecodeContext&, ILineSink&);
    bool sysLog;
    size_t details;
  } rows[] = {
      {DecodeKivs2SwitchgearState, false, 26},
      {DecodeKivs2SwitchgearState, true, 40},
      {DecodeKivs3SwitchgearState, false, 35},
      {DecodeKivs3SwitchgearState, true, 51},
  };
  for (const auto& r : rows) {
    for (uint8_t fill : {0x00, 0xFF, 0x5A}) {
      TLineCollector s = Decode(r.decoder, Switchgear(fill), Ctx(r.sysLog));
      ASSERT_EQ(s.lines.size(), r.details + 1);
      EXPECT_TRUE(s.lines[0].bold);
      for (size_t i = 1; i < s.lines.size(); ++i) EXPECT_FALSE(s.lines[i].bold);
    }
  }
}

TEST(Switchgear, FirstLineByColumn) {
  struct {
    int column, count;
    const char* first;
  } rows[] = {
      {1, 5, "STATR STATUS SWITCHGEAR"},
      {1, 1, "STATR STATUS SWITCHGEAR"},  // first and last at once
      {5, 5, "END STATUS SWITCHGEAR"},
      {3, 5, "1,250 [s] - NAME"},
  };
  for (const auto& r : rows) {
    for (auto decoder : {DecodeKivs2SwitchgearState, DecodeKivs3SwitchgearState}) {
      const TLineCollector s = Decode(decoder, Switchgear(0), Ctx(false, false, r.column, r.count));
      ASSERT_FALSE(s.lines.empty());
      EXPECT_EQ(s.lines[0].text, r.first);
    }
  }
}

TEST(Switchgear, Kivs2LinesInOrder) {
  TRec rec = Switchgear(0);
  rec[15] = 0x01;  // auxiliary voltage
  rec[13] = 0x04;  // CBM on
  rec[11] = 0x08;  // CBR off
  rec[10] = 0x04;
  auto t = Decode(DecodeKivs2SwitchgearState, rec, Ctx(false)).Texts();
  ASSERT_EQ(t.size(), 27u);
  EXPECT_EQ(t[1], "  Auxiliary voltage exists (A9-A10)");
  EXPECT_EQ(t[2], "  SA key open (B1-B2)");
  EXPECT_EQ(t[6], "  Fading transient blocking input(B8)");
  EXPECT_EQ(t[11], "  State CBM -ON");
  EXPECT_EQ(t[14], "  Fading signal change settings - parset 1 chosen");
  EXPECT_EQ(t[15], "  State CBR-OFF");
  EXPECT_EQ(t[18], "  Open relay V<t 2 st. (F5-F6)");
  EXPECT_EQ(t[19], "  Close relay V<t 1 st. (F3-F4)");
  EXPECT_EQ(t[20], "  Not activated signalling PSS or ARS INITIATED");
  EXPECT_EQ(t[26], "  Not activated signalling INCORRECT AS");

  auto all = Decode(DecodeKivs2SwitchgearState, Switchgear(0), Ctx(true)).Texts();
  ASSERT_EQ(all.size(), 41u);
  EXPECT_EQ(all[2], "  SA SYS key open");
  EXPECT_EQ(all[12], "  SA LOG Key open");
  EXPECT_EQ(all[13], "  State CBM -AMBIGUOUS STATE");
  EXPECT_EQ(all[17], "  Unaktive signal PERMISSION ON ARS LOG");
  EXPECT_EQ(all[26], "  Open  relay V<t 1 st. (F3-F4)");  // the device's doubled blank
  EXPECT_EQ(all[40], "  Unactive signal TRANSIENT BLOCKING LOG");
  auto ones = Decode(DecodeKivs2SwitchgearState, Switchgear(0xFF), Ctx(true)).Texts();
  EXPECT_EQ(ones[40], "  Active signal TRANSIENT BLOCKING LOG");
  EXPECT_EQ(ones[20], "  Aktive signal CHANGE SETTINGS LOG(parset 2 chosen)");
}

TEST(Switchgear, Kivs3LinesInOrder) {
  TRec rec = Switchgear(0);
  rec[13] = 0x04 | 0x40;  // CBA on; bit 6 reads "Fading" when set
  rec[12] = 0x08;         // CBR off
  rec[11] = 0x0C;         // CBB ambiguous; bit 0 clear reads "exists"
  auto t = Decode(DecodeKivs3SwitchgearState, rec, Ctx(true)).Texts();
  ASSERT_EQ(t.size(), 52u);
  EXPECT_EQ(t[3], "  Key open SA (B1-B2)");
  EXPECT_EQ(t[14], "  Fading signal transient blocking input section B LOG");
  EXPECT_EQ(t[17], "  CBA-ON");
  EXPECT_EQ(t[20], "  Fading signal PERMISSION ON AS CBA>CBR and CBB>CBR SYS");
  EXPECT_EQ(t[23], "  CBR-OFF");
  EXPECT_EQ(t[27], "  Signal external initiating AS CBB>CBR or CBB>CBA (B16) exists");
  EXPECT_EQ(t[29], "  CBB-AMBIGUOUS STATE");
  EXPECT_EQ(t[51], "  Unactive signal PERMANENT BLOCKING S.B LOG");
  auto ones = Decode(DecodeKivs3SwitchgearState, Switchgear(0xFF), Ctx(false)).Texts();
  ASSERT_EQ(ones.size(), 36u);
  EXPECT_EQ(ones[4], "  Signal permission on AS CBA>CBB i CBB>CBA (B6) exists");
  EXPECT_EQ(ones[12], "  Signal initiating PSS CBA>CBB or CBB>CBA (B14)");
  EXPECT_EQ(ones[25], "  Close relay V<t section B 2 st. (F3-F9)");
  EXPECT_EQ(ones[35], "  Activated signalling INCORRECT AS (E5)");
}

// The KIVS-3 switchgear state's detail lines in order: byte, bit, text when the bit is 0,
// text when it is 1, shown only with the SYS/LOG key. A switch row (no text for 0) reads
// bits 2 and 3 and names its switch.
struct TKivs3GearLine {
  int byte, bit;
  const char* off;
  const char* on;
  bool sysLog;
};
const TKivs3GearLine kKivs3GearLines[] = {
    {15, 0, "Missing of auxiliary voltage (A11-A12)", "Auxiliary voltage exists (A11-A12)", false},
    {15, 1, "SA SYS Key open", "SA SYS Key close", true},
    {15, 2, "Key open SA (B1-B2)", "SA Key close (B1-B2)", false},
    {15, 4, "Fading of signal permission on AS CBA>CBR and CBB>CBR(B5)",
     "Signal permission on AS CBA>CBR and CBB>CBR(B5) exists", false},
    {15, 5, "Fading of signal permission on AS  CBA>CBB and CBB>CBA (B6)",
     "Signal permission on AS CBA>CBB i CBB>CBA (B6) exists", false},
    {15, 6, "Fading of signal permission on ARS (B7)", "Signal permission on ARS (B7) exists",
     false},
    {15, 7, "Fading signal transient blocking input section A (B8)",
     "Signal transient blocking input section A (B8) exists", false},
    {14, 0, "Fading signal transient blocking input section B(B9)",
     "Signal transient blocking input section B (B9) exists", false},
    {14, 1, "Fading signal permanent blocking input A (B10)",
     "Signal permanent blocking input section A (B10) exists", false},
    {14, 2, "Fading signal permanent blocking input section B (B11)",
     "Signal permanent blocking input section B (B11) exists", false},
    {14, 3, "Fading signal initiating PSS CBA>CBR or CBR>CBA (B12)",
     "Signal initiating PSS CBA>CBR or CBR>CBA (B12) exists", false},
    {14, 4, "Fading signal initiating PSS CBB>CBR or CBB>CBA (B13)",
     "Signal initiating PSS CBB>CBR or CBB>CBA (B13) exists", false},
    {14, 5, "Fading signal initiating CBA>CBB or CBB>CBA (B14)",
     "Signal initiating PSS CBA>CBB or CBB>CBA (B14)", false},
    {14, 6, "Fading signal transient blocking input section B LOG",
     "signal transient blocking input section B LOG exists", true},
    {13, 0, "Fading signal external initiating AS CBA>CBR or CBA>CBB (B15)",
     "Signal external initiating AS CBA>CBR or CBA>CBB(B15) exists", false},
    {13, 1, "SA LOG Key open", "SA LOG Key close", true},
    {13, 2, nullptr, "CBA", false},
    {13, 4, "Fading signal bay switching CBA (C7-C8)", "Signal bay switching CBA (C7-C8) exists",
     false},
    {13, 5, "Fading external signal turn off CBA (D4)", "External signal turn off CBA (D4) exists",
     false},
    {13, 6, "Signal PERMISSION ON AS CBA>CBR and CBB>CBR SYS exists",
     "Fading signal PERMISSION ON AS CBA>CBR and CBB>CBR SYS", true},
    {12, 0, "Fading signal change settings - parset 1 chosen (B4)",
     "Signal change settings exists - parset 2 chosen (B4)", false},
    {12, 1, "Fading signal PERMISSION ON ARS LOG", "Signal PERMISSION ON ARS LOG exists", true},
    {12, 2, nullptr, "CBR", false},
    {12, 4, "Fading signal bay switching CBR (C9-C10)", "Signal bay switching CBR (C9-C10) exists",
     false},
    {12, 5, "Fading external signal turn off CBR (D8)", "External signal turn off CBR (D8) exists",
     false},
    {12, 6, "Unactive signal PERMISSION ON ARS SYS", "Active signal PERMISSION ON ARS SYS", true},
    {11, 0, "Signal external initiating AS CBB>CBR or CBB>CBA (B16) exists",
     "Fading signal external initiating AS CBB>CBR or CBB>CBA(B16)", false},
    {11, 1, "Unactive signal change settings LOG (parset 1 chosen)",
     "Active signal change settings LOG (parset 2 chosen)", true},
    {11, 2, nullptr, "CBB", false},
    {11, 4, "Fading signal bay switching CBB (C11-C12)",
     "Signal bay switching CBB (C11-C12) exists", false},
    {11, 5, "Fading external signal turn off CBB (D12)",
     "External signal turn off CBB (D12) exists", false},
    {11, 6, "Unactive signal PERMISSION ON AS CBA>CBB and CBB>CBA SYS",
     "Active signal PERMISSION ON AS CBA>CBB and CBB>CBA SYS", true},
    {10, 0, "Open relay V<t section B 2 st. (F9-F10)", "Close relay V<t section B 2 st. (F3-F9)",
     false},
    {10, 1, "Unactive signal TRANSIENT BLOCKING S.B SYS",
     "Active signal TRANSIENT BLOCKING S.B SYS", true},
    {10, 2, "Open relay V<t section B 1 st. (F5-F6)", "Close relay V<t section B 1 st. (F5-F6)",
     false},
    {10, 3, "Unactive signal TRANSIENT BLOCKING S.A SYS",
     "Active signal TRANSIENT BLOCKING S.A SYS", true},
    {10, 4, "Open relay V<t section A 2 st. (F7-F8)", "Close relay V<t section A 2 st. (F7-F8)",
     false},
    {10, 5, "Unactive signal PERMANENT BLOCKING S.B SYS",
     "Active signal PERMANENT BLOCKING S.B SYS", true},
    {10, 6, "Open relay V<t section A 1 st. (F3-F4)", "Close relay V<t section A 1 st. (F3-F4)",
     false},
    {10, 7, "Unactive signal PERMANENT BLOCKING S.A SYS",
     "Active signal PERMANENT BLOCKING S.A SYS", true},
    {9, 0, "Not activated signalling PSS or ARS INITIATED (E8)",
     "Activated signalling PSS or ARS INITIATED (E8)", false},
    {9, 1, "Not activated signalling AS OPERATING (E7)", "Activated signalling AS OPERATING (E7)",
     false},
    {9, 2, "Not activated signalling  OFF-AUTOMATIC (E2)",
     "Activated signalling  OFF-AUTOMATIC (E2)", false},
    {9, 3, "Not activated signalling PERMANENT BLOCKING (E3)",
     "Activated signalling PERMANENT BLOCKING (E3)", false},
    {9, 4, "Not activated signalling TRANSIENT BLOCKING OR NOT READY(E4)",
     "Activated signalling TRANSIENT BLOCKING OR NOT READY(E4)", false},
    {9, 5, "Not activated signalling INCORRECT PSS OR ARS (E6)",
     "Activated signalling INCORRECT PSS OR ARS (E6)", false},
    {9, 6, "Not activated signalling INCORRECT AS (E5)", "Activated signalling INCORRECT AS (E5)",
     false},
    {9, 7, "Unactive signal CHANGE SETTINGS SYS(parset 1 chosen)",
     "Active signal CHANGE SETTINGS SYS(parset 2 chosen)", true},
    {8, 4, "Unactive signal PERMISSION ON AS CBA>CBR and CBB>CBR LOG",
     "Active signal PERMISSION ON AS CBA>CBR and CBB>CBR LOG", true},
    {8, 5, "Unactive signal PERMISSION ON AS CBA>CBB and CBB>CBA LOG",
     "Active signal PERMISSION ON AS CBA>CBB and CBB>CBA LOG", true},
    {7, 4, "Unactive signal PERMANENT BLOCKING S.B LOG", "Active signal PERMANENT BLOCKING S.B LOG",
     true},
};

std::vector<std::string> ExpectedKivs3Gear(const TRec& rec, bool sysLog) {
  std::vector<std::string> lines = {"1,250 [s] - NAME"};
  for (const TKivs3GearLine& l : kKivs3GearLines) {
    if (l.sysLog && !sysLog) continue;
    const uint8_t b = rec[l.byte];
    if (l.off == nullptr) {
      const bool a = b & 0x04, c = b & 0x08;
      lines.push_back(std::string("  ") + l.on + "-" +
                      (a == c ? "AMBIGUOUS STATE"
                       : a    ? "ON"
                              : "OFF"));
    } else {
      lines.push_back(std::string("  ") + ((b >> l.bit) & 1 ? l.on : l.off));
    }
  }
  return lines;
}

// Every line of the list with no bit, every bit, and each single bit of the 13 state bytes
// set: a line out of place, a wrong bit or byte, or a swapped text shows in one of them.
TEST(Switchgear, Kivs3WholeLineListForEveryBit) {
  std::vector<TRec> records = {Switchgear(0x00), Switchgear(0xFF)};
  for (int byte = 3; byte <= 15; ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      TRec r = Switchgear(0x00);
      r[byte] = static_cast<uint8_t>(1 << bit);
      records.push_back(r);
    }
  }
  for (bool sysLog : {false, true}) {
    for (const TRec& r : records) {
      SCOPED_TRACE(::testing::Message() << "sysLog " << sysLog << " bytes 3..15 "
                                        << ::testing::PrintToString(TRec(r.begin() + 3, r.end())));
      EXPECT_EQ(Decode(DecodeKivs3SwitchgearState, r, Ctx(sysLog)).Texts(),
                ExpectedKivs3Gear(r, sysLog));
    }
  }
}

TEST(VoltagesState, BothTypes) {
  //           code  delay     3     4     5     6     7     8
  TRec rec = {0xF6, 0, 10, 0x01, 0x0F, 0x43, 0x40, 0x0B, 0x00};
  auto t2 = Decode(DecodeKivs2VoltagesState, rec, Ctx()).lines;
  ASSERT_EQ(t2.size(), 4u);
  EXPECT_EQ(t2[0], (TListedLine{"1,250 [s] - NAME", true}));
  EXPECT_EQ(t2[1].text, "  Vl<VR<0.9Vr  Vbus>Vr  VM<Vlt");
  EXPECT_FALSE(t2[1].bold);
  EXPECT_EQ(t2[2].text, "  Drop down voltage Vbus more than Vs");
  EXPECT_EQ(t2[3].text, "  Drop down voltage VR more than Vs");

  auto t3 = Decode(DecodeKivs3VoltagesState, rec, Ctx()).Texts();
  ASSERT_EQ(t3.size(), 4u);
  EXPECT_EQ(t3[1], "  VA<Vlt  VbusA>Vr  0.9Vr<VB<Vr  Vl<VbusB<0.9Vr");
  EXPECT_EQ(t3[2], "  Drop down voltage VbusA more than Vs");
  EXPECT_EQ(t3[3], "  Drop down voltage VbusB more than Vs");

  // Another code of the same kind shows no event line; no drop flags, no drop lines.
  TRec other = {0x10, 0, 0, 0, 0, 0, 0, 0, 0x0F};
  auto t4 = Decode(DecodeKivs2VoltagesState, other, Ctx()).lines;
  ASSERT_EQ(t4.size(), 1u);
  EXPECT_EQ(t4[0], (TListedLine{"  VR<Vlt  Vbus<Vlt  VM>Vr", false}));
}

TEST(BlockingState, BitsAndRepeatRule) {
  TRec rec2 = {0xF7, 0, 1, 0, 0, 0, 0, 0x06, 0x02, 0x04};
  EXPECT_EQ(
      Decode(DecodeKivs2BlockingState, rec2, Ctx()).Texts(),
      (std::vector<std::string>{"1,250 [s] - NAME", "  df_Vs-VR<set value", "  df_Vs-VM<set value",
                                "  dfi_Vs-VR<set value", "  dV_Vs-VM<set value"}));
  TRec rec3 = {0xF7, 0, 1, 0, 0, 0, 0, 0x30, 0x10, 0x26};
  EXPECT_EQ(Decode(DecodeKivs3BlockingState, rec3, Ctx()).Texts(),
            (std::vector<std::string>{"1,250 [s] - NAME", "  df_VsB-VA<setting value",
                                      "  df_VsA-VB<setting value", "  dphi_VsB-VA<setting value",
                                      "  dV_VsA-VB<setting value"}));

  TRec same = rec2;
  same[1] = 7;  // another delay: only bytes 3.. count
  TRec differs = rec2;
  differs[4] = 1;
  struct {
    const TRec* previous;
    bool showAll;
    bool listed;
  } rows[] = {
      {nullptr, false, true}, {&same, false, false}, {&same, true, true}, {&differs, false, true}};
  for (const auto& r : rows) {
    TDecodeContext ctx = Ctx(false, r.showAll);
    if (r.previous) {
      ctx.PreviousBlocking = r.previous->data();
      ctx.PreviousBlockingLength = static_cast<int>(r.previous->size());
    }
    EXPECT_EQ(IsRepeatedBlockingState(rec2.data(), 10, ctx), !r.listed);
    EXPECT_EQ(Decode(DecodeKivs2BlockingState, rec2, ctx).lines.empty(), !r.listed);
    EXPECT_EQ(Decode(DecodeKivs3BlockingState, rec2, ctx).lines.empty(), !r.listed);
  }
}

TEST(ClockTimeChange, SourceDateAndTime) {
  struct {
    TRec rec;
    const char* source;
    const char* setting;
  } rows[] = {
      {{0xFD, 0, 0, 1, 5, 4, 3, 2, 1, 24},
       "  Change of time source: link RS0",
       "  New setting: Date: 2024-01-02Time: 03:04:05"},
      {{0xFD, 0, 0, 2, 59, 59, 23, 31, 12, 99},
       "  Change of time source: link RS1",
       "  New setting: Date: 1999-12-31Time: 23:59:59"},
      {{0xFD, 0, 0, 3, 0, 0, 0, 29, 2, 98},
       "  Change of time source: keyboard",
       "  New setting: Date: 1899-12-30Time: 00:00:00"},  // 2098 is no leap year
      {{0xFD, 0, 0, 0, 0, 30, 12, 29, 2, 96},
       "  ?",
       "  New setting: Date: 2096-02-29Time: 12:30:00"},
      {{0xFD, 0, 0, 4, 60, 0, 25, 1, 13, 24},
       "  ?",
       "  New setting: Date: 1899-12-30Time: 00:00:00"},
      {{0xFD, 0, 0, 1, 0, 61, 10, 15, 6, 24},
       "  Change of time source: link RS0",
       "  New setting: Date: 2024-06-15Time: 00:00:00"},
  };
  for (const auto& r : rows) {
    auto s = Decode(DecodeClockTimeChange, r.rec, Ctx());
    ASSERT_EQ(s.lines.size(), 3u);
    EXPECT_EQ(s.lines[0], (TListedLine{"1,250 [s] - NAME", true}));
    EXPECT_EQ(s.lines[1].text, r.source);
    EXPECT_EQ(s.lines[2].text, r.setting);
    EXPECT_FALSE(s.lines[2].bold);
  }
}

TEST(SerialPortCommand, DetailsOnlyWithShowAll) {
  struct {
    uint8_t command;
    std::vector<std::string> details;
  } rows[] = {
      {0x00,
       {"  Serial port commandRS0(broadcast)", "  MSB from data register=0",
        "  Command: \"permanent blocking section A\""}},
      {0xC5, {"  Serial port commandRS1", "  MSB from data register<>0", "  Command: \"unblock\""}},
      {0x05,
       {"  Serial port commandRS0(broadcast)", "  MSB from data register=0",
        "  Command: \"Off-automatic\""}},
      {0x44,
       {"  Serial port commandRS0", "  MSB from data register<>0", "  Command: \"start PSSAB \""}},
      {0x9D,
       {"  Serial port commandRS1(broadcast)", "  MSB from data register=0",
        "  Command: \"SETTINGS - parset 2\""}},
      {0x1F,
       {"  Serial port commandRS0(broadcast)", "  MSB from data register=0",
        "  Command: \"RTC setting\""}},
      {0x06, {"  Serial port commandRS0(broadcast)", "  MSB from data register=0"}},
      {0x7C, {"  Serial port commandRS0", "  MSB from data register<>0"}},
  };
  for (const auto& r : rows) {
    TRec rec = {0xFC, 0, 0, r.command};
    auto quiet = Decode(DecodeSerialPortCommand, rec, Ctx()).Texts();
    EXPECT_EQ(quiet, std::vector<std::string>{"1,250 [s] - NAME"});
    auto all = Decode(DecodeSerialPortCommand, rec, Ctx(false, true)).Texts();
    ASSERT_GE(all.size(), 1u);
    EXPECT_EQ(std::vector<std::string>(all.begin() + 1, all.end()), r.details);
  }
}

TEST(Restart, CauseLine) {
  struct {
    uint8_t hi, lo;
    const char* line;
  } rows[] = {
      {0x00, 0x00, "  [00]h :watchdog of normal running"},
      {0x00, 0x05, "  [05]h :buffer with data from DSP is owerflov"},
      {0x00, 0x09, "  [09]h :end of repair parset 1 "},
      {0x00, 0x1F, "  [1F]h :restart by unit inside error"},
      {0x00, 0x22, "  [22]h :restart by auxiliary voltage return, after short fading "},
      {0x00, 0x32, "  [32]h :restart after save settings \"AS from external turn off impulse\""},
      {0x00, 0x33, "  [33]h :incorrect settings value \" AS from externalturn off impulse\""},
      {0x00, 0x34, "  [34]h :restart by unit inside error"},
      {0x12, 0x34, "  [1234]h :restart by unit inside error"},
  };
  for (const auto& r : rows) {
    TRec rec = {0xF5, 0, 0, r.hi, r.lo};
    auto s = Decode(DecodeRestart, rec, Ctx());
    ASSERT_EQ(s.lines.size(), 2u);
    EXPECT_TRUE(s.lines[0].bold);
    EXPECT_EQ(s.lines[1], (TListedLine{r.line, false}));
  }
}

TEST(DecodeEvent, KindChoosesDecoder) {
  TRec rec = Switchgear(0);  // code 0xFB: the voltages kinds give no event line
  struct {
    uint8_t kind;
    bool sysLog;
    size_t lines;
  } rows[] = {
      {0, false, 1},  {1, false, 1},  {4, false, 1},   {5, false, 1},   {6, false, 1},
      {13, false, 1}, {19, false, 1}, {20, false, 1},  {255, false, 1}, {2, false, 0},
      {3, false, 0},  {2, true, 1},   {3, true, 1},    {7, false, 2},   {8, false, 2},
      {9, false, 1},  {10, false, 1}, {11, false, 27}, {11, true, 41},  {12, false, 3},
      {18, false, 3}, {14, false, 1}, {15, false, 1},  {16, false, 36}, {17, false, 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE("kind " + std::to_string(r.kind));
    TLineCollector sink;
    DecodeEvent(r.kind, rec.data(), 16, Ctx(r.sysLog), sink);
    EXPECT_EQ(sink.lines.size(), r.lines);
  }
}

TEST(DecodeEvent, EveryTableCodeDecodesFromShortAndFullRecords) {
  for (const TEventDefTable* table : {&Kivs2EventDefs(), &Kivs3EventDefs()}) {
    for (int code = 0; code < kEventDefCount; ++code) {
      const uint8_t* def = table->data() + code * kEventDefSize;
      if (def[kEvDefLength] == 0) continue;
      TRec full(def[kEvDefLength], 0);
      full[0] = static_cast<uint8_t>(code);
      TLineCollector a, b;
      DecodeEvent(def[kEvDefKind], full.data(), static_cast<int>(full.size()), Ctx(true, true), a);
      // A record cut to its code byte reads as zeros beyond it.
      DecodeEvent(def[kEvDefKind], full.data(), 1, Ctx(true, true), b);
      EXPECT_EQ(a.lines, b.lines) << "code " << code;
      ASSERT_FALSE(a.lines.empty()) << "code " << code;
      if (code != 0xF6) {
        EXPECT_TRUE(a.lines[0].bold) << "code " << code;
      }
    }
  }
}

}  // namespace

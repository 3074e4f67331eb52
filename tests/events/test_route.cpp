#include <gtest/gtest.h>

#include "evtext.h"
#include "graphmodel.h"
#include "kivdate.h"
#include "lister.h"
#include "lister_fixture.h"
#include "route.h"

using namespace evtest;

namespace {

using Lines = std::vector<std::string>;
using TRec = std::vector<uint8_t>;

struct TRouteSetup {
  TKiv kiv;
  TEvLister lister;
  TGraphModel graph;
  explicit TRouteSetup(TKivType type, bool showAll = false) {
    SetupDevice(kiv, type, false, showAll);
    lister.SetDevice(&kiv);
    lister.SetGraph(&graph);
  }
  Lines Route(const TEventBuffer& b, uint16_t n = 1) {
    LoadBuffer(kiv, b.Bytes());
    lister.BuildSequences();
    lister.SelectSequence(n);
    return GraphSeriesLines(graph);
  }
};

std::string Pt(const char* x, int state) {
  const TGraphPoint p = StepTemplate(state);
  return std::string("  ") + x + "\t" + ColorToHex(p.Color) + "\t" + std::to_string(p.PenStyle) +
         "\t" + std::to_string(p.Thickness);
}

TEST(Route, SignalTableAndStepTemplates) {
  int types[3] = {0, 0, 0};
  int kept = 0;
  for (int s = 0; s <= kLastRouteSignal; ++s) {
    ++types[RouteSignal(s).Type];
    kept += RouteSignal(s).Keep;
  }
  EXPECT_EQ(types[rstNone], 24);
  EXPECT_EQ(types[rstSwitch], 5);
  EXPECT_EQ(types[rstLevels], 143);
  EXPECT_EQ(kept, 12);
  EXPECT_EQ(RouteSignal(3).Type, rstSwitch);
  EXPECT_EQ(RouteSignal(66).Keep, 1);
  EXPECT_STREQ(RouteSignal(66).Name, "Vr ");
  EXPECT_STREQ(RouteSignal(8).Name, "");
  EXPECT_EQ(RouteSignal(8).Type, rstLevels);
  EXPECT_EQ(RouteSignal(62).Type, rstNone);
  EXPECT_STREQ(RouteSignal(90).Name, "Zewnętrzny sygnał wyłączający WR");
  EXPECT_STREQ(RouteSignal(41).Name, "Impulse \"load-shadding section A\"");
  EXPECT_STREQ(RouteSignal(171).Name, "Command from SN: Turn off CBR");
  EXPECT_EQ(RouteSignal(172).Type, rstNone);

  const std::string expected[9] = {"000000\t0\t3", "FF0000\t0\t15", "FFFF00\t0\t15",
                                   "000000\t2\t3", "000000\t0\t3",  "FF0000\t0\t6",
                                   "FFFF00\t0\t9", "008000\t0\t12", "008000\t0\t16"};
  for (int v = 0; v <= 8; ++v) {
    const TGraphPoint p = StepTemplate(v);
    EXPECT_EQ(ColorToHex(p.Color) + "\t" + std::to_string(p.PenStyle) + "\t" +
                  std::to_string(p.Thickness),
              expected[v])
        << v;
  }

  uint8_t block[kRoutePointSize];
  EncodeRoutePoint({1.25, 0x1FB, 7}, block);
  const TRoutePoint back = DecodeRoutePoint(block);
  EXPECT_EQ(back.Time, 1.25);
  EXPECT_EQ(back.Code, 0x1FBu);
  EXPECT_EQ(back.Value, 7);
  EXPECT_EQ(block[13] | block[14] | block[15], 0);
}

TEST(Route, SecondsOfTimeSpans) {
  const double span = 1 + (3723456.0) / 86400000.0;  // a day and 1:02:03.456
  EXPECT_DOUBLE_EQ(SecondsSinceStart(span, 0), 90123.456);
  EXPECT_EQ(SecondsSinceStart(0, 0), 0);
  EXPECT_EQ(SecondsSinceStart(-0.5, 0), 0);
  EXPECT_EQ(SecondsSinceStart(-1e-9, 0), 0);
  EXPECT_EQ(FixedText(12.5, 3, 3), "12,500");
  EXPECT_EQ(FixedText(0.0005, 3, 3), "0,001");  // 0.0005 lies just above the half

  // The same decomposition as the date helpers, rounding carries included.
  uint32_t seed = 5;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    double d = (seed >> 4) / 268435456.0 * (i % 3 == 0 ? 1.0 : 0.05);
    if (i % 7 == 0) d = (static_cast<int>(seed % 86400000u) + 0.5) / 86400000.0;  // halves
    if (i % 11 == 0) d = 1 - 1e-10 * (seed % 5);  // carried into the next day
    const TTimeParts t = DecodeTime(d);
    const int carried = DecodeDate(d).day == 31 ? 86400 : 0;  // a day the rounding carried
    ASSERT_EQ(SecondsSinceStart(d, 0),
              carried + t.hour * 3600 + t.minute * 60 + t.second + t.msec / 1000.0)
        << d;
  }
}

TEST(Route, SnapshotsDrawSwitchesAndVoltagesOnly) {
  TRouteSetup s(kivtKivs2);
  TEventBuffer b;
  const std::initializer_list<std::pair<int, uint8_t>> state = {{13, 0x04}, {11, 0x08}, {15, 0x01}};
  b.Clock(23, 5, 17, 10, 30).Switchgear(0, state).Event(0xF6, 4, {0x3, 0xF, 0x1, 0x0, 0x0, 0x0});
  b.Switchgear(400, state);
  EXPECT_EQ(s.Route(b), (Lines{
                            "1. CM State",
                            Pt("-0,200000", 1),
                            Pt("1,010000", 1),
                            Pt("1,210000", 1),
                            "2. CR State",
                            Pt("-0,200000", 0),
                            Pt("1,010000", 0),
                            Pt("1,210000", 0),
                            "3. Vr ",
                            Pt("-0,200000", 6),
                            Pt("1,210000", 6),  //
                            "4. Vbus",
                            Pt("-0,200000", 8),
                            Pt("1,210000", 8),  //
                            "5. Vm",
                            Pt("-0,200000", 4),
                            Pt("1,210000", 4),
                        }));
  // The two-valued signals never moved: each took the row after the last series in turn.
  EXPECT_EQ(s.graph.SeriesCount(), 5);
  EXPECT_EQ(s.graph.GetRowName(6), "6. Signalling turn on \"unit work\"");
  // The route matrix keeps one row per signal with its points.
  TKivMatrix& route = s.lister.RouteMatrix();
  EXPECT_EQ(route.RowLength(74), 2);
  EXPECT_EQ(DecodeRoutePoint(route.ElementPtr(74, 1)).Code, 0xFBu);
  EXPECT_EQ(DecodeRoutePoint(route.ElementPtr(66, 1)).Value, 6);
}

// The switchgear state's snapshot rows: byte, bit, how the value is read, and the event
// code whose route signal the row feeds.
enum TSnapRead { kBit, kInverted, kPair };
struct TSnapRow {
  int byte, bit;
  TSnapRead read;
  uint8_t code;
};
const TSnapRow kSnapRows[] = {
    {15, 0, kBit, 0x00}, {15, 2, kBit, 0x04},  {15, 4, kBit, 0x08},      {15, 5, kBit, 0x0A},
    {15, 6, kBit, 0x0C}, {15, 7, kBit, 0x0E},  {14, 0, kBit, 0x10},      {14, 1, kBit, 0x12},
    {14, 2, kBit, 0x14}, {14, 3, kBit, 0x16},  {14, 4, kBit, 0x18},      {14, 5, kBit, 0x1A},
    {13, 0, kBit, 0x20}, {13, 2, kPair, 0x24}, {13, 4, kInverted, 0x28}, {13, 5, kBit, 0x2A},
    {12, 0, kBit, 0x30}, {12, 2, kPair, 0x34}, {12, 4, kInverted, 0x38}, {12, 5, kBit, 0x3A},
    {11, 0, kBit, 0x40}, {11, 2, kPair, 0x44}, {11, 4, kInverted, 0x48}, {11, 5, kBit, 0x4A},
    {10, 0, kBit, 0x80}, {10, 2, kBit, 0x84},  {10, 4, kBit, 0x88},      {10, 6, kBit, 0x8C},
};

// One switchgear state with a single bit set (or none), one bit at a time: each row's
// signal gets one point, and only the row that reads the set bit starts high (an inverted
// row starts low instead; a switch reads its pair of bits). No other signal gets a point.
TEST(Route, SnapshotFeedsEachSignalFromItsOwnBit) {
  for (TKivType type : {kivtKivs2, kivtKivs3}) {
    TRouteSetup s(type);
    const uint8_t* defs = s.kiv.EventDefs.data();
    std::vector<std::pair<int, int>> bits = {{0, -1}};  // no bit set
    for (int byte = 3; byte <= 15; ++byte)
      for (int bit = 0; bit < 8; ++bit) bits.push_back({byte, bit});
    for (auto [byte, bit] : bits) {
      SCOPED_TRACE(::testing::Message() << "type " << type << " byte " << byte << " bit " << bit);
      TEventBuffer b;
      TRec state(16, 0);
      if (bit >= 0) state[byte] = static_cast<uint8_t>(1 << bit);
      b.Clock(23, 5, 17, 10, 30);
      if (bit >= 0)
        b.Switchgear(0, {{byte, state[byte]}});
      else
        b.Switchgear(0);
      s.Route(b);
      TKivMatrix& route = s.lister.RouteMatrix();
      int fed = 0;
      for (const TSnapRow& r : kSnapRows) {
        const int signal = defs[r.code * kEventDefSize + kEvDefSignal];
        if (signal == 0) continue;  // a code this type does not define feeds nothing
        ++fed;
        ASSERT_LE(signal, route.RowCount) << "code " << int(r.code);
        ASSERT_EQ(route.RowLength(signal), 1) << "code " << int(r.code);
        const uint8_t v = state[r.byte];
        int expected = (v >> r.bit) & 1;
        if (r.read == kInverted) expected = !expected;
        if (r.read == kPair) expected = ((v >> 2) & 1) == ((v >> 3) & 1) ? 2 : (v >> 2) & 1;
        EXPECT_EQ(DecodeRoutePoint(route.ElementPtr(signal, 1)).Value, expected)
            << "code " << int(r.code);
      }
      int withPoints = 0;
      for (int signal = 1; signal <= route.RowCount; ++signal)
        withPoints += route.RowLength(signal) > 0;
      EXPECT_EQ(withPoints, fed);
    }
  }
}

TEST(Route, LevelsAndUnlistedEvents) {
  TRouteSetup s(kivtKivs2);
  TEventBuffer b;
  // SA key on at 1.5 s; 0x6E moves no signal; 0x1E is not shown unless all events are.
  b.Clock(23, 5, 17, 10, 30).Event(0x6E, 0).Event(0x04, 600).Event(0x1E, 0).Event(0x6E, 400);
  const Lines expected = {"1. SA Key", Pt("-0,200000", 0), Pt("1,500000", 1), Pt("2,700000", 1)};
  EXPECT_EQ(s.Route(b), expected);

  TRouteSetup all(kivtKivs2, true);
  EXPECT_EQ(all.Route(b), (Lines{
                              "1. SA Key",
                              Pt("-0,200000", 0),
                              Pt("1,500000", 1),
                              Pt("2,700000", 1),
                              "2. VP2 exceeded value on KIVS_Z above 22V",
                              Pt("-0,200000", 0),
                              Pt("1,500000", 1),
                              Pt("2,700000", 1),
                          }));
}

TEST(Route, SwitchPositionFromContacts) {
  TRouteSetup s(kivtKivs2);
  TEventBuffer b;
  // The state shows CBM open; its close contact comes on at 0.10 s, its open contact goes
  // off at 0.12 s.
  b.Clock(23, 5, 17, 10, 30).Switchgear(0, {{13, 0x08}}).Event(0x24, 40).Event(0x27, 8);
  EXPECT_EQ(s.Route(b), (Lines{
                            "1. CM State",
                            Pt("-0,200000", 0),
                            Pt("0,100000", 2),
                            Pt("0,120000", 1),
                            Pt("0,320000", 1),  //
                            "2. CR State",
                            Pt("-0,200000", 2),
                            Pt("0,320000", 2),
                        }));

  // Without a switchgear state the position stays unknown; KIVS-3 voltage rows.
  TRouteSetup k3(kivtKivs3);
  TEventBuffer c;
  c.Clock(23, 5, 17, 10, 30)
      .Event(0x24, 0)
      .Event(0x26, 40)
      .Event(0xF6, 0, {0x1, 0x3, 0x0, 0x7, 0xF, 0x0});
  EXPECT_EQ(k3.Route(c), (Lines{
                             "1. CA State",
                             Pt("-0,200000", 3),
                             Pt("0,300000", 3),  //
                             "2. VA",
                             Pt("-0,200000", 4),
                             Pt("0,300000", 4),  //
                             "3. VbusA",
                             Pt("-0,200000", 6),
                             Pt("0,300000", 6),  //
                             "4. VB",
                             Pt("-0,200000", 8),
                             Pt("0,300000", 8),  //
                             "5. VbusB",
                             Pt("-0,200000", 5),
                             Pt("0,300000", 5),
                         }));
}

TEST(Route, Kivs3SysLogEventsNeedTheDefinitionKey) {
  TRouteSetup s(kivtKivs3);
  TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30).Event(0xD0, 0).Event(0x04, 4);  // "SA LOG" key (kind 3), SA key
  EXPECT_EQ(s.Route(b),
            (Lines{"1. SA Key", Pt("-0,200000", 0), Pt("0,010000", 1), Pt("0,210000", 1)}));
  s.kiv.Defs.ImplementsSysLogick = true;
  s.lister.SelectSequence(1);
  const Lines withLog = GraphSeriesLines(s.graph);
  ASSERT_EQ(withLog.size(), 8u);
  EXPECT_EQ(withLog[4], "2. SA LOG Key");
}

TEST(Route, LegendReplacesRouteUntilNextSelection) {
  TRouteSetup s(kivtKivs2);
  TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30).Event(0x04, 0);
  const Lines route = s.Route(b);
  ASSERT_FALSE(route.empty());
  s.lister.ShowLegend();
  const char* names[9] = {"Switches states:   OFF",
                          "Switches states:   ON",
                          "Switches states:   AMBIGUOUS STATE",
                          "UNKNOWN STATE",
                          "Voltages rang:   V<Vlt",
                          "Voltages rang:   Vlt<V<VL",
                          "Voltages rang:   VL<V<0,9Vr",
                          "Voltages rang:   0.9Vr<V<Vr",
                          "Voltages rang:   V>Vr"};
  Lines expected;
  for (int v = 0; v <= 8; ++v) {
    expected.push_back(std::to_string(v + 1) + ". " + names[v]);
    expected.push_back(Pt("0,000000", v));
    expected.push_back(Pt("10,000000", v));
  }
  EXPECT_EQ(GraphSeriesLines(s.graph), expected);
  EXPECT_EQ(s.graph.PrintTitle, "Legend");
  s.lister.SelectSequence(1);
  EXPECT_EQ(GraphSeriesLines(s.graph), route);

  TEvLister noGraph;
  noGraph.ShowLegend();  // nothing to draw into
  EXPECT_EQ(noGraph.SequenceCount(), 0);
}

}  // namespace

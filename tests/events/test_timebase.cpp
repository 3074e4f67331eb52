// One clock for every view of a sequence: the route, its state changes and the listing
// count from the same start and show an event at the same millisecond.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "evtext.h"
#include "graphmodel.h"
#include "kivdate.h"
#include "lister.h"
#include "lister_fixture.h"
#include "route.h"
#include "scenario.h"

namespace {

using evtest::SetupDevice;

struct TTimeBaseCase {
  TKivType type;
  bool correct;
  uint32_t seed;
};

// The listing's time texts per event code of sequence n, as the listing writes them.
std::map<uint32_t, std::set<std::string>> ListedTimes(TEvLister& lister, uint16_t n) {
  std::map<uint32_t, std::set<std::string>> times;
  lister.ForEachShownEvent(n, [&](const TShownEvent& ev, const TDecodeContext&) {
    times[ev.Record[0]].insert(ev.Prefix.substr(0, ev.Prefix.find(" [s]")));
  });
  return times;
}

// A lister over kiv with its listing and graph, sequences built.
struct TViews {
  TEvLister lister;
  TGraphModel graph;
  TMemoryListing listing;
  explicit TViews(TKiv& kiv) {
    lister.SetDevice(&kiv);
    lister.SetGraph(&graph);
    lister.SetEventListing(&listing);
    lister.BuildSequences();
  }
};

class TimeBase : public ::testing::TestWithParam<TTimeBaseCase> {};

TEST_P(TimeBase, RouteAndChangesShowTheListingsTimes) {
  const TTimeBaseCase c = GetParam();
  TKiv kiv;
  ASSERT_GT(GenerateScenario(kiv, c.type, c.seed, 0).Sequences, 3);
  SetupDevice(kiv, c.type, c.correct);
  // The corrections a definition file gives by default: inputs, outputs, analogue.
  kiv.Defs.DiCorrection = -5;
  kiv.Defs.DoCorrection = 15;
  kiv.Defs.AiCorrection = -30;
  TViews v(kiv);
  TEvLister& lister = v.lister;
  const TGraphModel& graph = v.graph;
  const TMemoryListing& listing = v.listing;
  ASSERT_GT(lister.SequenceCount(), 3);

  int routePoints = 0, changes = 0;
  for (uint16_t n = 1; n <= lister.SequenceCount(); ++n) {
    lister.SelectSequence(n);
    const auto listed = ListedTimes(lister, n);
    // The times the listing's lines show; the closing switchgear state shows none: it is
    // the sequence's last event, at the end of the route (0,2 s before its last step).
    std::set<std::string> all;
    bool closingState = false;
    for (const TListedLine& l : listing.lines) {
      const size_t unit = l.text.find(" [s] - ");
      if (l.bold && unit != std::string::npos) all.insert(l.text.substr(0, unit));
      closingState |= l.text == "END STATUS SWITCHGEAR";
    }
    const std::string end = CursorValueText(graph.DataMaxRange() - 0.2);
    // Every point an event put into the route lies at the listing's time of that event.
    TKivMatrix& route = lister.RouteMatrix();
    for (uint16_t s = 1; s <= route.RowCount; ++s) {
      for (uint16_t k = 1; k <= route.RowLength(s); ++k) {
        const uint8_t* e = route.ElementPtr(s, k);
        ASSERT_NE(e, nullptr);
        const TRoutePoint p = DecodeRoutePoint(e);
        if (p.Code == kCodeSwitchgearState) continue;  // the opening state: no time listed
        ++routePoints;
        const auto it = listed.find(p.Code);
        ASSERT_NE(it, listed.end()) << "sequence " << n << " code " << p.Code;
        EXPECT_EQ(it->second.count(FixedText(p.Time, 3, 3)), 1u)
            << "sequence " << n << " code " << p.Code << " at " << FixedText(p.Time, 3, 3);
        EXPECT_EQ(all.count(FixedText(p.Time, 3, 3)), 1u)
            << "sequence " << n << " code " << p.Code << " at " << FixedText(p.Time, 3, 3);
      }
    }
    // Every drawn change reads as a listed time, text for text.
    for (const TStateChange& ch : StateChanges(graph, graph.DataMinRange(), graph.DataMaxRange())) {
      ++changes;
      const std::string at = CursorValueText(ch.X);
      EXPECT_TRUE(all.count(at) == 1 || (closingState && at == end))
          << "sequence " << n << " " << ch.Series << " at " << at;
    }
  }
  EXPECT_GT(routePoints, 20);
  EXPECT_GT(changes, 10);
}

INSTANTIATE_TEST_SUITE_P(
    BothTypesCorrectionsOnAndOff, TimeBase,
    ::testing::Values(TTimeBaseCase{kivtKivs2, true, 3}, TTimeBaseCase{kivtKivs2, false, 3},
                      TTimeBaseCase{kivtKivs3, true, 8}, TTimeBaseCase{kivtKivs3, false, 8},
                      TTimeBaseCase{kivtKivs2, true, 5}, TTimeBaseCase{kivtKivs3, true, 34}));

// Start + an event's time is the event's own clock time, to the millisecond, whatever the
// halves of the 2,5 ms ticks do to the rounding of either.
TEST(TimeBase, StartPlusTimeIsTheEventsClockTime) {
  double day = 0;
  ASSERT_TRUE(TryEncodeDate(2024, 3, 5, day));
  const double start = day + (10 * 3600000.0 + 7 * 60000.0 + 2.5) / 86400000.0;
  for (int ticks = 0; ticks < 4000; ++ticks) {
    const double time = start + ticks * 2.5 / 86400000.0 - 5.0 * (ticks % 3) / 86400000.0;
    const TTimeParts s = DecodeTime(start);
    const TTimeParts t = DecodeTime(time);
    const long long startMs = ((s.hour * 60LL + s.minute) * 60 + s.second) * 1000 + s.msec;
    const long long timeMs = ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.msec;
    const double seconds = SecondsSinceStart(time, start);
    if (timeMs <= startMs) {
      ASSERT_EQ(seconds, 0) << ticks;
    } else {
      ASSERT_EQ(FixedText(seconds, 3), FixedText((timeMs - startMs) / 1000.0, 3)) << ticks;
    }
  }
  EXPECT_EQ(SecondsSinceStart(start - 1, start), 0);
  EXPECT_EQ(SecondsSinceStart(1e12, start), 0);  // no date: nothing to count
}

// The opening snapshot is the state the route starts from, even where the corrections date
// the voltages state before it; no event is drawn at a time the listing does not show.
TEST(TimeBase, OpeningSnapshotStartsTheRouteAtTheSequenceStart) {
  TKiv kiv;
  SetupDevice(kiv, kivtKivs2, true);
  kiv.Defs.AiCorrection = -30;
  evtest::TEventBuffer b;
  // Switch CM closed in the snapshot; the voltages state 5 ms later, corrected to 25 ms before.
  b.Clock(24, 3, 5, 10, 7).Switchgear(0, {{13, 0x04}}).Event(0xF6, 2, {0xF, 0xF, 0xF, 0xF, 0, 0xF});
  b.Event(0x25, 400);  // CM close contact fades 1 s later: 1,030 s after the start
  evtest::LoadBuffer(kiv, b.Bytes());
  TViews v(kiv);
  const TGraphModel& graph = v.graph;
  const TMemoryListing& listing = v.listing;
  ASSERT_EQ(v.lister.SequenceCount(), 1);
  v.lister.SelectSequence(1);
  ASSERT_GE(listing.lines.size(), 3u);
  EXPECT_EQ(listing.lines[0].text, "STATR STATUS SWITCHGEAR");
  bool listedAt1030 = false;
  for (const TListedLine& l : listing.lines) listedAt1030 |= l.text.rfind("1,030 [s] - ", 0) == 0;
  EXPECT_TRUE(listedAt1030);
  const auto changes = StateChanges(graph, graph.DataMinRange(), graph.DataMaxRange());
  ASSERT_FALSE(changes.empty());
  for (const TStateChange& ch : changes) EXPECT_EQ(CursorValueText(ch.X), "1,030") << ch.Series;
  // The route ends 0,2 s after the last event, counted from the sequence start.
  EXPECT_DOUBLE_EQ(graph.DataMaxRange(), 1.23);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "comtrade.h"
#include "comtrade_reader.h"
#include "extras_fixture.h"
#include "kivdate.h"
#include "route.h"
#include "scenario.h"

using namespace extest;

namespace {

// What a point of a route series means, read from the look the legend gives each state.
struct TLook {
  uint32_t color;
  uint8_t pen;
  uint8_t thickness;
};
bool Is(const TGraphPoint& p, TLook l) {
  return p.Color == l.color && p.PenStyle == l.pen && p.Thickness == l.thickness;
}
constexpr uint32_t kRed = 0x0000FF, kYellow = 0x00FFFF, kGreen = 0x008000, kBlack = 0;
constexpr TLook kOn{kRed, 0, 15}, kAmbiguous{kYellow, 0, 15}, kUnknown{kBlack, 2, 3};
constexpr TLook kRanges[5] = {
    {kBlack, 0, 3}, {kRed, 0, 6}, {kYellow, 0, 9}, {kGreen, 0, 12}, {kGreen, 0, 16}};

bool IsSwitch(const std::string& rowName) {
  for (const char* n : {"CA State", "CR State", "CB State", "CM State"})
    if (rowName.ends_with(std::string(". ") + n)) return true;
  return false;
}
bool IsVoltage(const std::string& rowName) {
  for (const char* n : {"VA", "VbusA", "VB", "VbusB", "Vr ", "Vbus", "Vm"})
    if (rowName.ends_with(std::string(". ") + n)) return true;
  return false;
}

// The channel ids and values one series contributes at graph position x.
void Expect(const TGraphModel& g, uint16_t r, double x, std::vector<std::string>& ids,
            std::vector<int>& values) {
  const std::string name = g.GetRowName(r);
  const uint16_t c = g.LastPointAtOrBefore(r, x);
  const TGraphPoint p = c > 0 ? g.Point(r, c) : TGraphPoint{};
  auto clean = [](std::string s) {
    for (char& ch : s)
      if (ch == ',') ch = '.';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  if (IsSwitch(name)) {
    ids.push_back(clean(name + " CLOSED"));
    values.push_back(c > 0 && Is(p, kOn));
    ids.push_back(clean(name + " AMBIGUOUS"));
    values.push_back(c > 0 && Is(p, kAmbiguous));
    ids.push_back(clean(name + " UNKNOWN"));
    values.push_back(c > 0 && Is(p, kUnknown));
  } else if (IsVoltage(name)) {
    const char* names[5] = {"V<Vlt", "Vlt<V<VL", "VL<V<0.9Vr", "0.9Vr<V<Vr", "V>Vr"};
    for (int k = 0; k < 5; ++k) {
      ids.push_back(clean(name + " " + names[k]));
      values.push_back(c > 0 && Is(p, kRanges[k]));
    }
  } else {
    ids.push_back(clean(name));
    values.push_back(c > 0 && Is(p, kOn));
  }
}

// Reads both files back and checks every channel line and every sample against the route
// in the graph; origin is the day count of graph x = 0.
void CheckAgainstRoute(const TComtradeFiles& f, const TGraphModel& g, double origin,
                       const std::string& station, const std::string& device) {
  const ctr::TConfig cfg = ctr::ReadConfig(f.Cfg);
  const std::vector<ctr::TSample> data = ctr::ReadData(f.Dat, cfg);
  EXPECT_EQ(cfg.Station, station);
  EXPECT_EQ(cfg.Device, device);
  EXPECT_EQ(cfg.LineFrequency, 50);
  EXPECT_EQ(cfg.Rates, 0);
  EXPECT_EQ(cfg.FileType, "ASCII");
  ASSERT_FALSE(data.empty());

  // The trigger is the sequence's first event; the first sample the earliest point.
  TDateParts d = DecodeDate(std::floor(origin));
  EXPECT_EQ(cfg.Trigger.Year, d.year);
  EXPECT_EQ(cfg.Trigger.Month, d.month);
  EXPECT_EQ(cfg.Trigger.Day, d.day);
  EXPECT_EQ(((cfg.Trigger.Hour * 60LL + cfg.Trigger.Minute) * 60 + cfg.Trigger.Second) * 1000000 +
                cfg.Trigger.Micro,
            std::llround((origin - std::floor(origin)) * 86400e6));
  double earliest = 1e300, latest = -1e300;
  for (uint16_t r = 1; r <= g.SeriesCount(); ++r)
    for (uint16_t c = 1; c <= g.PointCount(r); ++c) {
      earliest = std::min(earliest, g.Point(r, c).X);
      latest = std::max(latest, g.Point(r, c).X);
    }
  const int64_t startToTrigger = cfg.Trigger.Us() - cfg.Start.Us();
  EXPECT_NEAR(static_cast<double>(startToTrigger), -earliest * 1e6, 1.0);
  EXPECT_EQ(data.front().Timestamp, 0);
  EXPECT_NEAR(data.back().Timestamp * cfg.TimeMult, (latest - earliest) * 1e6, cfg.TimeMult);
  EXPECT_LE(data.back().Timestamp, 9999999999LL);

  // Every point's instant is a sample; every sample is a point's instant.
  std::vector<int64_t> instants;
  for (uint16_t r = 1; r <= g.SeriesCount(); ++r)
    for (uint16_t c = 1; c <= g.PointCount(r); ++c)
      instants.push_back(std::llround((g.Point(r, c).X - earliest) * 1e6 / cfg.TimeMult));
  std::sort(instants.begin(), instants.end());
  instants.erase(std::unique(instants.begin(), instants.end()), instants.end());
  ASSERT_EQ(data.size(), instants.size());

  for (size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(data[i].Timestamp, instants[i]);
    const double x = (static_cast<double>(data[i].Timestamp) * cfg.TimeMult -
                      static_cast<double>(startToTrigger)) /
                         1e6 +
                     5e-7;
    std::vector<std::string> ids;
    std::vector<int> values;
    for (uint16_t r = 1; r <= g.SeriesCount(); ++r)
      if (g.PointCount(r) > 0) Expect(g, r, x, ids, values);
    ASSERT_EQ(ids.size(), cfg.Channels.size());
    for (size_t k = 0; k < ids.size(); ++k) {
      if (i == 0) {
        EXPECT_EQ(cfg.Channels[k].Id, ids[k]);
      }
      ASSERT_EQ(data[i].Digital[k], values[k]) << ids[k] << " at sample " << i + 1;
    }
  }
}

TEST(Comtrade, FieldTextsDatesAndTimeMultiplier) {
  EXPECT_EQ(ComtradeText("  Stacja Łódź, pole 3 "), "Stacja Lodz. pole 3");
  EXPECT_EQ(ComtradeText("VL<V<0,9Vr"), "VL<V<0.9Vr");
  EXPECT_EQ(ComtradeText("a\tb\xFF"
                         "c"),
            "a_b_c");
  EXPECT_EQ(ComtradeText("Zewnętrzny sygnał"), "Zewnetrzny sygnal");
  EXPECT_EQ(ComtradeText(std::string(80, 'x')).size(), 64u);
  EXPECT_EQ(ComtradeText("abc  def", 4), "abc");

  double day = 0;
  ASSERT_TRUE(TryEncodeDate(2023, 5, 1, day));
  EXPECT_EQ(ComtradeDateTime(day + (12 * 3600 + 34 * 60 + 56.789) / 86400),
            "01/05/2023,12:34:56.789000");
  EXPECT_EQ(ComtradeDateTime(day + 0.0025 / 86400), "01/05/2023,00:00:00.002500");
  // Rounding to the microsecond carries into the next day.
  EXPECT_EQ(ComtradeDateTime(day + 1 - 0.2e-6 / 86400), "02/05/2023,00:00:00.000000");
  // An offset before midnight goes back into the day before.
  EXPECT_EQ(ComtradeDateTime(day + 0.1 / 86400, -200000), "30/04/2023,23:59:59.900000");
  EXPECT_EQ(ComtradeDateTime(day, 86400000000LL + 1), "02/05/2023,00:00:00.000001");

  EXPECT_EQ(ComtradeTimeMult(0), 1);
  EXPECT_EQ(ComtradeTimeMult(9999999999LL), 1);
  EXPECT_EQ(ComtradeTimeMult(10000000000LL), 10);
  EXPECT_EQ(ComtradeTimeMult(86400000000LL), 10);
  EXPECT_EQ(ComtradeTimeMult(100000000000LL), 100);
}

TEST(Comtrade, SmallSequenceMatchesGoldenFilesAndRoute) {
  TRegistration reg(kivtKivs2);
  reg.kiv.SetStationInfo("GPZ Łęczyca, pole 7");
  reg.kiv.SetIdentification("K2SV0104");
  reg.Load(SmallKivs2Sequence());
  TComtradeRecord rec;
  ASSERT_TRUE(SequenceToComtrade(reg.lister, reg.graph, 1, rec));
  const TComtradeFiles f = FormatComtrade(rec);
  EXPECT_EQ(f.Cfg, Golden("small_kivs2.cfg", f.Cfg));
  EXPECT_EQ(f.Dat, Golden("small_kivs2.dat", f.Dat));
  CheckAgainstRoute(f, reg.graph, RouteOriginDays(reg.lister, 1), "GPZ Leczyca. pole 7",
                    "K2SV0104");

  // Written to disk exactly as formatted.
  const auto dir = std::filesystem::temp_directory_path() / "kivsvc_extras_comtrade";
  std::filesystem::create_directories(dir);
  std::string error;
  ASSERT_TRUE(SaveComtrade(rec, dir.string(), "seq1", error)) << error;
  EXPECT_EQ(ReadFile((dir / "seq1.cfg").string()), f.Cfg);
  EXPECT_EQ(ReadFile((dir / "seq1.dat").string()), f.Dat);
  EXPECT_FALSE(SaveComtrade(rec, (dir / "missing" / "deeper").string(), "x", error));
  EXPECT_NE(error.find("Cannot write"), std::string::npos);
  std::filesystem::remove_all(dir);

  // No such sequence, or a route that draws nothing: no record.
  EXPECT_FALSE(SequenceToComtrade(reg.lister, reg.graph, 2, rec));
  EXPECT_FALSE(SequenceToComtrade(reg.lister, reg.graph, 0, rec));
}

TEST(Comtrade, UnknownSwitchStateIsItsOwnChannel) {
  // No switchgear state: CM is not known until both its contacts have spoken. Not known is
  // no contact discrepancy: UNKNOWN, not AMBIGUOUS.
  TRegistration reg(kivtKivs2);
  evtest::TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30).Event(0x04, 0).Event(0x24, 40);
  reg.Load(b);
  TComtradeRecord rec;
  ASSERT_TRUE(SequenceToComtrade(reg.lister, reg.graph, 1, rec));
  size_t closed = rec.Channels.size(), ambiguous = closed, unknown = closed;
  for (size_t c = 0; c < rec.Channels.size(); ++c) {
    if (rec.Channels[c].Id == "1. CM State CLOSED") closed = c;
    if (rec.Channels[c].Id == "1. CM State AMBIGUOUS") ambiguous = c;
    if (rec.Channels[c].Id == "1. CM State UNKNOWN") unknown = c;
  }
  ASSERT_LT(closed, rec.Channels.size());
  ASSERT_LT(ambiguous, rec.Channels.size());
  ASSERT_LT(unknown, rec.Channels.size());
  ASSERT_FALSE(rec.Samples.empty());
  for (const std::vector<uint8_t>& sample : rec.Samples) {
    ASSERT_EQ(sample.size(), rec.Channels.size());
    EXPECT_EQ(sample[closed], 0);
    EXPECT_EQ(sample[ambiguous], 0);
    EXPECT_EQ(sample[unknown], 1);
  }
  CheckAgainstRoute(FormatComtrade(rec), reg.graph, RouteOriginDays(reg.lister, 1), "", "");
}

TEST(Comtrade, GeneratedRegistrationsOfBothTypesMatchTheirRoutes) {
  for (TKivType type : {kivtKivs2, kivtKivs3}) {
    for (uint32_t seed : {1u, 7u, 42u}) {
      TRegistration reg(type);
      TScenarioOptions options;
      options.FillParsets = false;
      GenerateScenario(reg.kiv, type, seed, 0, options);
      reg.kiv.SetStationInfo("Station");
      reg.lister.BuildSequences();
      ASSERT_GT(reg.lister.SequenceCount(), 0);
      int exported = 0;
      for (uint16_t n = 1; n <= reg.lister.SequenceCount(); ++n) {
        TComtradeRecord rec;
        if (!SequenceToComtrade(reg.lister, reg.graph, n, rec)) continue;
        ++exported;
        SCOPED_TRACE("type " + std::to_string(type) + " seed " + std::to_string(seed) +
                     " sequence " + std::to_string(n));
        CheckAgainstRoute(FormatComtrade(rec), reg.graph, RouteOriginDays(reg.lister, n), "Station",
                          ComtradeText(reg.kiv.Identification()));
        if (HasFatalFailure()) return;
      }
      EXPECT_GT(exported, 0);
    }
  }
}

TEST(Comtrade, LongRecordsScaleTheTimestamps) {
  // A route spanning three hours does not fit ten digits of microseconds.
  TGraphModel g;
  TGraphPoint on = StepTemplate(1), off = StepTemplate(0);
  off.X = -0.2;
  g.AddPoint(1, off);
  on.X = 5.0;
  g.AddPoint(1, on);
  off.X = 3 * 3600.0 + 0.2;
  g.AddPoint(1, off);
  g.SetRowName(1, "SA Key");
  double origin = 0;
  ASSERT_TRUE(TryEncodeDate(2024, 2, 29, origin));
  origin += 23.0 / 24;  // the record crosses midnight
  const TComtradeRecord rec = RouteToComtrade(g, origin);
  const TComtradeFiles f = FormatComtrade(rec);
  const ctr::TConfig cfg = ctr::ReadConfig(f.Cfg);
  EXPECT_EQ(cfg.TimeMult, 10);
  EXPECT_EQ(cfg.Start.Day, 29);
  EXPECT_EQ(cfg.Start.Hour, 22);
  EXPECT_EQ(cfg.Start.Second, 59);
  EXPECT_EQ(cfg.Start.Micro, 800000);
  CheckAgainstRoute(f, g, origin, "", "");
  const std::vector<ctr::TSample> data = ctr::ReadData(f.Dat, cfg);
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(data[1].Timestamp, 520000);
  EXPECT_EQ(data[2].Timestamp, 1080040000);
  EXPECT_EQ(data[1].Digital, std::vector<int>{1});
}

TEST(ComtradeReader, RefusesWhatTheStandardDoesNotAllow) {
  TGraphModel g;
  TGraphPoint p = StepTemplate(1);
  g.AddPoint(1, p);
  g.SetRowName(1, "SA Key");
  const TComtradeFiles good = FormatComtrade(RouteToComtrade(g, 45000.5));
  const ctr::TConfig cfg = ctr::ReadConfig(good.Cfg);
  EXPECT_NO_THROW(ctr::ReadData(good.Dat, cfg));
  auto replaced = [](std::string s, const std::string& from, const std::string& to) {
    return s.replace(s.find(from), from.size(), to);
  };
  EXPECT_THROW(ctr::ReadConfig(replaced(good.Cfg, "\r\n", "\n")), std::runtime_error);
  EXPECT_THROW(ctr::ReadConfig(replaced(good.Cfg, "1,0A,1D", "2,0A,1D")), std::runtime_error);
  EXPECT_THROW(ctr::ReadConfig(replaced(good.Cfg, "1,1. SA Key,,,0", "1,1. SA Key,,0")),
               std::runtime_error);
  EXPECT_THROW(ctr::ReadConfig(good.Cfg + "extra\r\n"), std::runtime_error);
  EXPECT_THROW(ctr::ReadData("1,0,2\r\n", cfg), std::runtime_error);
  EXPECT_THROW(ctr::ReadData("1,0,1,1\r\n", cfg), std::runtime_error);
  EXPECT_THROW(ctr::ReadData("2,0,1\r\n", cfg), std::runtime_error);
  EXPECT_THROW(ctr::ReadData("1,,1\r\n", cfg), std::runtime_error);
}

}  // namespace

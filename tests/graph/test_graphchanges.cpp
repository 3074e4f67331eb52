// The state changes between the cursors and the snap of a dragged cursor.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "graphmodel.h"

namespace {

TGraphPoint Step(double x, double state) {
  TGraphPoint p;
  p.X = x;
  p.Y = state;
  p.Color = state > 0 ? kColorGreen : kColorBlack;
  p.Thickness = state > 0 ? 16 : 3;
  return p;
}

std::string Name(const TGraphPoint& p) {
  return p.Y > 0 ? "ON" : "OFF";
}

// CA: OFF from -0.2, ON at 0.1, OFF at 0.35, (still OFF) at 0.5, end at 1.2.
// CB: ON from -0.2, OFF at 0.1, end at 1.2. Hidden: changes at 0.2 but not drawn.
using TSteps = std::vector<std::pair<double, double>>;

void Fill(TGraphModel& g) {
  for (auto [x, s] : TSteps{{-0.2, 0}, {0.1, 1}, {0.35, 0}, {0.5, 0}, {1.2, 0}}) {
    g.AddPoint(1, Step(x, s));
  }
  g.SetRowName(1, "CA State");
  for (auto [x, s] : TSteps{{-0.2, 1}, {0.1, 0}, {1.2, 0}}) g.AddPoint(2, Step(x, s));
  g.SetRowName(2, "CB State");
  for (auto [x, s] : TSteps{{-0.2, 1}, {0.2, 0}, {1.2, 0}}) g.AddPoint(3, Step(x, s));
  g.SetRowShown(3, false);
}

}  // namespace

TEST(GraphChanges, ListBetweenTheCursors) {
  TGraphModel g;
  Fill(g);
  // The cursors in either order; the bounds are included.
  std::vector<TStateChange> c = StateChanges(g, 1.0, 0.1, Name);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_DOUBLE_EQ(c[0].X, 0.1);
  EXPECT_EQ(c[0].Series, "1. CA State");
  EXPECT_EQ(c[0].Before, "OFF");
  EXPECT_EQ(c[0].After, "ON");
  EXPECT_EQ(c[1].Series, "2. CB State");  // same time: by series
  EXPECT_EQ(c[1].Before, "ON");
  EXPECT_DOUBLE_EQ(c[1].SincePrevious, 0.0);
  EXPECT_DOUBLE_EQ(c[2].X, 0.35);
  EXPECT_NEAR(c[2].SincePrevious, 0.25, 1e-12);
  // A repeated state (0.5) and the end point are no changes; the hidden series is not drawn.
  EXPECT_EQ(StateChanges(g, 0.4, 2.0, Name).size(), 0u);
  // Without a namer the look tells the states apart.
  EXPECT_EQ(StateChanges(g, -1, 2, {}).size(), 3u);
  EXPECT_EQ(c.size(), StateChanges(g, 0.1, 1.0).size());

  const std::vector<std::string> lines = StateChangeLines(c);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "0,100\t1. CA State\tOFF → ON\t-");
  EXPECT_EQ(lines[3], "0,350\t1. CA State\tON → OFF\t0,250");
  EXPECT_EQ(StateChangeLines({}).size(), 1u);
}

TEST(GraphChanges, SnapToTheNearestChange) {
  TGraphModel g;
  Fill(g);
  // Nearest of the given series within the tolerance.
  auto s = NearestChange(g, {1, 2}, 0.33, 0.05, Name);
  ASSERT_TRUE(s.has_value());
  EXPECT_DOUBLE_EQ(*s, 0.35);
  s = NearestChange(g, {1, 2}, 0.12, 0.05, Name);
  ASSERT_TRUE(s.has_value());
  EXPECT_DOUBLE_EQ(*s, 0.1);
  // Too far, or only in a series not asked for: none.
  EXPECT_FALSE(NearestChange(g, {1, 2}, 0.25, 0.05, Name).has_value());
  EXPECT_FALSE(NearestChange(g, {2}, 0.33, 0.05, Name).has_value());
  EXPECT_FALSE(NearestChange(g, {1}, 0.5, 0.05, Name).has_value());  // a repeat is no change
  EXPECT_FALSE(NearestChange(g, {9, 0}, 0.1, 1, Name).has_value());
}

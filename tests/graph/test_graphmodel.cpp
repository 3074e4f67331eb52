#include "graphmodel.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

namespace {

TGraphPoint Pt(double x, TGraphColor c = kColorRed, uint8_t thickness = 16) {
  TGraphPoint p;
  p.X = x;
  p.Color = c;
  p.Thickness = thickness;
  return p;
}

// Fills n series with one point each.
void FillSeries(TGraphModel& g, int n) {
  for (int r = 1; r <= n; ++r) g.AddPoint(static_cast<uint16_t>(r), Pt(r));
}

}  // namespace

TEST(GraphModel, AddPointWidensRangeFromZero) {
  TGraphModel g;
  g.AddPoint(1, Pt(-3));
  g.Clear();
  EXPECT_EQ(g.SeriesCount(), 0);
  g.AddPoint(2, Pt(5));
  g.AddPoint(2, Pt(20, kColorGreen, 3));
  EXPECT_EQ(g.DataMinRange(), 0.0);
  EXPECT_EQ(g.DataMaxRange(), 20.0);
  EXPECT_EQ(g.SeriesCount(), 2);
  EXPECT_EQ(g.PointCount(1), 0);
  ASSERT_EQ(g.PointCount(2), 2);
  const TGraphPoint p = g.Point(2, 2);
  EXPECT_EQ(p.X, 20.0);
  EXPECT_EQ(p.Color, kColorGreen);
  EXPECT_EQ(p.Thickness, 3);
  EXPECT_EQ(g.LastPointAtOrBefore(2, 4.9), 0);
  EXPECT_EQ(g.LastPointAtOrBefore(2, 5), 1);
  EXPECT_EQ(g.LastPointAtOrBefore(2, 100), 2);
  EXPECT_FALSE(g.AddPoint(0, Pt(1)));
  g.AddPoint(1, Pt(-7));
  EXPECT_EQ(g.DataMinRange(), -7.0);
}

TEST(GraphModel, RowNames) {
  TGraphModel g;
  g.SetRowName(3, "U1");
  EXPECT_EQ(g.GetRowName(3), "3. U1");
  EXPECT_EQ(g.GetRowName(2), "Wykres 2");
  EXPECT_EQ(g.GetRowName(7), "Wykres 7");
  g.SetRowName(2, "");
  EXPECT_EQ(g.GetRowName(2), "2. ");
  g.SetRowName(3, std::string(300, 'x'));
  EXPECT_EQ(g.GetRowName(3), "3. " + std::string(255, 'x'));
  g.SetRowName(3, "Q");  // a shorter name over a longer one
  EXPECT_EQ(g.GetRowName(3), "3. Q");
  // Names live in their own matrix: they do not create series.
  EXPECT_EQ(g.SeriesCount(), 0);
}

TEST(GraphModel, RangeSettersRefuseOutOfOrderValues) {
  TGraphModel g;
  g.AddPoint(1, Pt(20));
  EXPECT_FALSE(g.SetDataMaxRange(9.0));
  EXPECT_EQ(g.DataMaxRange(), 20.0);
  EXPECT_TRUE(g.SetDataMaxRange(9.5));
  EXPECT_EQ(g.DataMaxRange(), 9.5);
  EXPECT_FALSE(g.SetDataMinRange(9.5));
  EXPECT_FALSE(g.SetDataMinRange(0.0));  // unchanged
  EXPECT_TRUE(g.SetDataMinRange(-4.0));
  EXPECT_EQ(g.DataMinRange(), -4.0);
}

TEST(GraphModel, TimeIntervalRules) {
  TGraphModel g;
  EXPECT_EQ(g.DataTimeType(), TIntervalTimeType::Seconds);
  EXPECT_EQ(g.DataTimeInterval(), 1);
  TGraphMessage m = g.SetDataTimeInterval(90);
  EXPECT_EQ(m.Text, "Maximum value is 60 when Seconds selected.");
  EXPECT_EQ(m.Caption, "OverRange.");
  EXPECT_EQ(g.DataTimeInterval(), 60);

  g.SetDataTimeInterval(30);
  m = g.SetDataTimeType(TIntervalTimeType::mSeconds);
  EXPECT_TRUE(m.Empty());
  EXPECT_EQ(g.DataTimeInterval(), 100);
  m = g.SetDataTimeInterval(5000);
  EXPECT_EQ(m.Text, "Maximum value is 1000 when MSeconds selected.");
  EXPECT_EQ(m.Caption, "OverRange.");
  EXPECT_EQ(g.DataTimeInterval(), 1000);
  m = g.SetDataTimeInterval(50);
  EXPECT_EQ(m.Text, "Minimum value of 100 when MSeconds selected is recommended for accuracy.");
  EXPECT_EQ(m.Caption, "Over Range.");
  EXPECT_EQ(g.DataTimeInterval(), 50);

  g.SetDataTimeInterval(500);
  EXPECT_TRUE(g.SetDataTimeType(TIntervalTimeType::Minutes).Empty());
  EXPECT_EQ(g.DataTimeInterval(), 1);
  EXPECT_EQ(g.SetDataTimeInterval(61).Text, "Maximum value is 60 when Minutes selected.");
  EXPECT_EQ(g.DataTimeInterval(), 60);
  EXPECT_TRUE(g.SetDataTimeType(TIntervalTimeType::Hours).Empty());
  EXPECT_EQ(g.DataTimeInterval(), 1);
  EXPECT_EQ(g.SetDataTimeInterval(25).Text, "Maximum value is 24 when Hours selected.");
  EXPECT_EQ(g.DataTimeInterval(), 24);
  g.SetDataTimeType(TIntervalTimeType::None);
  EXPECT_TRUE(g.SetDataTimeInterval(5000).Empty());
  EXPECT_EQ(g.DataTimeInterval(), 5000);
  // Switching to mSeconds with a value above 1000 goes through the rule.
  EXPECT_EQ(g.SetDataTimeType(TIntervalTimeType::mSeconds).Text,
            "Maximum value is 1000 when MSeconds selected.");
}

TEST(GraphModel, AxisTexts) {
  EXPECT_EQ(AxisUnitText(TIntervalTimeType::None, 1), "");
  EXPECT_EQ(AxisUnitText(TIntervalTimeType::mSeconds, 100), "[s]");
  EXPECT_EQ(AxisUnitText(TIntervalTimeType::Seconds, 2), "[s]");
  EXPECT_EQ(AxisUnitText(TIntervalTimeType::Seconds, 3), "[min]");
  EXPECT_EQ(AxisUnitText(TIntervalTimeType::Minutes, 1), "[min]");
  EXPECT_EQ(AxisUnitText(TIntervalTimeType::Minutes, 10), "[h]");
  EXPECT_EQ(AxisUnitText(TIntervalTimeType::Hours, 1), "[day]");
  EXPECT_EQ(AxisLabelText(12345), "12345");
  EXPECT_EQ(AxisLabelText(2.5), "2");
  EXPECT_EQ(AxisLabelText(3.5), "4");
  EXPECT_EQ(AxisLabelText(-0.3), "0");
  EXPECT_EQ(AxisLabelText(-7.6), "-8");
  // Decimals as asked, "," as the separator, no "-0".
  EXPECT_EQ(AxisLabelText(0.2, 1), "0,2");
  EXPECT_EQ(AxisLabelText(1.25, 2), "1,25");
  EXPECT_EQ(AxisLabelText(-0.0001, 1), "0");
  EXPECT_EQ(AxisLabelText(0, 2), "0");
  EXPECT_EQ(AxisLabelText(-0.5, 1), "-0,5");
  // Minor ticks at least a millimetre apart: 10 mm per second cut into 5 or 10 parts.
  EXPECT_TRUE(MinorTicksFit({0, 1.0, 10, 100}, 1.0, 4));
  EXPECT_TRUE(MinorTicksFit({0, 1.0, 10, 100}, 1.0, 9));
  EXPECT_FALSE(MinorTicksFit({0, 1.0, 10, 100}, 1.0, 10));
  EXPECT_FALSE(MinorTicksFit({0, 1.0, 10, 100}, 1.0, -1));
}

TEST(GraphMapping, RoundingAndConversions) {
  EXPECT_EQ(RoundHalfEvenInt(2.5), 2);
  EXPECT_EQ(RoundHalfEvenInt(3.5), 4);
  EXPECT_EQ(RoundHalfEvenInt(-2.5), -2);
  EXPECT_EQ(RoundHalfEvenInt(2.6), 3);
  EXPECT_EQ(RoundHalfEvenInt(1e12), 2147483647);
  // A bar 16 tenths of a mm thick at 300 dpi has 19 lines.
  EXPECT_EQ(RoundHalfEvenInt(MmToPx(300, 16 / 10.0)), 19);
  EXPECT_DOUBLE_EQ(PxToMm(96, 96), 25.4);
  // dXLen x ScaleX beyond 32 bits.
  EXPECT_DOUBLE_EQ(DivisionMm(65535, 50000), 32767500.0);

  TXScale s{2.0, 0.5, 10, 200};  // 20 mm per 0.5
  EXPECT_DOUBLE_EQ(ValueToMm(s, 3.0), 40.0);
  EXPECT_EQ(ValueToPx(s, 254, 3.0), 400);
  EXPECT_DOUBLE_EQ(PxToValue(s, 254, 400), 3.0);
  for (int px = 0; px < 1000; px += 37) {
    EXPECT_EQ(ValueToPx(s, 96, PxToValue(s, 96, px)), px);
  }
}

TEST(GraphMapping, ScreenWindow) {
  // The scroll bar counts pixels: 100 s of 10 mm at 10 px a millimetre, 1000 px on screen.
  const TXScale s{0, 1.0, 10, 100};
  TScrollRange range = ScrollRange(0, 100, s, 254, 1000);
  EXPECT_EQ(range.Max, 9000);
  EXPECT_EQ(range.SingleStep, 100);
  EXPECT_EQ(range.PageStep, 1000);
  EXPECT_EQ(ScrollRange(0, 10, s, 254, 1000).Max, 0);  // fits: nothing to scroll
  EXPECT_EQ(ScrollRange(0, 9, s, 254, 1000).Max, 0);
  EXPECT_EQ(ScrollRange(0, 1e12, {0, 1e-3, 10, 100}, 96, 500).Max, 2147483647);
  EXPECT_EQ(ScrollRange(0, 100, {0, 0.0, 10, 100}, 96, 5).SingleStep, 1);
  EXPECT_DOUBLE_EQ(ScreenX0(10, 100, s, 254), 11.0);
  EXPECT_EQ(ScrollPosOf(10, 11.0, s, 254), 100);
  const TGraphRect r = ScreenPlotRect(325, 145, 1, 10, 13, 14, 16, 16);
  EXPECT_EQ(r, (TGraphRect{16, 16, 293, 100}));

  TGraphModel g;
  g.PlotRect = {20, 16, 776, 100};
  g.ScreenDpiX = 96;
  g.AddPoint(1, Pt(50));
  // At scale 100 one division (1.0) is 10 mm; 96 px are 25.4 mm.
  EXPECT_DOUBLE_EQ(g.PixelToValue(20, 0), 0.0);
  EXPECT_NEAR(g.PixelToValue(20 + 96, 0), 2.54, 1e-12);
  EXPECT_NEAR(g.PixelToValue(20, 96), 2.54, 1e-12);  // the scroll bar counts pixels
}

TEST(GraphMapping, GridPositions) {
  TXScale s{0.0, 1.0, 10, 100};
  auto lines = GridPositions(s, 1.0, 4, 254, 2.0);  // 10 px per mm: 20 px per minor step
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_TRUE(lines[0].Major);
  EXPECT_EQ(lines[0].Px, 0);
  EXPECT_FALSE(lines[1].Major);
  EXPECT_NEAR(lines[1].Value, 0.2, 1e-12);
  EXPECT_EQ(lines[1].Px, 20);
  EXPECT_TRUE(lines[5].Major);
  EXPECT_EQ(lines[5].Px, 100);
  EXPECT_TRUE(lines[10].Major);

  s.X0 = 0.3;
  EXPECT_NEAR(FirstGridValue(0.3, 0.2), 0.4, 1e-12);
  lines = GridPositions(s, 1.0, 4, 254, 1.0);
  ASSERT_FALSE(lines.empty());
  EXPECT_NEAR(lines[0].Value, 0.4, 1e-12);
  EXPECT_EQ(lines[0].Px, 10);
  EXPECT_TRUE(IsMultiple(3.001, 1.0));
  EXPECT_FALSE(IsMultiple(3.02, 1.0));

  // A grid denser than the pixels: one minor line per pixel at most, and the walk
  // skips ahead instead of visiting millions of positions.
  TXScale dense{0.0, 1e-6, 10, 10};
  lines = GridPositions(dense, 1e-6, 4, 96, 1e-3);
  ASSERT_FALSE(lines.empty());
  for (size_t i = 1; i < lines.size(); ++i) ASSERT_GT(lines[i].Px, lines[i - 1].Px);
  EXPECT_LE(lines.back().Value, 1e-3);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const TGridLine& l) { return l.Major; }),
            1001);

  // A step lost in the value's precision ends the walk.
  TXScale far{1e17, 1.0, 10, 100};
  lines = GridPositions(far, 1.0, 4, 96, 1e17 + 100);
  EXPECT_LE(lines.size(), 200u);

  // Undefined steps give no grid.
  EXPECT_TRUE(GridPositions({0, 0.0, 10, 100}, 1.0, 4, 96, 10).empty());
  EXPECT_TRUE(GridPositions({0, 1.0, 10, 100}, 0.0, 4, 96, 10).empty());
  EXPECT_TRUE(GridPositions({0, 1.0, 10, 100}, 1.0, -1, 96, 10).empty());
}

TEST(GraphScale, FitScale) {
  // Empty range: the current scale, 10 when it is 0.
  EXPECT_EQ(FitScale(0, 0, 250, true, 756, 96, 1, 10), 250);
  EXPECT_EQ(FitScale(0, 0, 0, true, 756, 96, 1, 10), 10);
  // 756 px at 96 dpi = 200 mm for 100 divisions of 10 mm: scale 20.
  EXPECT_NEAR(ScaleToFit(0, 100, 756, 96, 1, 10), 20.0, 0.01);
  EXPECT_EQ(FitScale(0, 100, 250, true, 756, 96, 1, 10), 20);
  EXPECT_EQ(FitScale(0, 100, 250, false, 756, 96, 1, 10), 250);
  // Nothing to fit into: 100.
  EXPECT_EQ(FitScale(0, 100, 250, true, 0, 96, 1, 10), 100);
  EXPECT_EQ(FitScale(0, 100, 250, true, -40, 96, 1, 10), 100);
  EXPECT_EQ(FitScale(0, 100, 250, true, 756, 0, 1, 10), 100);
  // A result that rounds to 0 becomes 1.
  EXPECT_EQ(FitScale(0, 1e6, 250, true, 96, 96, 1, 10), 1);

  TGraphModel g;
  int layouts = 0;
  g.OnChange = [&](TGraphChange c) {
    if (c == TGraphChange::Layout) {
      ++layouts;
      g.PlotRect = {10, 10, 766, 100};
      g.ScreenDpiX = 96;
    }
  };
  g.BeginUpdate();
  g.AddPoint(1, Pt(100));
  EXPECT_EQ(g.ScaleX(), 100);
  g.EndUpdate();
  EXPECT_EQ(layouts, 1);
  EXPECT_EQ(g.ScaleX(), 20);
  g.SetAutoscale(false);
  g.SetScaleX(300);
  g.SetAutoscale(true);
  EXPECT_EQ(g.ScaleX(), 20);
}

TEST(GraphModel, ChangesAreReportedUnlessLocked) {
  TGraphModel g;
  std::vector<TGraphChange> seen;
  g.OnChange = [&](TGraphChange c) { seen.push_back(c); };
  g.BeginUpdate();
  g.Clear();
  g.AddPoint(1, Pt(30));
  g.SetDataBackGround(0x123456);
  EXPECT_TRUE(seen.empty());
  g.EndUpdate();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], TGraphChange::Layout);
  EXPECT_EQ(seen[1], TGraphChange::Scale);
  EXPECT_EQ(seen[2], TGraphChange::Redraw);
  seen.clear();
  g.AddPoint(1, Pt(40));  // widens: the scale is applied again
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], TGraphChange::Scale);
  seen.clear();
  g.AddPoint(1, Pt(35));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], TGraphChange::Redraw);
  seen.clear();
  g.SetDataBackGround(0x123456);  // unchanged
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(g.DataBackGround(), 0x123456u);
}

TEST(GraphPages, HorizontalAndVerticalCounts) {
  const double w = UsableWidthMm(210, 15, 15);
  EXPECT_EQ(w, 180.0);
  const double len = TotalLengthMm(0, 100, 10, 100, 1);
  EXPECT_EQ(len, 1000.0);
  EXPECT_EQ(HorizontalPageCount(len, w), 6);
  EXPECT_EQ(HorizontalPageCount(360, w), 2);  // exact multiple: no extra page
  EXPECT_EQ(HorizontalPageCount(0, w), 0);
  EXPECT_EQ(HorizontalPageCount(len, 0), 0);
  EXPECT_EQ(HorizontalPageCount(len, -10), 0);
  EXPECT_DOUBLE_EQ(PageSpan(w, 10, 100, 1), 18.0);
  // 64-bit product of dXLen and ScaleX.
  EXPECT_DOUBLE_EQ(TotalLengthMm(0, 1, 65535, 50000, 1), 32767500.0);

  // 40 shown series of 7 mm with a 10 mm title: 24 per page.
  std::vector<double> h(40, 7.0);
  EXPECT_EQ(VerticalPageCount(h, 10, w), 2);
  TVerticalSplit s = VerticalSplit(h, 1, 10, w);
  EXPECT_EQ(s.First, 1);
  EXPECT_EQ(s.Last, 24);
  s = VerticalSplit(h, 2, 10, w);
  EXPECT_EQ(s.First, 25);
  EXPECT_EQ(s.Last, 40);
  EXPECT_EQ(s.Count, 2);

  // The last series alone on a new page: the walk ends without a fitting last
  // page and the count is the page it reached.
  h.assign(25, 7.0);
  EXPECT_EQ(VerticalPageCount(h, 10, w), 2);
  EXPECT_EQ(VerticalSplit(h, 2, 10, w).First, 25);
  // Hidden series at the end add no page; all hidden gives none.
  h.assign(30, 0.0);
  h[0] = 7.0;
  EXPECT_EQ(VerticalPageCount(h, 10, w), 1);
  h.assign(3, 0.0);
  EXPECT_EQ(VerticalPageCount(h, 10, w), 0);
  EXPECT_EQ(VerticalPageCount({}, 10, w), 0);
  EXPECT_EQ(VerticalPageCount({7.0}, 10, 0), 0);

  EXPECT_EQ(PagePosition(1, 6).Band, 1);
  EXPECT_EQ(PagePosition(7, 6).Band, 2);
  EXPECT_EQ(PagePosition(7, 6).Part, 1);
  EXPECT_EQ(PagePosition(12, 6).Part, 6);
}

TEST(GraphPages, ModelPages) {
  TGraphModel g;
  EXPECT_EQ(g.Pages(), 0);
  FillSeries(g, 40);
  g.SetDataMaxRange(100);
  EXPECT_EQ(g.HorizontalPages(), 6);
  EXPECT_EQ(g.VerticalPages(), 2);
  EXPECT_EQ(g.Pages(), 12);
  EXPECT_DOUBLE_EQ(g.PageSpanX(), 18.0);
  // Hidden series take no room.
  for (uint16_t r = 1; r <= 20; ++r) g.SetRowShown(r, false);
  EXPECT_FALSE(g.RowShown(1));
  EXPECT_TRUE(g.RowShown(21));
  EXPECT_EQ(g.SeriesHeightMm(1), 0.0);
  EXPECT_EQ(g.VerticalPages(), 1);
  g.MarginLeft = 200;
  EXPECT_EQ(g.Pages(), 0);
  g.Clear();
  g.MarginLeft = 15;
  g.SetDataMaxRange(100);
  EXPECT_EQ(g.Pages(), 0);
}

TEST(GraphModel, SelectionAndBands) {
  TGraphModel g;
  g.SelectAll();
  EXPECT_EQ(g.SelectedCount(), 0);
  FillSeries(g, 6);
  g.PlotRect = {10, 10, 200, 200};
  for (uint16_t r = 1; r <= 6; ++r) {
    g.SetRowBand(r, {10, 10 + 20 * (r - 1), 200, 10 + 20 * r});
  }
  EXPECT_EQ(g.RowAtPoint(50, 15), 1);
  EXPECT_EQ(g.RowAtPoint(50, 65), 3);
  EXPECT_EQ(g.RowAtPoint(50, 195), 0);  // below every band
  EXPECT_EQ(g.RowAtPoint(5, 15), 0);    // outside the plot
  g.ClearBands();
  EXPECT_TRUE(g.RowBand(3).Empty());
  EXPECT_EQ(g.RowAtPoint(50, 65), 0);
  g.SetRowSelected(3, true);
  g.SetRowSelected(7, true);  // no such series
  EXPECT_TRUE(g.RowSelected(3));
  EXPECT_FALSE(g.RowSelected(7));
  EXPECT_EQ(g.SelectedCount(), 1);
  g.SelectAll();
  EXPECT_EQ(g.SelectedCount(), 6);
  g.SelectAll(false);
  EXPECT_EQ(g.SelectedCount(), 0);
  g.SetRowSelected(2, true);
  g.Clear();
  FillSeries(g, 2);
  EXPECT_FALSE(g.RowSelected(2));  // flags go with the series
}

TEST(GraphModel, PointLayoutAndColours) {
  TGraphPoint p{-1.25, 7.5, MakeColor(0x12, 0x34, 0x56), kPenDot, 200};
  uint8_t buf[kGraphPointSize];
  EncodeGraphPoint(p, buf);
  EXPECT_EQ(buf[16], 0x12);  // red in the low byte
  EXPECT_EQ(buf[18], 0x56);
  EXPECT_EQ(buf[20], kPenDot);
  const TGraphPoint q = DecodeGraphPoint(buf);
  EXPECT_EQ(q.X, -1.25);
  EXPECT_EQ(q.Y, 7.5);
  EXPECT_EQ(q.Color, 0x563412u);
  EXPECT_EQ(q.Thickness, 200);
  EXPECT_EQ(ColorToHex(q.Color), "123456");
  EXPECT_EQ(ColorToHex(kColorBlue), "0000FF");
  EXPECT_EQ(ColorToHex(kColorGreen), "008000");
  EXPECT_EQ(ColorRed(kColorRed), 0xFF);
}

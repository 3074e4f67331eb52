// Label placement, cursor readouts and the clipboard copy arithmetic of the graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "graphmodel.h"

namespace {

// Advance widths of Arial (units per 1000 em): the font the graph draws its axis in.
int32_t ArialWidth(const std::string& t, double emPx) {
  double units = 0;
  for (char ch : t) {
    if (ch >= '0' && ch <= '9') {
      units += 556;
    } else if (ch == ',') {
      units += 278;
    } else if (ch == '-') {
      units += 333;
    } else {
      units += 667;
    }
  }
  return static_cast<int32_t>(units * emPx / 1000.0 + 0.5);
}

// 9 points at Dpi.
double EmPx(double Dpi) {
  return 9.0 * Dpi / 72.0;
}

// The labels of an axis X0..X1 at scale and Dpi, measured with Arial, and the checks every
// axis must pass: no two labels closer than 2.5 character widths, values distinct and
// increasing on a 1-2-5 step from a millisecond up, texts carrying the step's decimals.
TAxisLabels CheckedLabels(double X0, double X1, double dXPerDiv, int32_t Scale, double Dpi,
                          int32_t UnitX = 1 << 30) {
  const TXScale s{X0, dXPerDiv, 10, Scale};
  const double em = EmPx(Dpi);
  const int32_t cw = ArialWidth("A", em);
  const TAxisLabels l = ChooseAxisLabels(s, Dpi, X1, 0, UnitX, cw,
                                         [em](const std::string& t) { return ArialWidth(t, em); });
  for (size_t i = 0; i < l.Labels.size(); ++i) {
    const TAxisLabel& a = l.Labels[i];
    EXPECT_EQ(a.Width, ArialWidth(a.Text, em));
    EXPECT_LT(a.X + a.Width, UnitX);
    EXPECT_EQ(a.Text, AxisLabelText(a.Value, l.Decimals));
    EXPECT_TRUE(IsMultiple(a.Value, l.Step)) << a.Value << " step " << l.Step;
    if (i == 0) continue;
    const TAxisLabel& b = l.Labels[i - 1];
    EXPECT_GE(2 * (a.X - (b.X + b.Width)), 5 * cw) << b.Text << " / " << a.Text;
    EXPECT_GT(a.Value, b.Value);
    EXPECT_NE(a.Text, b.Text);
  }
  // The step is on the 1-2-5 ladder, whatever the division.
  EXPECT_GE(l.Step, 0.001 - 1e-15);
  EXPECT_EQ(l.Decimals, LabelDecimals(l.Step));
  const double m = l.Step;
  const double decade = std::pow(10.0, std::floor(std::log10(m) + 1e-9));
  const double mant = m / decade;
  EXPECT_TRUE(std::fabs(mant - 1) < 1e-6 || std::fabs(mant - 2) < 1e-6 ||
              std::fabs(mant - 5) < 1e-6)
      << l.Step;
  return l;
}

std::vector<std::string> Texts(const TAxisLabels& l) {
  std::vector<std::string> t;
  for (const TAxisLabel& a : l.Labels) t.push_back(a.Text);
  return t;
}

}  // namespace

TEST(GraphLabels, LongAxisReadsOnARoundStep) {
  // 188 s fitted into a maximised window (1850 px at 96 dpi): about 10 px a second. Three
  // digit labels must not run together, and they read 0 5 10 ... or 0 10 20 ..., not
  // 0 6 11 17.
  const double mmPerS = 1850 * 25.4 / 96 / 188.6;
  const auto scale = static_cast<int32_t>(mmPerS * 10);
  TAxisLabels l = CheckedLabels(-0.2, 188.4, 1, scale, 96);
  ASSERT_GE(l.Labels.size(), 5u);
  EXPECT_EQ(l.Decimals, 0);
  EXPECT_EQ(l.Labels[0].Text, "0");
  EXPECT_TRUE(l.Step == 5 || l.Step == 10 || l.Step == 20) << l.Step;
  EXPECT_EQ(std::fmod(l.Labels.back().Value, l.Step), 0.0);
  EXPECT_GT(l.Labels.back().Value, 188.4 - l.Step);
  // The same axis on paper at 300 and 1200 dpi: the same values, whatever the resolution.
  for (double dpi : {300.0, 1200.0}) {
    EXPECT_EQ(Texts(CheckedLabels(-0.2, 188.4, 1, scale, dpi)), Texts(l)) << dpi;
  }
  // Labels reaching the unit text are left out, the others stay.
  const TAxisLabels cut = CheckedLabels(-0.2, 188.4, 1, scale, 96, 1500);
  EXPECT_LT(cut.Labels.size(), l.Labels.size());
}

TEST(GraphLabels, SubSecondAxisCarriesDecimals) {
  // 1.1 s over 180 mm of paper (scale 1200: 120 mm a second): labels every 0,2 s or finer.
  TAxisLabels l = CheckedLabels(-0.2, 1.3, 1, 1200, 1200);
  ASSERT_GE(l.Labels.size(), 6u);
  EXPECT_EQ(l.Decimals, 1);
  EXPECT_LE(l.Step, 0.2 + 1e-12);
  const std::vector<std::string> t = Texts(l);
  EXPECT_NE(std::find(t.begin(), t.end(), "0,2"), t.end());
  EXPECT_NE(std::find(t.begin(), t.end(), "0,4"), t.end());
  // A division of 0,2: "0 0,1 0,2" or "0 0,2 0,4", never "0 0 0 1".
  l = CheckedLabels(0, 1.0, 0.2, 400, 96);
  ASSERT_GE(l.Labels.size(), 3u);
  EXPECT_EQ(l.Labels[0].Text, "0");
  EXPECT_EQ(l.Labels[1].Text, AxisLabelText(l.Step, 1));
  // Below a tenth the labels read in milliseconds.
  l = CheckedLabels(0, 0.1, 0.05, 2000, 300);
  EXPECT_EQ(l.Decimals, 3);
  // The ladder: 1, 2 and 5 of every decade from a millisecond up, whatever the division.
  const std::vector<double> ladder = LabelStepCandidates();
  ASSERT_GE(ladder.size(), 9u);
  EXPECT_EQ(ladder[0], 0.001);
  EXPECT_EQ(ladder[1], 0.002);
  EXPECT_EQ(ladder[2], 0.005);
  EXPECT_EQ(ladder[3], 0.01);
  EXPECT_EQ(ladder[8], 0.5);
  EXPECT_GE(ladder.back(), 7200.0);  // hours
  EXPECT_EQ(LabelDecimals(0.001), 3);
  EXPECT_EQ(LabelDecimals(0.05), 3);
  EXPECT_EQ(LabelDecimals(0.1), 1);
  EXPECT_EQ(LabelDecimals(0.5), 1);
  EXPECT_EQ(LabelDecimals(1), 0);
  EXPECT_EQ(LabelDecimals(3600), 0);
}

// What an analyst zoomed onto a switching reads: a 0,40 s and a 70 ms window over a plot of
// 700 px (96 dpi, about 185 mm) and over the 180 mm of a printed sheet at 300 dpi.
TEST(GraphLabels, ZoomedAxisReadsToTheMillisecond) {
  struct TCase {
    double x0, span, dpi;
    double maxStep;
  };
  for (const TCase& c : {TCase{0.0, 0.40, 96, 0.1}, TCase{11.55, 0.40, 300, 0.1},
                         TCase{0.0, 0.070, 96, 0.01}, TCase{11.56, 0.070, 300, 0.01}}) {
    const double widthMm = c.dpi == 96 ? 700 * 25.4 / 96 : 180.0;
    // The scale at which span fills the width (division 1 s of 10 mm at ScaleX 100).
    const auto scale = static_cast<int32_t>(widthMm * 100.0 / 10.0 / c.span);
    const TAxisLabels l = CheckedLabels(c.x0, c.x0 + c.span, 1, scale, c.dpi);
    ASSERT_GE(l.Labels.size(), 4u) << c.span << " at " << c.dpi;
    EXPECT_LE(l.Step, c.maxStep + 1e-12) << c.span;
    // Tenths read with one decimal, anything finer in milliseconds.
    EXPECT_EQ(l.Decimals, l.Step < 0.1 - 1e-12 ? 3 : 1) << c.span;
    for (const TAxisLabel& a : l.Labels) {
      if (a.Text == "0") continue;
      const size_t comma = a.Text.find(',');
      ASSERT_NE(comma, std::string::npos) << a.Text;
      EXPECT_EQ(a.Text.size() - comma - 1, static_cast<size_t>(l.Decimals)) << a.Text;
    }
  }
  // 70 ms from the start over 400 px: 0 0,010 0,020 ...
  const TAxisLabels l =
      CheckedLabels(0.0, 0.070, 1, static_cast<int32_t>(400 * 25.4 / 96 * 10 / 0.07), 96);
  ASSERT_GE(l.Labels.size(), 4u);
  EXPECT_EQ(l.Labels[0].Text, "0");
  EXPECT_EQ(l.Labels[1].Text, "0,010");
  EXPECT_EQ(l.Labels[2].Text, "0,020");
}

TEST(GraphLabels, EveryScaleAndResolutionKeepsItsRoom) {
  for (double dpi : {96.0, 300.0, 1200.0}) {
    for (int32_t scale = 1; scale <= 20; ++scale) CheckedLabels(0, 300, 1, scale, dpi);
    for (int32_t scale : {100, 1000, 5000}) CheckedLabels(3.7, 12.9, 1, scale, dpi);
  }
  // Large values written in full and kept apart.
  TAxisLabels l = CheckedLabels(100000, 100300, 1, 100, 96);
  ASSERT_FALSE(l.Labels.empty());
  EXPECT_EQ(l.Labels[0].Text.size(), 6u);
}

TEST(GraphGrid, MajorsAreNeverDropped) {
  // Mend 40: whatever the scale and resolution, every major position in X0..X1 is there,
  // marked major; minors never share a pixel with another line.
  for (double dpi : {96.0, 300.0, 1200.0}) {
    for (int32_t scale = 1; scale <= 20; ++scale) {
      for (double x0 : {0.0, -0.2, 0.37}) {
        const TXScale s{x0, 1.0, 10, scale};
        const double x1 = x0 + 200.0;
        const std::vector<TGridLine> lines = GridPositions(s, 1.0, 4, dpi, x1);
        std::vector<double> majors;
        for (size_t i = 0; i < lines.size(); ++i) {
          if (lines[i].Major) majors.push_back(lines[i].Value);
          if (i > 0) {
            ASSERT_GE(lines[i].Px, lines[i - 1].Px);
            if (!lines[i].Major) {
              ASSERT_GT(lines[i].Px, lines[i - 1].Px);
            }
          }
        }
        std::vector<double> expected;
        for (double v = std::ceil(x0); v <= x1; v += 1) expected.push_back(v);
        ASSERT_EQ(majors.size(), expected.size())
            << dpi << " dpi, scale " << scale << ", x0 " << x0;
        for (size_t i = 0; i < majors.size(); ++i) ASSERT_NEAR(majors[i], expected[i], 1e-9);
      }
    }
  }
  // 96 dpi, scale 8: 0.8 mm per second, 3 px; the majors 5..21 are there.
  const std::vector<TGridLine> lines = GridPositions({0, 1.0, 10, 8}, 1.0, 4, 96, 22);
  for (int v = 0; v <= 22; ++v) {
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [v](const TGridLine& l) {
      return l.Major && std::fabs(l.Value - v) < 1e-9;
    })) << v;
  }
}

TEST(GraphScale, PaperFitRoundsDown) {
  // 188.6 s on 180 mm: 9.54 % rounds down to 9, never up to 10 and a second sheet.
  EXPECT_EQ(PaperFitScale(0, 188.6, 180, 1, 10), 9);
  EXPECT_EQ(HorizontalPageCount(TotalLengthMm(0, 188.6, 10, 9, 1), 180), 1);
  EXPECT_EQ(HorizontalPageCount(TotalLengthMm(0, 188.6, 10, 10, 1), 180), 2);
  // An exact fit keeps its scale.
  EXPECT_EQ(PaperFitScale(0, 18, 180, 1, 10), 100);
  EXPECT_EQ(PaperFitScale(-0.2, 1.3, 180, 1, 10), 1200);
  // Far too long: at least 1. Empty range or no paper: the current scale.
  EXPECT_EQ(PaperFitScale(0, 1e9, 180, 1, 10), 1);
  EXPECT_EQ(PaperFitScale(5, 5, 180, 1, 10, 250), 250);
  EXPECT_EQ(PaperFitScale(0, 10, 0, 1, 10, 250), 250);
  EXPECT_EQ(PaperFitScale(0, 10, 180, 1, 0, 0), 10);
}

TEST(GraphScale, ZoomSteps) {
  struct Case {
    int32_t Scale;
    double Factor;
    int32_t Min;
    int32_t Want;
  };
  const Case cases[] = {
      {100, 2.0, 1, 200}, {100, 0.5, 1, 50},  {1, 1.19, 1, 2},  // never stalls
      {2, 0.9, 1, 1},     {1, 0.5, 1, 1},     {100, 0.5, 80, 80}, {90000, 2.0, 1, kMaxZoomScaleX},
      {100, 0.0, 1, 100}, {100, 2.0, 0, 200},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ZoomedScale(c.Scale, c.Factor, c.Min), c.Want) << c.Scale << " x " << c.Factor;
}

TEST(GraphScale, SpanScaleShowsTheSpanWithRoomToSpare) {
  // 50 ms between the cursors on a 1000-pixel plot at 96 dpi, a second per 10 mm division.
  const std::optional<TSpanView> v = SpanScale(11.565, 11.615, 1000, 96, 1.0, 10);
  ASSERT_TRUE(v.has_value());
  EXPECT_NEAR(v->Left, 11.560, 1e-9);
  const TXScale s{v->Left, 1.0, 10, v->ScaleX};
  // The whole span with its spare fits the plot, and the scale was not rounded far down.
  EXPECT_LE(ValueToPx(s, 96, 11.620), 1000);
  EXPECT_GT(ValueToPx(s, 96, 11.620), 990);
  EXPECT_FALSE(SpanScale(3, 3, 1000, 96, 1.0, 10).has_value());
  EXPECT_FALSE(SpanScale(4, 3, 1000, 96, 1.0, 10).has_value());
  // A microsecond stops at the largest scale.
  ASSERT_TRUE(SpanScale(1, 1.000001, 1000, 96, 1.0, 10).has_value());
  EXPECT_EQ(SpanScale(1, 1.000001, 1000, 96, 1.0, 10)->ScaleX, kMaxZoomScaleX);
}

TEST(GraphScale, PaperFitOfARangeNotExactInFloatingPoint) {
  // 0 to 0,1 x 3 s is 0,30000000000000004: 0,3 s at 10 mm a 0,1 s division fills 180 mm
  // at 600 %, and the hair above 0,3 must not cost a whole percent.
  const double end = 0.1 * 3;
  ASSERT_NE(end, 0.3);
  EXPECT_EQ(PaperFitScale(0, end, 180, 0.1, 10), 600);
  EXPECT_EQ(HorizontalPageCount(TotalLengthMm(0, end, 10, 600, 0.1), 180), 1);
  // The same for every range that is a whole count of tenths: the scale a decimal
  // computation gives, and one sheet.
  for (int tenths = 1; tenths <= 40; ++tenths) {
    SCOPED_TRACE(tenths);
    const double range = 0.1 * tenths;
    const int32_t scale = PaperFitScale(0, range, 180, 0.1, 10);
    EXPECT_EQ(scale, 18000 / (10 * tenths));
    EXPECT_EQ(HorizontalPageCount(TotalLengthMm(0, range, 10, scale, 0.1), 180), 1);
  }
}

TEST(GraphLabels, ALabelTouchingTheUnitTextIsLeftOut) {
  const TAxisLabels all = CheckedLabels(-0.2, 188.4, 1, 100, 96);
  ASSERT_GE(all.Labels.size(), 3u);
  const TAxisLabel& last = all.Labels.back();
  const int32_t rightEnd = last.X + last.Width;
  // The unit text starting right where the label ends: touching, so left out.
  const TAxisLabels touching = CheckedLabels(-0.2, 188.4, 1, 100, 96, rightEnd);
  ASSERT_EQ(touching.Labels.size(), all.Labels.size() - 1);
  EXPECT_EQ(touching.Labels.back().Text, all.Labels[all.Labels.size() - 2].Text);
  // One pixel further: the label stays.
  const TAxisLabels clear = CheckedLabels(-0.2, 188.4, 1, 100, 96, rightEnd + 1);
  ASSERT_EQ(clear.Labels.size(), all.Labels.size());
  EXPECT_EQ(clear.Labels.back().Text, last.Text);
}

TEST(GraphLabels, CursorReadouts) {
  EXPECT_EQ(CursorValueText(2.5), "2,500");
  EXPECT_EQ(CursorValueText(10.0), "10,000");
  EXPECT_EQ(CursorValueText(10.0 - 2.5), "7,500");
  EXPECT_EQ(CursorValueText(-0.0004), "0,000");
  EXPECT_EQ(CursorValueText(-1.25), "-1,250");
  // Seven significant digits below 10 000 s; from there on the millisecond is kept (a
  // sequence of three hours is read to the millisecond like a short one).
  EXPECT_EQ(CursorValueText(9999.12345), "9999,123");
  EXPECT_EQ(CursorValueText(12345.6789), "12345,679");
  EXPECT_EQ(CursorValueText(10800.007), "10800,007");
  EXPECT_EQ(CursorValueText(-10800.007), "-10800,007");
  EXPECT_EQ(CursorValueText(0.12345678), "0,123");
  EXPECT_EQ(CursorValueText(123456789.0), "1,234568E+08");
}

TEST(GraphCopy, SpanAndLayout) {
  // Between the cursors the span is the cursor values themselves, smaller first.
  TCopySpan s = CopySpan(false, 0, 100, 4, 2);
  EXPECT_DOUBLE_EQ(s.XA, 2);
  EXPECT_DOUBLE_EQ(s.XB, 4);
  EXPECT_FALSE(s.Empty());
  EXPECT_TRUE(CopySpan(false, 0, 100, 3, 3).Empty());
  s = CopySpan(true, -0.2, 50, 4, 2);
  EXPECT_DOUBLE_EQ(s.XA, -0.2);
  EXPECT_DOUBLE_EQ(s.XB, 50);

  // Three bands of 7 mm at 96 dpi: 26 px each (26.46), title 10 mm = 38 px.
  TCopyLayout l = CopyLayout({7, 7, 7}, 10.0, 76, 96, 96);
  EXPECT_EQ(l.Height, 126);
  EXPECT_EQ(l.Width, 86);
  EXPECT_EQ(l.Draw, (TGraphRect{10, 10, 86, 88}));
  // The title is measured with the horizontal resolution, the bands with the vertical.
  l = CopyLayout({7}, 10.0, 10, 200, 100);
  EXPECT_EQ(l.Height, 10 + 28 + 79);
  // Room for the unit text right of the drawing: the bitmap grows, the drawing does not.
  l = CopyLayout({7, 7, 7}, 10.0, 76, 96, 96, 14);
  EXPECT_EQ(l.Width, 100);
  EXPECT_EQ(l.Draw.Right, 86);
  // Nothing to copy when no band has height.
  EXPECT_EQ(CopyLayout({0, 0}, 10.0, 76, 96, 96).Height, 0);
  EXPECT_EQ(CopyLayout({}, 10.0, 76, 96, 96).Height, 0);
}

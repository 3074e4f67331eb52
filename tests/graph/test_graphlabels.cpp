// Label placement, cursor readouts and the clipboard copy arithmetic of the graph.
#include <gtest/gtest.h>

#include "graphmodel.h"

namespace {

TGridLine Major(double v, int32_t px) {
  return {v, px, true};
}

}  // namespace

TEST(GraphLabels, SkipRules) {
  // Character width 7: labels closer than 17 pixels (right end to right end) are skipped.
  std::vector<TGridLine> lines = {Major(0, 0),  {0.5, 5, false}, Major(1, 10),     Major(2, 20),
                                  Major(3, 30), Major(4, 40),    Major(12345, 200)};
  auto labels = PlaceAxisLabels(lines, 100, 7, 1000);
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(labels[0].Text, "0");
  EXPECT_EQ(labels[0].X, 100 - 3);
  EXPECT_EQ(labels[1].Text, "2");      // "1" ends 10 px after "0": skipped
  EXPECT_EQ(labels[2].Text, "4");      // "3" is measured against "2", the last one written
  EXPECT_EQ(labels[3].Text, "12345");  // written in full
  EXPECT_EQ(labels[3].X, 100 + 200 - 35 / 2);

  // A label reaching the unit text is skipped, even the first one.
  labels = PlaceAxisLabels({Major(0, 0), Major(10, 50)}, 0, 7, 53);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].Text, "0");
  EXPECT_TRUE(PlaceAxisLabels({Major(0, 0)}, 0, 7, 3).empty());
  // Minor positions never carry labels.
  EXPECT_TRUE(PlaceAxisLabels({{1, 10, false}}, 0, 7, 1000).empty());
}

TEST(GraphLabels, CursorReadouts) {
  EXPECT_EQ(CursorValueText(2.5), "2,500");
  EXPECT_EQ(CursorValueText(10.0), "10,000");
  EXPECT_EQ(CursorValueText(10.0 - 2.5), "7,500");
  EXPECT_EQ(CursorValueText(-0.0004), "0,000");
  EXPECT_EQ(CursorValueText(-1.25), "-1,250");
  // Seven significant digits: 12345,6789 becomes 12345,68.
  EXPECT_EQ(CursorValueText(12345.6789), "12345,680");
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
  // Nothing to copy when no band has height.
  EXPECT_EQ(CopyLayout({0, 0}, 10.0, 76, 96, 96).Height, 0);
  EXPECT_EQ(CopyLayout({}, 10.0, 76, 96, 96).Height, 0);
}

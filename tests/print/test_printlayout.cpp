// Page arithmetic, margin texts and the settings grid table of printing.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "gridlayout.h"
#include "kivbase.h"
#include "numfmt.h"
#include "printlayout.h"

namespace {

const std::string kSource = KIVSVC_SOURCE_DIR;

// Every index once, in order, pages contiguous, and no page passing the limit unless it
// holds a single item.
void ExpectSoundPacking(const std::vector<int32_t>& sizes, int32_t start, int32_t limit,
                        const std::vector<TPageSpan>& pages) {
  int next = 0;
  for (const TPageSpan& p : pages) {
    ASSERT_EQ(p.First, next);
    ASSERT_LE(p.First, p.Last);
    long long edge = start;
    for (int i = p.First; i <= p.Last; ++i) edge += sizes[static_cast<size_t>(i)];
    if (p.Last > p.First) {
      EXPECT_LE(edge, limit);
    }
    next = p.Last + 1;
  }
  EXPECT_EQ(next, static_cast<int>(sizes.size()));
}

}  // namespace

TEST(PrintLayout, PageBoxAndPrintedSizes) {
  // A4 at 600 dpi: 15 mm and 20 mm edges, a quarter-millimetre pen.
  const TGridPageBox b = GridPageBox(600, 600, 210, 297);
  EXPECT_EQ(b.Left, 354);
  EXPECT_EQ(b.Right, 4606);
  EXPECT_EQ(b.Top, 472);
  EXPECT_EQ(b.Bottom, 6543);
  EXPECT_EQ(b.Pen, 6);
  // Different horizontal and vertical resolutions each govern their own direction.
  const TGridPageBox c = GridPageBox(300, 600, 210, 297);
  EXPECT_EQ(c.Left, 177);
  EXPECT_EQ(c.Top, 472);
  EXPECT_EQ(c.Pen, 3);

  // 88 screen pixels at 96 dpi are 550 printer pixels at 600 dpi; columns print 1.2 wide.
  EXPECT_EQ(ScreenToPrinter(88, 96, 600, 1.2), 660);
  EXPECT_EQ(ScreenToPrinter(18, 96, 600, 1.0), 112);  // 112.5, the half to even
  EXPECT_EQ(ScreenToPrinter(0, 96, 600, 1.2), 0);
  EXPECT_EQ(ScreenToPrinter(88, 0, 600, 1.2), 0);
}

TEST(PrintLayout, GreedyPackingGivesThePageCount) {
  std::vector<int32_t> sizes{30, 30, 30, 30};
  std::vector<TPageSpan> p = PackPages(sizes, 0, 70);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].Last, 1);
  EXPECT_EQ(p[1].First, 2);

  // Three columns of 40 on a page 70 wide add up to less than two pages, yet no two fit
  // together: the count comes from the walk, so no column is left unprinted.
  sizes = {40, 40, 40};
  p = PackPages(sizes, 10, 80);
  ASSERT_EQ(p.size(), 3u);
  ExpectSoundPacking(sizes, 10, 80, p);

  // An edge landing exactly on the limit stays on the page.
  EXPECT_EQ(PackPages({35, 35}, 0, 70).size(), 1u);
  // A column wider than the page gets a page of its own and the walk goes on.
  p = PackPages({100, 10, 10}, 0, 70);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].Last, 0);
  EXPECT_EQ(p[1].Last, 2);
  // Zero-width columns ride along with their neighbours.
  p = PackPages({0, 50, 0, 50}, 0, 60);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].Last, 2);
  // Nothing to print.
  EXPECT_TRUE(PackPages({}, 0, 70).empty());
  EXPECT_TRUE(PackPages({0, 0}, 0, 70).empty());

  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<int32_t> s(1 + rng() % 40);
    for (int32_t& v : s) v = static_cast<int32_t>(rng() % 120);
    const int32_t start = static_cast<int32_t>(rng() % 50);
    const int32_t limit = start + 1 + static_cast<int32_t>(rng() % 300);
    const std::vector<TPageSpan> pages = PackPages(s, start, limit);
    long long total = 0;
    for (int32_t v : s) total += v;
    if (total == 0) {
      EXPECT_TRUE(pages.empty());
      continue;
    }
    ExpectSoundPacking(s, start, limit, pages);
  }
}

TEST(PrintLayout, FootersAndTitles) {
  EXPECT_EQ(GridPageFooter(2, 1, 1), "str. 2");
  EXPECT_EQ(GridPageFooter(2, 3, 3), "str. 2 (cz.3)");
  EXPECT_EQ(GridPageFooter(1, 1, 2), "str. 1 (cz.1)");
  EXPECT_EQ(SequencePrintTitle("/home/eng/reports/File 1.kiv", 2, "Listing"),
            "File 1.kiv-Sequence 2-Listing");
  EXPECT_EQ(SequencePrintTitle("File 1.kiv", 12, "Route"), "File 1.kiv-Sequence 12-Route");
}

TEST(PrintLayout, MarginTexts) {
  EXPECT_EQ(FormatMargin(25), "2,50 cm");
  EXPECT_EQ(FormatMargin(18), "1,80 cm");
  EXPECT_EQ(FormatMargin(5), "0,50 cm");
  EXPECT_EQ(FormatMargin(0), "0,00 cm");
  EXPECT_EQ(FormatMargin(-7), "0,00 cm");
  // Two significant digits from 10 cm on.
  EXPECT_EQ(FormatMargin(123), "12,00 cm");
  EXPECT_EQ(FormatMargin(125), "13,00 cm");
  EXPECT_EQ(FormatMargin(2000), "2,0E+002 cm");

  EXPECT_EQ(ParseMargin("1,75 cm"), 18);
  EXPECT_EQ(ParseMargin("1.75 cm"), 18);  // a typed point is the separator too
  EXPECT_EQ(ParseMargin("2,50 cm"), 25);
  EXPECT_EQ(ParseMargin("3"), 30);
  EXPECT_EQ(ParseMargin("0,25cm"), 2);  // 2.5 tenths, the half to even
  EXPECT_EQ(ParseMargin("-3 cm"), 0);
  EXPECT_EQ(ParseMargin("99999999999"), 2147483647);
  EXPECT_THROW(ParseMargin("cm"), EConvertError);
  EXPECT_THROW(ParseMargin(" 1,5"), EConvertError);
  EXPECT_THROW(ParseMargin("1-2 cm"), EConvertError);
  // What is shown reads back as itself.
  for (int32_t m : {0, 1, 9, 10, 25, 99}) EXPECT_EQ(ParseMargin(FormatMargin(m)), m);
}

TEST(PrintLayout, SettingsGridTableFollowsTheWindowsGrid) {
  TKiv kiv;
  kiv.DefsDir = kSource + "/defs";
  ASSERT_TRUE(kiv.LoadFromFile(kSource + "/examples/demo-kivs2.kiv"));
  const TGridTable t1 = SettingsGridTable(kiv, 1);
  const TGridTable t2 = SettingsGridTable(kiv, 2);
  ASSERT_GE(t1.RowHeights.size(), static_cast<size_t>(znsgrid::kInitialRows));
  ASSERT_EQ(t1.Cells.size(), t1.RowHeights.size());
  EXPECT_EQ(t1.Cells[0].size(), t1.ColWidths.size());
  ASSERT_GT(t1.ColWidths.size(),
            static_cast<size_t>(std::max(
                {znsgrid::NameColumn(1), znsgrid::ValueColumn(1), znsgrid::SpacerColumn(1)})));
  EXPECT_EQ(t1.Text(0, 0), "def: Kivs2.set");
  EXPECT_EQ(t1.Text(1, 0), "1. Voltage thresholds");
  EXPECT_EQ(t1.Text(1, znsgrid::NameColumn(1)), "Rated voltage Vr [V]");
  EXPECT_EQ(t1.Text(1, znsgrid::ValueColumn(1)), "101");
  EXPECT_EQ(t1.ColWidths[0], 3 * znsgrid::kDefaultColWidth);
  EXPECT_EQ(t1.ColWidths[static_cast<size_t>(znsgrid::NameColumn(1))], 88);
  EXPECT_EQ(t1.ColWidths[static_cast<size_t>(znsgrid::ValueColumn(1))], 44);
  EXPECT_EQ(t1.ColWidths[static_cast<size_t>(znsgrid::SpacerColumn(1))], 29);
  // The two parsets differ in the undervoltage delay.
  EXPECT_EQ(t1.Text(2, znsgrid::ValueColumn(1)), "6,1");
  EXPECT_EQ(t2.Text(2, znsgrid::ValueColumn(1)), "6,4");
  EXPECT_EQ(t1.Text(999, 0), "");

  // An unknown device type leaves the grid as created: no texts.
  TKiv none;
  const TGridTable e = SettingsGridTable(none, 1);
  EXPECT_EQ(e.RowHeights.size(), static_cast<size_t>(znsgrid::kInitialRows));
  EXPECT_EQ(e.ColWidths.size(), static_cast<size_t>(znsgrid::kInitialCols));
  for (const auto& row : e.Cells) {
    for (const std::string& s : row) EXPECT_EQ(s, "");
  }
}

namespace {

// Every character 10 px wide, the ellipsis too (counted as one character).
int32_t Width10(const std::string& t) {
  int32_t n = 0;
  for (unsigned char c : t) n += (c & 0xC0) != 0x80;
  return 10 * n;
}

}  // namespace

TEST(PrintLayout, CellTextsStayInTheirCells) {
  // Names are elided with "…" at whole characters; what fits is kept as it is.
  EXPECT_EQ(ElideText("Voltage [%Vr]", 200, Width10), "Voltage [%Vr]");
  EXPECT_EQ(ElideText("Voltage [%Vr]", 60, Width10), "Volta\u2026");
  EXPECT_LE(Width10(ElideText("Voltage [%Vr]", 61, Width10)), 61);
  EXPECT_EQ(ElideText("Zał. łącznika", 50, Width10), "Zał.\u2026");
  EXPECT_EQ(ElideText("abc", 10, Width10), "\u2026");
  EXPECT_EQ(ElideText("abc", 5, Width10), "");

  // Values are never elided: their columns widen to the widest value plus the insets.
  TGridTable t;
  t.ColWidths = {100, 50, 20, 40};
  t.RowHeights = {10, 10, 10, 10};
  t.Cells = {
      {"def", "", "", ""}, {"S1", "80,5", "", "1234567"}, {"", "", "", ""}, {"", "", "", ""}};
  t.ValueCols = {false, true, false, true};
  const std::vector<int32_t> w = WidenValueColumns(t.ColWidths, t, Width10, 2);
  EXPECT_EQ(w, (std::vector<int32_t>{100, 50, 20, 74}));  // "80,5" fits 50; "1234567" needs 74
  // A hidden value column stays hidden.
  t.ColWidths[3] = 0;
  EXPECT_EQ(WidenValueColumns(t.ColWidths, t, Width10, 2)[3], 0);

  // Trailing empty rows are not printed; an empty grid keeps its first row.
  EXPECT_EQ(PrintedRowCount(t), 2);
  t.Cells[1] = {"", "", "", ""};
  t.Cells[0] = {"", "", "", ""};
  EXPECT_EQ(PrintedRowCount(t), 1);
  EXPECT_EQ(PrintedRowCount(TGridTable{}), 0);

  // The settings grid: value columns are those of the settings.
  const std::vector<bool> v = SettingsValueColumns(8);
  EXPECT_EQ(v, (std::vector<bool>{false, false, true, false, false, true, false, false}));
}

TEST(PrintLayout, ContinuationSheetsRepeatColumnZero) {
  // Page 0..100: column 0 (60) on the first sheet only as itself; later sheets start with it
  // again at a quarter of the page (25).
  const std::vector<int32_t> widths = {60, 30, 30, 30, 30, 30, 30};
  const std::vector<TColumnPage> pages = ColumnPages(widths, 0, 100);
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].Columns, (std::vector<int>{0, 1}));
  EXPECT_FALSE(pages[0].Repeated);
  EXPECT_EQ(pages[1].Columns, (std::vector<int>{0, 2, 3}));
  EXPECT_TRUE(pages[1].Repeated);
  EXPECT_EQ(pages[1].RepeatedWidth, 25);
  EXPECT_EQ(pages[2].Columns, (std::vector<int>{0, 4, 5}));
  EXPECT_EQ(pages[3].Columns, (std::vector<int>{0, 6}));
  std::vector<int> seen;
  for (const TColumnPage& p : pages) {
    int32_t edge = 0;
    for (size_t k = 0; k < p.Columns.size(); ++k) {
      edge += (k == 0 && p.Repeated) ? p.RepeatedWidth : widths[static_cast<size_t>(p.Columns[k])];
      if (!(k == 0 && p.Repeated)) seen.push_back(p.Columns[k]);
    }
    if (p.Columns.size() > (p.Repeated ? 2u : 1u)) {
      EXPECT_LE(edge, 100);
    }
  }
  // Every column once, in order, besides the repeats.
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  // A narrow column 0 is repeated at its own width; a column wider than a sheet gets one.
  const std::vector<TColumnPage> wide = ColumnPages({10, 80, 150, 20}, 0, 100);
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide[1].Columns, (std::vector<int>{0, 2}));
  EXPECT_EQ(wide[1].RepeatedWidth, 10);
  EXPECT_EQ(wide[2].Columns, (std::vector<int>{0, 3}));
  EXPECT_TRUE(ColumnPages({}, 0, 100).empty());
  EXPECT_TRUE(ColumnPages({0, 0}, 0, 100).empty());
}

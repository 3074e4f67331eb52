// Page arithmetic, margin texts and the settings grid table of printing.
#include <gtest/gtest.h>

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
  EXPECT_EQ(t1.Cells.size(), t1.RowHeights.size());
  EXPECT_EQ(t1.Cells[0].size(), t1.ColWidths.size());
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

#include <gtest/gtest.h>

#include "csvexport.h"
#include "extras_fixture.h"
#include "kivdate.h"
#include "lister.h"
#include "scenario.h"

using namespace extest;

namespace {

// Splits CSV text as a spreadsheet reads it: ";" between fields, quoted fields with doubled
// quotes, CR LF between rows.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        rows.back().back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        rows.back().back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ';') {
      rows.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.emplace_back(1);
      ++i;
    } else {
      rows.back().back() += c;
    }
  }
  if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
  return rows;
}

TEST(CsvExport, FieldsAndDates) {
  EXPECT_EQ(CsvField("plain, with comma"), "plain, with comma");
  EXPECT_EQ(CsvField("a;b"), "\"a;b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
  double d = 0;
  ASSERT_TRUE(TryEncodeDate(2023, 5, 17, d));
  EXPECT_EQ(CsvDateTime(d + (10 * 3600 + 30 * 60 + 1.0124) / 86400), "2023-05-17 10:30:01,012");
  // A text with every special character survives the spreadsheet's reading.
  const std::string nasty = "x;\"y\"\r\nz";
  EXPECT_EQ(ParseCsv(CsvField(nasty) + ";b\r\n"),
            (std::vector<std::vector<std::string>>{{nasty, "b"}}));
}

TEST(CsvExport, SmallSequenceMatchesGoldenFileAndListing) {
  TRegistration reg(kivtKivs2);
  reg.Load(SmallKivs2Sequence());
  const std::vector<TListedEvent> events = ListedEvents(reg.lister, 1);
  ASSERT_FALSE(events.empty());
  const std::string csv = EventsCsv(events);
  EXPECT_EQ(csv, Golden("small_kivs2.csv", csv));
  ASSERT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);

  // The rows carry what the listing shows: its bold lines are the event lines, its
  // regular lines the details.
  TLineCollector listing;
  reg.lister.SelectSequence(1);
  reg.lister.ForEachEvent(listing);
  std::vector<std::string> bold;
  size_t regular = 0;
  for (const TListedLine& l : listing.lines) (l.bold ? bold.push_back(l.text) : void(++regular));
  ASSERT_EQ(bold.size(), events.size());
  size_t details = 0;
  for (size_t i = 0; i < events.size(); ++i) {
    // A decoder may replace the event line with its own text.
    EXPECT_TRUE(bold[i] == events[i].Name || bold[i].ends_with(" [s] - " + events[i].Name))
        << bold[i];
    details += events[i].Details.size();
  }
  EXPECT_LE(details, regular);

  const auto rows = ParseCsv(csv.substr(3));
  ASSERT_EQ(rows.size(), events.size() + 1);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Sequence", "Date and time", "Relative [s]", "Code",
                                               "Name", "Details"}));
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 6u);
    EXPECT_EQ(rows[i][0], "1");
    EXPECT_EQ(rows[i][4], events[i - 1].Name);
  }
  EXPECT_EQ(rows[1][1], "2023-05-17 10:30:00,000");
  EXPECT_EQ(rows.back()[2], "0,930");  // 4 + 40 + 8 + 120 + 200 ticks of 2,5 ms
  EXPECT_TRUE(ListedEvents(reg.lister, 2).empty());
  EXPECT_TRUE(ListedEvents(reg.lister, 0).empty());
}

TEST(CsvExport, EveryGeneratedSequenceGivesOneRowPerListedEvent) {
  for (TKivType type : {kivtKivs2, kivtKivs3}) {
    TRegistration reg(type);
    GenerateScenario(reg.kiv, type, 11, 0);
    reg.lister.BuildSequences();
    for (uint16_t n = 1; n <= reg.lister.SequenceCount(); ++n) {
      const std::vector<TListedEvent> events = ListedEvents(reg.lister, n);
      TLineCollector listing;
      reg.lister.SelectSequence(n);
      reg.lister.ForEachEvent(listing);
      size_t bold = 0;
      for (const TListedLine& l : listing.lines) bold += l.bold ? 1 : 0;
      ASSERT_EQ(events.size(), bold) << "sequence " << n;
      const auto rows = ParseCsv(EventsCsv(events).substr(3));
      ASSERT_EQ(rows.size(), events.size() + 1);
      for (size_t i = 1; i < rows.size(); ++i) ASSERT_EQ(rows[i].size(), 6u);
      for (const TListedEvent& e : events) ASSERT_EQ(e.Sequence, n);
    }
  }
}

}  // namespace

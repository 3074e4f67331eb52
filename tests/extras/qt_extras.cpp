// The comparison view and the service report under the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <cstdlib>
#include <filesystem>

#include "extrasdlg.h"
#include "filesizelimit.h"
#include "graph.h"
#include "lister.h"
#include "printing.h"
#include "report.h"
#include "scenario.h"

namespace {

void SetReg(uint8_t* p, int r, uint16_t v) {
  p[2 * r] = static_cast<uint8_t>(v >> 8);
  p[2 * r + 1] = static_cast<uint8_t>(v);
}

// A generated KIVS-2 registration with the example definitions; parset 2 equals parset 1
// except in register 2 (the live line).
void MakeRegistration(TKiv& kiv, uint32_t seed) {
  kiv.DefsDir = KIVSVC_DEFS_DIR;
  GenerateScenario(kiv, kivtKivs2, seed, 4);
  std::copy(kiv.Zestaw1(), kiv.Zestaw1() + kiv.Zestaw1Length(), kiv.Zestaw2());
  kiv.SetZestaw2Length(kiv.Zestaw1Length());
  SetReg(kiv.Zestaw2(), 2, 123);
}

TEST(ExtrasWindow, ComparisonViewHighlightsAndFilters) {
  TKiv kiv, other;
  MakeRegistration(kiv, 3);
  MakeRegistration(other, 3);
  ASSERT_GT(kiv.Defs.SectionCount(), 0);
  TSettingsCompareDlg dlg(kiv, "a", {{"b", &other}});
  // Parset 1 against parset 2 of the same registration at first.
  EXPECT_EQ(dlg.Diff().DifferenceCount(), 1);
  QTableWidget* t = dlg.Table();
  const int all = t->rowCount();
  EXPECT_EQ(all, static_cast<int>(dlg.Diff().Rows().size()));
  int highlighted = 0;
  for (int r = 0; r < all; ++r)
    highlighted += t->item(r, 0)->background().color() == QColor(255, 230, 150) ? 1 : 0;
  EXPECT_EQ(highlighted, 1);
  // The README's picture of the view, when asked for.
  if (const char* shot = std::getenv("KIVSVC_EXTRAS_SHOT")) {
    dlg.resize(760, 420);
    dlg.grab().save(shot);
  }
  dlg.SetDifferencesOnly(true);
  ASSERT_EQ(t->rowCount(), 1);
  EXPECT_NE(t->item(0, 3)->text(), t->item(0, 2)->text());
  EXPECT_EQ(dlg.Summary()->text(), "1 differing settings");
  // Parset 1 against parset 1 of the other registration: the same values.
  dlg.SetSides(1, 2);
  EXPECT_EQ(dlg.SideB()->currentText(), "b: parset 1");
  EXPECT_EQ(t->rowCount(), 0);
  EXPECT_EQ(dlg.Summary()->text(), "No differences");
  // A file as the second side.
  const auto dir = std::filesystem::temp_directory_path() / "kivsvc_extras_qt";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "c.kiv").string();
  SetReg(other.Zestaw1(), 1, 7);
  ASSERT_TRUE(other.SaveToFile(file));
  ASSERT_TRUE(dlg.AddFile(file));
  EXPECT_EQ(dlg.SideB()->currentText(), "c: parset 1");
  EXPECT_EQ(dlg.Diff().DifferenceCount(), 1);
  std::filesystem::remove_all(dir);
}

class TSource : public IPrintSource {
 public:
  TSource(TKiv& kiv, TEvLister& lister, TGraph& graph, std::vector<int> items)
      : kiv_(kiv), lister_(lister), graph_(graph), items_(std::move(items)) {}
  std::string FileName() const override { return "a.kiv"; }
  std::vector<int> SelectedSequenceItems() const override { return items_; }
  TEvLister& Lister() override { return lister_; }
  TGraph& Graph() override { return graph_; }
  int SettingsTab() const override { return 0; }
  void SetSettingsTab(int) override {}
  TGridTable SettingsGrid() const override { return SettingsGridTable(kiv_, 1); }
  QFont GridFont() const override { return QFont("Arial", 8); }
  double ScreenDpiX() const override { return 96; }
  double ScreenDpiY() const override { return 96; }

 private:
  TKiv& kiv_;
  TEvLister& lister_;
  TGraph& graph_;
  std::vector<int> items_;
};

TEST(ExtrasWindow, ServiceReportIsOnePdf) {
  TKiv kiv;
  MakeRegistration(kiv, 5);
  kiv.SetStationInfo("GPZ Test");
  TGraph graph;
  graph.resize(1000, 400);
  TEvLister lister;
  lister.SetDevice(&kiv);
  lister.SetGraph(&graph.Model());
  lister.BuildSequences();
  ASSERT_GE(lister.SequenceCount(), 2);
  TSource source(kiv, lister, graph, {0, 1});
  const auto pdf = std::filesystem::temp_directory_path() / "kivsvc_extras_report.pdf";
  TReportResult r;
  std::string error;
  ASSERT_TRUE(WriteServiceReport(source, kiv, pdf.string(), r, error)) << error;
  EXPECT_EQ(r.HeaderPages, 1);
  EXPECT_EQ(r.DifferingRows, 1);
  EXPECT_EQ(r.Listings, 2);
  EXPECT_GE(r.GraphPages, 2);
  QFile f(QString::fromStdString(pdf.string()));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  EXPECT_GE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                bytes.count("/Type /Page>") + bytes.count("/Type /Page "),
            1 + r.GraphPages);
  f.close();
  {
    // Past a file size limit, as on a full disk, the report already there stays as it was.
    TFileSizeLimit limit(4096);
    ASSERT_TRUE(limit.Active());
    EXPECT_FALSE(WriteServiceReport(source, kiv, pdf.string(), r, error));
  }
  EXPECT_EQ(error.rfind("Cannot write " + pdf.string() + ": ", 0), 0u) << error;
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), bytes);
  f.close();
  for (const auto& e : std::filesystem::directory_iterator(pdf.parent_path()))
    EXPECT_EQ(e.path().filename().string().find("kivsvc_extras_report.pdf."), std::string::npos);
  std::filesystem::remove(pdf);

  const auto lines = ReportHeaderLines(kiv, "a.kiv");
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], (std::pair<std::string, std::string>{"Identification", "K2SV0104"}));
  EXPECT_EQ(lines[3], (std::pair<std::string, std::string>{"Station", "GPZ Test"}));

  // A file that cannot be made is said.
  EXPECT_FALSE(WriteServiceReport(source, kiv, "/nonexistent-dir/x.pdf", r, error));
  EXPECT_NE(error.find("Cannot write"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// kivtool report: the service report of a registration in one PDF, as File -> Service
// report of the window makes it.
#include <QApplication>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "common.h"
#include "graph.h"
#include "lister.h"
#include "printing.h"
#include "report.h"

namespace {

const char* kUsage = "Usage: kivtool report FILE.kiv [--seq N]... -o OUT.pdf";

// The registration as a window holds it after opening the file, the given sequences
// selected; the report prints no settings grid, so the grid is never asked for much.
class TReportSource : public IPrintSource {
 public:
  TReportSource(TKiv& kiv, TEvLister& lister, TGraph& graph, std::string fileName,
                std::vector<int> items)
      : kiv_(kiv),
        lister_(lister),
        graph_(graph),
        fileName_(std::move(fileName)),
        items_(std::move(items)) {}
  std::string FileName() const override { return fileName_; }
  std::vector<int> SelectedSequenceItems() const override { return items_; }
  TEvLister& Lister() override { return lister_; }
  TGraph& Graph() override { return graph_; }
  int SettingsTab() const override { return tab_; }
  void SetSettingsTab(int tab) override { tab_ = tab; }
  TGridTable SettingsGrid() const override { return SettingsGridTable(kiv_, tab_ + 1); }
  QFont GridFont() const override { return QFont("Arial", 8); }
  double ScreenDpiX() const override { return 96; }
  double ScreenDpiY() const override { return 96; }

 private:
  TKiv& kiv_;
  TEvLister& lister_;
  TGraph& graph_;
  std::string fileName_;
  std::vector<int> items_;
  int tab_ = 0;
};

}  // namespace

int CmdReport(int argc, char** argv) {
  TArgs args(argc, argv);
  const std::vector<std::string> seqTexts = args.Values("--seq");
  auto out = args.Value("-o");
  const std::string defsDir = DefsDirFrom(args);
  const std::vector<std::string> files = args.Positional();
  if (!out || files.size() != 1) throw EToolError(kUsage);
  if (!QString::fromStdString(*out).endsWith(".pdf", Qt::CaseInsensitive))
    throw EToolError("The output must be a .pdf file");

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  static int qtArgc = 1;
  static char name[] = "kivtool";
  static char* qtArgv[] = {name, nullptr};
  QApplication app(qtArgc, qtArgv);

  TKiv kiv;
  kiv.DefsDir = defsDir;
  LoadRegistration(kiv, files[0]);
  TGraph graph;
  graph.resize(1000, 400);
  graph.SetDataTimeType(TIntervalTimeType::Seconds);
  TEvLister lister;
  lister.SetDevice(&kiv);
  lister.SetGraph(&graph.Model());
  lister.BuildSequences();
  std::vector<int> items;
  for (const std::string& t : seqTexts) {
    size_t used = 0;
    int n = 0;
    try {
      n = std::stoi(t, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != t.size() || n < 1 || n > lister.SequenceCount())
      throw EToolError("No sequence " + t + " (the registration has " +
                       std::to_string(lister.SequenceCount()) + ")");
    items.push_back(n - 1);
  }
  TReportSource source(kiv, lister, graph,
                       QFileInfo(QString::fromStdString(files[0])).fileName().toStdString(), items);
  TReportResult r;
  std::string error;
  if (!WriteServiceReport(source, kiv, *out, r, error)) throw EToolError(error);
  std::printf("report pages: %d\ndiffering settings: %d\nlistings: %d\ngraph pages: %d\n",
              r.HeaderPages, r.DifferingRows, r.Listings, r.GraphPages);
  return 0;
}

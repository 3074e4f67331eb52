// kivtool print: the registration window's Print without the window. The listing and
// route graph of each given sequence and the settings grids, as the PrintFlags bits ask,
// go into one PDF through the same printing code the window uses; engineers make service
// reports with it in batches.
#include <QApplication>
#include <QFileInfo>
#include <QPrinter>
#include <QString>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "common.h"
#include "graph.h"
#include "gridprn.h"
#include "lister.h"
#include "printing.h"

namespace {

const char* kUsage =
    "Usage: kivtool print FILE.kiv [--seq N]... [--flags BITS] [--parset-tab 0|1] -o OUT.pdf";

// The screen the window's grid sizes are measured in, and the grid's font on it.
constexpr double kScreenDpi = 96;

QFont SettingsGridFont() {
  QFont f("Arial");
  f.setPixelSize(11);
  return f;
}

// A registration as the window would hold it after opening the file, with the sequence
// list's selection given on the command line.
class TToolPrintSource : public IPrintSource {
 public:
  TToolPrintSource(TKiv& kiv, TEvLister& lister, TGraph& graph, std::string fileName,
                   std::vector<int> items, int tab)
      : kiv_(kiv),
        lister_(lister),
        graph_(graph),
        fileName_(std::move(fileName)),
        items_(std::move(items)),
        tab_(tab) {}
  std::string FileName() const override { return fileName_; }
  std::vector<int> SelectedSequenceItems() const override { return items_; }
  TEvLister& Lister() override { return lister_; }
  TGraph& Graph() override { return graph_; }
  int SettingsTab() const override { return tab_; }
  void SetSettingsTab(int tab) override { tab_ = tab; }
  TGridTable SettingsGrid() const override { return SettingsGridTable(kiv_, tab_ + 1); }
  QFont GridFont() const override { return SettingsGridFont(); }
  double ScreenDpiX() const override { return kScreenDpi; }
  double ScreenDpiY() const override { return kScreenDpi; }

 private:
  TKiv& kiv_;
  TEvLister& lister_;
  TGraph& graph_;
  std::string fileName_;
  std::vector<int> items_;
  int tab_;
};

bool EndsWithPdf(const std::string& s) {
  return QString::fromStdString(s).endsWith(".pdf", Qt::CaseInsensitive);
}

std::unique_ptr<QApplication> StartQt() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static int argc = 1;
  static char name[] = "kivtool";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

int CmdPrint(int argc, char** argv) {
  TArgs args(argc, argv);
  const std::vector<std::string> seqTexts = args.Values("--seq");
  const int flags = args.IntValue("--flags", 3, 0, 15);
  const int tab = args.IntValue("--parset-tab", 0, 0, 1);
  auto out = args.Value("-o");
  const std::string defsDir = DefsDirFrom(args);
  const std::vector<std::string> files = args.Positional();
  if (!out || files.size() != 1) throw EToolError(kUsage);
  if (!EndsWithPdf(*out)) throw EToolError("The output must be a .pdf file");

  std::unique_ptr<QApplication> app = StartQt();
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
    if (used != t.size() || n < 1 || n > lister.SequenceCount()) {
      throw EToolError("No sequence " + t + " (the registration has " +
                       std::to_string(lister.SequenceCount()) + ")");
    }
    items.push_back(n - 1);
  }

  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setOutputFileName(QString::fromStdString(*out));

  TToolPrintSource source(kiv, lister, graph,
                          QFileInfo(QString::fromStdString(files[0])).fileName().toStdString(),
                          items, tab);
  TPrintSession session(printer);
  const TPrintResult r = PrintRegistration(source, static_cast<uint8_t>(flags), session);
  session.Finish();
  if (session.Sheets() == 0) throw EToolError("Nothing printed");
  std::printf("listings: %d\ngraph pages: %d\ngrid pages: %d\npages: %d\nparset tab: %d\n",
              r.Listings, r.GraphPages, r.GridPages, session.Sheets(), source.SettingsTab());
  return 0;
}

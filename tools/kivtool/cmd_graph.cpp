// kivtool graph: the route of one sequence (or the legend) drawn by the graph's own
// DrawPage onto a PNG image or onto the PDF printer, for reports and tests. Runs on the
// offscreen platform when no display is set, so it works in scripts and CI.
#include <QApplication>
#include <QImage>
#include <QPrinter>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "commands.h"
#include "common.h"
#include "drawing.h"
#include "graph.h"
#include "lister.h"
#include "printfile.h"
#include "route.h"

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    const char c = s[s.size() - tail.size() + i];
    if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != tail[i]) return false;
  }
  return true;
}

double NumberArg(const std::string& name, const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || *end != '\0') {
    throw EToolError("Invalid value of " + name + ": " + text);
  }
  return v;
}

}  // namespace

int CmdGraph(int argc, char** argv) {
  TArgs args(argc, argv);
  const bool legend = args.Flag("--legend");
  auto seqText = args.Value("--seq");
  auto out = args.Value("-o");
  const int dpi = args.IntValue("--dpi", 150, 30, 2400);
  auto scaleText = args.Value("--scale");
  auto fromText = args.Value("--from");
  auto toText = args.Value("--to");
  const std::string defsDir = DefsDirFrom(args);
  const std::vector<std::string> files = args.Positional();
  if (!out || legend == seqText.has_value() || (legend && !files.empty()) ||
      (!legend && files.size() != 1) || fromText.has_value() != toText.has_value()) {
    throw UsageError("graph");
  }
  const bool pdf = EndsWith(*out, ".pdf");
  if (!pdf && !EndsWith(*out, ".png")) throw EToolError("The output must be a .png or .pdf file");

  std::unique_ptr<QApplication> app = StartQt();
  TGraph graph;
  graph.resize(1000, 400);
  TKiv kiv;
  kiv.DefsDir = defsDir;
  TEvLister lister;
  lister.SetDevice(&kiv);
  lister.SetGraph(&graph.Model());
  if (legend) {
    lister.ShowLegend();
  } else {
    LoadRegistration(kiv, files[0]);
    const double n = NumberArg("--seq", *seqText);
    lister.BuildSequences();
    if (!(n >= 1 && n <= lister.SequenceCount()) || n != static_cast<int>(n)) {
      throw EToolError("No sequence " + *seqText + " (the registration has " +
                       std::to_string(lister.SequenceCount()) + ")");
    }
    lister.SelectSequence(static_cast<uint16_t>(n));
    graph.Model().PrintTitle = lister.SequenceHeader(static_cast<uint16_t>(n));
  }
  TGraphModel& m = graph.Model();
  if (m.SeriesCount() == 0) throw EToolError("The sequence has no route to draw");

  double xa = m.DataMinRange();
  double xb = m.DataMaxRange();
  if (fromText) {
    xa = NumberArg("--from", *fromText);
    xb = NumberArg("--to", *toText);
    if (!(xa < xb)) throw EToolError("--from must be below --to");
  }

  // The scale: a percentage, or the one that fits the span into the paper's usable width,
  // rounded down so that a fitted route never spills onto a second sheet.
  m.SetAutoscale(false);
  const double usable = UsableWidthMm(m.PaperWidth, m.MarginLeft, m.MarginRight);
  if (!scaleText || *scaleText == "fit") {
    m.SetScaleX(PaperFitScale(xa, xb, usable, m.dXPerDiv, m.dXLen, m.ScaleX()));
  } else {
    const double s = NumberArg("--scale", *scaleText);
    if (!(s >= 10 && s <= 50000)) throw EToolError("--scale must lie in 10..50000 or be fit");
    m.SetScaleX(static_cast<int32_t>(s));
  }

  if (pdf) {
    QPrinter printer(QPrinter::HighResolution);
    SetA4Pdf(printer);
    // A part of the route prints at any width, down to a switching's milliseconds.
    if (fromText) m.PrintSpan = std::make_pair(xa, xb);
    int pages = 0;
    std::string error;
    const bool printed = PrintToPdfFile(
        printer, *out,
        [&](std::string& why) {
          pages = graph.Print(1, 0x7FFFFFFF, &printer);
          if (pages == 0) why = "Nothing printed";
          return pages > 0;
        },
        error);
    if (!printed) throw EToolError(error);
    std::printf("pages: %d\nseries: %u\nscale: %d\n", pages, m.SeriesCount(), m.ScaleX());
    return 0;
  }
  // Wider than image formats and painters handle: say how to draw less, not fail later.
  constexpr int64_t kMaxImageWidth = 32767;
  const int64_t width = int64_t{ValueToPx(m.XScale(xa), dpi, xb)} + 2 * 10;
  if (width > kMaxImageWidth) {
    throw EToolError("The image would be " + std::to_string(width) + " pixels wide (at most " +
                     std::to_string(kMaxImageWidth) +
                     "): draw a part of the route with --from/--to, or a smaller --scale or --dpi");
  }
  const QImage image = graph.RenderImage(xa, xb, dpi, dpi, true);
  if (image.isNull()) throw EToolError("Nothing to draw");
  std::string error;
  if (!SavePngFile(image, *out, error)) throw EToolError(error);
  std::printf("size: %dx%d\nseries: %u\nscale: %d\n", image.width(), image.height(),
              m.SeriesCount(), m.ScaleX());
  return 0;
}

// kivtool report: the service report of a registration in one PDF, as File -> Service
// report of the window makes it.
#include <cstdio>
#include <memory>

#include "commands.h"
#include "common.h"
#include "drawing.h"
#include "report.h"

namespace {}  // namespace

int CmdReport(int argc, char** argv) {
  TArgs args(argc, argv);
  const std::vector<std::string> seqTexts = args.Values("--seq");
  auto out = args.Value("-o");
  const std::string defsDir = DefsDirFrom(args);
  const std::vector<std::string> files = args.Positional();
  if (!out || files.size() != 1) throw UsageError("report");
  RequirePdfOutput(*out);

  std::unique_ptr<QApplication> app = StartQt();
  TDrawnRegistration reg(defsDir);
  reg.Load(files[0]);
  TToolPrintSource source(reg, files[0], SequenceItems(reg.lister, seqTexts), 0);
  TReportResult r;
  std::string error;
  if (!WriteServiceReport(source, reg.kiv, *out, r, error)) throw EToolError(error);
  std::printf("report pages: %d\ndiffering settings: %d\nlistings: %d\ngraph pages: %d\n",
              r.HeaderPages, r.DifferingRows, r.Listings, r.GraphPages);
  return 0;
}

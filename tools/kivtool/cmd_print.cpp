// kivtool print: the registration window's Print without the window. The listing and
// route graph of each given sequence and the settings grids, as the PrintFlags bits ask,
// go into one PDF through the same printing code the window uses; engineers make service
// reports with it in batches.
#include <QPrinter>
#include <QString>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "common.h"
#include "drawing.h"
#include "gridprn.h"

namespace {}  // namespace

int CmdPrint(int argc, char** argv) {
  TArgs args(argc, argv);
  const std::vector<std::string> seqTexts = args.Values("--seq");
  const int flags = args.IntValue("--flags", 3, 0, 15);
  const int tab = args.IntValue("--parset-tab", 0, 0, 1);
  auto out = args.Value("-o");
  const std::string defsDir = DefsDirFrom(args);
  const std::vector<std::string> files = args.Positional();
  if (!out || files.size() != 1) throw UsageError("print");
  RequirePdfOutput(*out);

  std::unique_ptr<QApplication> app = StartQt();
  TDrawnRegistration reg(defsDir);
  reg.Load(files[0]);
  std::vector<int> items = SequenceItems(reg.lister, seqTexts);

  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setOutputFileName(QString::fromStdString(*out));

  TToolPrintSource source(reg, files[0], items, tab);
  TPrintSession session(printer);
  const TPrintResult r = PrintRegistration(source, static_cast<uint8_t>(flags), session);
  session.Finish();
  if (session.Sheets() == 0) throw EToolError("Nothing printed");
  std::printf("listings: %d\ngraph pages: %d\ngrid pages: %d\npages: %d\nparset tab: %d\n",
              r.Listings, r.GraphPages, r.GridPages, session.Sheets(), source.SettingsTab());
  return 0;
}

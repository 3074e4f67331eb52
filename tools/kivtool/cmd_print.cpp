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
#include "printfile.h"

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
  SetA4Pdf(printer);

  TToolPrintSource source(reg, files[0], items, tab);
  TPrintResult r;
  int sheets = 0;
  std::string error;
  const bool printed = PrintToPdfFile(
      printer, *out,
      [&](std::string& why) {
        TPrintSession session(printer);
        r = PrintRegistration(source, static_cast<uint8_t>(flags), session);
        session.Finish();
        sheets = session.Sheets();
        if (sheets == 0) why = "Nothing printed";
        return sheets > 0;
      },
      error);
  if (!printed) throw EToolError(error);
  std::printf("listings: %d\ngraph pages: %d\ngrid pages: %d\npages: %d\nparset tab: %d\n",
              r.Listings, r.GraphPages, r.GridPages, sheets, source.SettingsTab());
  return 0;
}

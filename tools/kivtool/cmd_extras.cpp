// kivtool diff / export: settings comparison of two parsets, and a sequence exported as
// COMTRADE files or as CSV for spreadsheets.
#include <cstdio>
#include <filesystem>
#include <string>

#include "commands.h"
#include "common.h"
#include "comtrade.h"
#include "csvexport.h"
#include "graphmodel.h"
#include "lister.h"
#include "settingsdiff.h"

namespace {

// "FILE.kiv", "FILE.kiv:1" or "FILE.kiv:2"; parset 1 when none is named.
struct TParsetArg {
  std::string file;
  int parset = 1;
};

TParsetArg ParseParsetArg(const std::string& text) {
  TParsetArg a{text, 1};
  if (text.size() > 2 && text[text.size() - 2] == ':' &&
      (text.back() == '1' || text.back() == '2')) {
    a.file = text.substr(0, text.size() - 2);
    a.parset = text.back() - '0';
  }
  return a;
}

}  // namespace

int CmdDiff(int argc, char** argv) {
  const std::string usage = CommandUsage("diff");
  TArgs args(argc, argv);
  const std::string defsDir = DefsDirFrom(args);
  const bool all = args.Flag("--all");
  const std::vector<std::string> pos = args.Positional();
  if (pos.size() != 2) throw EToolError("Usage: " + usage);
  const TParsetArg a = ParseParsetArg(pos[0]);
  const TParsetArg b = ParseParsetArg(pos[1]);
  TKiv ka, kb;
  ka.DefsDir = kb.DefsDir = defsDir;
  LoadRegistration(ka, a.file);
  LoadRegistration(kb, b.file);
  TSettingsDiff diff;
  diff.Compare(ParsetSide(ka, a.parset), ParsetSide(kb, b.parset));
  if (all) {
    for (const TSettingsDiffRow& r : diff.Rows()) {
      std::printf("%s %s / %s\t%s\t%s\n", r.Differs ? "*" : " ", r.Section.c_str(), r.Name.c_str(),
                  r.InA ? r.TextA.c_str() : "(none)", r.InB ? r.TextB.c_str() : "(none)");
    }
  } else {
    for (const std::string& l : DifferenceLines(diff)) std::printf("%s\n", l.c_str());
  }
  return diff.DifferenceCount() > 0 ? 1 : 0;
}

int CmdExport(int argc, char** argv) {
  const std::string usage = CommandUsage("export");
  TArgs args(argc, argv);
  const std::string defsDir = DefsDirFrom(args);
  const uint16_t seq = SequenceNumber(args, usage);
  auto comtradeDir = args.Value("--comtrade");
  auto csv = args.Value("--csv");
  const std::vector<std::string> pos = args.Positional();
  if (pos.size() != 1 || comtradeDir.has_value() == csv.has_value())
    throw EToolError("Usage: " + usage);
  TKiv kiv;
  kiv.DefsDir = defsDir;
  LoadRegistration(kiv, pos[0]);
  TEvLister lister;
  TGraphModel graph;
  lister.SetDevice(&kiv);
  lister.SetGraph(&graph);
  lister.BuildSequences();
  if (seq > lister.SequenceCount()) throw NoSequence(std::to_string(seq), lister.SequenceCount());
  std::string error;
  // An empty sequence gives neither a CSV of its header line nor COMTRADE files.
  if (lister.EventsMatrix().RowLength(seq) == 0) throw EToolError(NoEventsToExportText(seq));
  if (csv) {
    const std::vector<TListedEvent> events = ListedEvents(lister, seq);
    if (events.empty()) throw EToolError(NoEventsToExportText(seq));
    if (!SaveText(*csv, EventsCsv(events), error)) throw EToolError(error);
    std::printf("%s\n", csv->c_str());
    return 0;
  }
  TComtradeRecord rec;
  if (!SequenceToComtrade(lister, graph, seq, rec))
    throw EToolError("Sequence " + std::to_string(seq) + " has no route to export");
  const std::string base =
      std::filesystem::path(pos[0]).stem().string() + "_seq" + std::to_string(seq);
  if (!SaveComtrade(rec, *comtradeDir, base, error)) throw EToolError(error);
  std::printf("%s/%s.cfg\n%s/%s.dat\n", comtradeDir->c_str(), base.c_str(), comtradeDir->c_str(),
              base.c_str());
  return 0;
}

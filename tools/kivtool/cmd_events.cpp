// kivtool commands over the events buffer: the sequence list, a sequence's listing and
// route, the hexadecimal buffer display and the legend, as the registration window shows
// them.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "common.h"
#include "graphmodel.h"
#include "kivfiles.h"
#include "lister.h"
#include "route.h"

namespace {

constexpr const char* kSource =
    "(FILE.kiv | --buffer FILE --type kivs2|kivs3 [--ident TEXT]) [--correction on|off] "
    "[--all-events on|off] [--defs DIR]";

// The sequence list and the event listing as plain lines.
class TLineList : public ISequenceList, public IEventListing {
 public:
  struct TLine {
    std::string text;
    bool bold;
  };
  std::vector<TLine> lines;

  void Clear() override { lines.clear(); }
  void Append(const std::string& line) override { lines.push_back({line, false}); }
  int Count() const override { return static_cast<int>(lines.size()); }
  void SetMultiSelect(bool) override {}
  void SetSelected(int, bool) override {}
  void RunClick(void*) override {}
  void BeginUpdate() override {}
  void EndUpdate() override {}
  void AppendLine(const std::string& line, bool bold) override { lines.push_back({line, bold}); }

  void Print(bool withBold) const {
    for (const TLine& l : lines) {
      if (withBold) std::printf("%d\t", l.bold ? 1 : 0);
      std::printf("%s\n", l.text.c_str());
    }
  }
};

std::optional<bool> OnOff(TArgs& args, const std::string& name) {
  auto v = args.Value(name);
  if (!v) return std::nullopt;
  if (*v == "on") return true;
  if (*v == "off") return false;
  throw EToolError("Invalid value of " + name + ": " + *v + " (expected on or off)");
}

// Loads the registration file or the raw buffer the arguments name, applies the read
// option overrides and takes every option of the source; the remaining positional
// arguments must be exactly the file (or none with --buffer).
void LoadEventsSource(TArgs& args, TKiv& kiv, const std::string& usage) {
  kiv.DefsDir = DefsDirFrom(args);
  auto buffer = args.Value("--buffer");
  auto type = args.Value("--type");
  auto ident = args.Value("--ident");
  auto correction = OnOff(args, "--correction");
  auto allEvents = OnOff(args, "--all-events");
  auto files = args.Positional();

  if (buffer) {
    if (!files.empty() || !type || (*type != "kivs2" && *type != "kivs3"))
      throw EToolError("Usage: " + usage);
    if (ident) kiv.SetIdentification(*ident);
    kiv.SetKivType(*type == "kivs2" ? kivtKivs2 : kivtKivs3);
    std::vector<uint8_t> content;
    if (!ReadRawFile(*buffer, content, kivimg::kEventBufferCapacity))
      throw EToolError("Cannot open " + *buffer);
    std::copy(content.begin(), content.end(), kiv.EventBuffer());
    kiv.SetEventBufferLength(static_cast<uint16_t>(content.size()));
  } else {
    if (files.size() != 1 || type || ident) throw EToolError("Usage: " + usage);
    LoadRegistration(kiv, files[0]);
  }

  TReadOptions o = kiv.GetReadOptions();
  if (correction) o.CorrectIOTimes = *correction ? 1 : 0;
  if (allEvents) o.ShowAllEvents = *allEvents ? 1 : 0;
  kiv.SetReadOptions(o);
}

// The --seq value; nullopt for a number no sequence can have (the window shows nothing).
std::optional<uint16_t> SequenceArg(TArgs& args, const std::string& usage) {
  auto v = args.Value("--seq");
  if (!v) throw EToolError("Usage: " + usage);
  long long n = 0;
  try {
    size_t used = 0;
    n = std::stoll(*v, &used);
    if (used != v->size()) throw EToolError("");
  } catch (const std::exception&) {
    throw EToolError("Invalid value of --seq: " + *v);
  }
  if (n < 1 || n > 65535) return std::nullopt;
  return static_cast<uint16_t>(n);
}

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& l : lines) std::printf("%s\n", l.c_str());
}

}  // namespace

int CmdSequences(int argc, char** argv) {
  const std::string usage = std::string("kivtool sequences ") + kSource;
  TArgs args(argc, argv);
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TLineList list;
  lister.SetDevice(&kiv);
  lister.SetSequenceList(&list);
  lister.BuildSequences();
  list.Print(false);
  return 0;
}

int CmdListing(int argc, char** argv) {
  const std::string usage = std::string("kivtool listing ") + kSource + " --seq N [--bold]";
  TArgs args(argc, argv);
  auto seq = SequenceArg(args, usage);
  bool bold = args.Flag("--bold");
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TLineList listing;
  lister.SetDevice(&kiv);
  lister.SetEventListing(&listing);
  lister.BuildSequences();
  if (!seq || *seq > lister.SequenceCount()) return 0;
  lister.SelectSequence(*seq);
  listing.Print(bold);
  return 0;
}

int CmdRoute(int argc, char** argv) {
  const std::string usage = std::string("kivtool route ") + kSource + " --seq N";
  TArgs args(argc, argv);
  auto seq = SequenceArg(args, usage);
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TGraphModel graph;
  lister.SetDevice(&kiv);
  lister.SetGraph(&graph);
  lister.BuildSequences();
  if (!seq || *seq > lister.SequenceCount()) return 0;
  lister.SelectSequence(*seq);
  PrintLines(GraphSeriesLines(graph));
  return 0;
}

int CmdHex(int argc, char** argv) {
  const std::string usage = std::string("kivtool hex ") + kSource;
  TArgs args(argc, argv);
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TLineList listing;
  lister.SetDevice(&kiv);
  lister.SetEventListing(&listing);
  lister.BuildSequences();
  lister.ShowHexBuffer();
  listing.Print(false);
  return 0;
}

int CmdLegend(int argc, char** argv) {
  TArgs args(argc, argv);
  DefsDirFrom(args);  // accepted as by every command; the legend needs no definitions
  if (!args.Positional().empty()) throw EToolError("Usage: kivtool legend [--defs DIR]");
  TEvLister lister;
  TGraphModel graph;
  lister.SetGraph(&graph);
  lister.ShowLegend();
  PrintLines(GraphSeriesLines(graph));
  return 0;
}

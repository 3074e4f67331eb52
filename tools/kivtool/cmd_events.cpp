// kivtool commands over the events buffer: the sequence list, a sequence's listing and
// route, the hexadecimal buffer display and the legend, as the registration window shows
// them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// The lines of the sequence list or the event listing, one a line, each after its style
// (1 bold, 0 regular) and a tab when withBold.
void PrintListed(const std::vector<TListedLine>& lines, bool withBold) {
  for (const TListedLine& l : lines) {
    if (withBold) std::printf("%d\t", l.bold ? 1 : 0);
    std::printf("%s\n", l.text.c_str());
  }
}

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
  auto allEvents = args.Switch("--all-events");
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

// A time given on the command line, with "." or "," as the decimal separator.
double NumberValue(const std::string& name, std::string text) {
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(v)) {
    throw EToolError("Invalid value of " + name + ": " + text);
  }
  return v;
}

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& l : lines) std::printf("%s\n", l.c_str());
}

}  // namespace

int CmdSequences(int argc, char** argv) {
  const std::string usage = CommandUsage("sequences");
  TArgs args(argc, argv);
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TMemorySequenceList list;
  lister.SetDevice(&kiv);
  lister.SetSequenceList(&list);
  lister.BuildSequences();
  PrintLines(list.lines);
  return 0;
}

int CmdListing(int argc, char** argv) {
  const std::string usage = CommandUsage("listing");
  TArgs args(argc, argv);
  const uint16_t seq = SequenceNumber(args, usage);
  bool bold = args.Flag("--bold");
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TMemoryListing listing;
  lister.SetDevice(&kiv);
  lister.SetEventListing(&listing);
  lister.BuildSequences();
  if (seq > lister.SequenceCount()) throw NoSequence(std::to_string(seq), lister.SequenceCount());
  lister.SelectSequence(seq);
  PrintListed(listing.lines, bold);
  return 0;
}

int CmdRoute(int argc, char** argv) {
  const std::string usage = CommandUsage("route");
  TArgs args(argc, argv);
  const bool changes = args.Flag("--changes");
  auto fromText = args.Value("--from");
  auto toText = args.Value("--to");
  if (fromText.has_value() != toText.has_value() || (fromText && !changes)) {
    throw EToolError("Usage: " + usage);
  }
  const uint16_t seq = SequenceNumber(args, usage);
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TGraphModel graph;
  lister.SetDevice(&kiv);
  lister.SetGraph(&graph);
  lister.BuildSequences();
  if (seq > lister.SequenceCount()) throw NoSequence(std::to_string(seq), lister.SequenceCount());
  lister.SelectSequence(seq);
  if (!changes) {
    PrintLines(GraphSeriesLines(graph));
    return 0;
  }
  // The state changes as the window lists them between its cursors; the whole route when
  // no span is given.
  double from = graph.DataMinRange();
  double to = graph.DataMaxRange();
  if (fromText) {
    from = NumberValue("--from", *fromText);
    to = NumberValue("--to", *toText);
  }
  PrintLines(StateChangeLines(StateChanges(graph, from, to, RouteStateName)));
  return 0;
}

int CmdHex(int argc, char** argv) {
  const std::string usage = CommandUsage("hex");
  TArgs args(argc, argv);
  TKiv kiv;
  LoadEventsSource(args, kiv, usage);
  TEvLister lister;
  TMemoryListing listing;
  lister.SetDevice(&kiv);
  lister.SetEventListing(&listing);
  lister.BuildSequences();
  lister.ShowHexBuffer();
  PrintListed(listing.lines, false);
  // Where the records end, which the window leaves to the reader to see.
  const TWalkEnd end = lister.WalkEnd();
  std::printf("Walk ended at offset %d of %d: %s (records: %d)\n", end.Offset, end.Length,
              WalkStopText(end.Reason), end.Records);
  return 0;
}

int CmdLegend(int argc, char** argv) {
  TArgs args(argc, argv);
  DefsDirFrom(args);  // accepted as by every command; the legend needs no definitions
  if (!args.Positional().empty()) throw UsageError("legend");
  TEvLister lister;
  TGraphModel graph;
  lister.SetGraph(&graph);
  lister.ShowLegend();
  PrintLines(GraphSeriesLines(graph));
  return 0;
}

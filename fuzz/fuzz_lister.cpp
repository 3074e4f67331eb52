// The event lister over any events buffer of either device type (or none), with any read
// options, time corrections and system-logic flag: walking the buffer into sequences, the
// sequence list, the listing of chosen sequences, their route into the graph, the hex
// display, the legend and the printout. The walk of the buffer stops at a record boundary
// for the reason the bytes there give, the same for the sequences and the hex display.
// Everything it writes is valid UTF-8, and it reads nothing of the image beyond the
// buffer's length: the same buffer followed by different bytes gives the same output.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "eventtables.h"
#include "fuzz_common.h"
#include "fuzz_input.h"
#include "graphmodel.h"
#include "kivbase.h"
#include "lister.h"
#include "messages.h"
#include "textcodec.h"

namespace {

// Everything the lister writes, as one transcript: the sinks' contents after each step.
struct TTranscript {
  std::string text;
  TMemoryListing listing;
  TMemorySequenceList list;

  void Add(const char* what, const std::string& line) {
    FUZZ_CHECK(IsValidUtf8(line));
    text += what;
    text += line;
    text += '\n';
  }
  void AddLines(const char* bold, const char* regular, const std::vector<TListedLine>& lines) {
    for (const TListedLine& l : lines) Add(l.bold ? bold : regular, l.text);
  }
  // The views as a window would show them now.
  void AddViews() {
    FUZZ_CHECK(!listing.locked);
    text +=
        "listing " + std::to_string(listing.locks) + " " + std::to_string(listing.clears) + "\n";
    AddLines("B ", "L ", listing.lines);
    for (const std::string& l : list.lines) Add("S ", l);
    for (int i : list.selected) {
      FUZZ_CHECK(i >= 0 && i < list.Count());
      text += "<select " + std::to_string(i) + ">\n";
    }
  }
};

struct TSetup {
  TKivType type = kivtUnknown;
  TReadOptions options;
  bool sysLogick = false;
  int8_t di = 0, doo = 0, ai = 0;
  uint16_t pick = 0;
  std::vector<uint8_t> buffer;
};

void AddGraph(TTranscript& t, const TGraphModel& graph) {
  t.text += "graph " + std::to_string(graph.SeriesCount()) + "\n";
  for (uint16_t r = 1; r <= graph.SeriesCount(); ++r) {
    t.Add("G ", graph.GetRowName(r));
    for (uint16_t c = 1; c <= graph.PointCount(r); ++c) {
      const TGraphPoint p = graph.Point(r, c);
      t.text += std::to_string(p.X) + "\n";
    }
  }
}

// The walk stops at a record boundary of the buffer, for the reason the record there gives,
// after storing every record before it.
void CheckWalkEnd(const TKiv& kiv, const std::vector<uint8_t>& buf, const TWalkEnd& end) {
  const int length = static_cast<int>(buf.size());
  if (length == 0 || kiv.EventDefs.size() < static_cast<size_t>(kEventDefsBytes)) {
    FUZZ_CHECK(end.Reason == TWalkStop::NoBuffer && end.Offset == 0 && end.Records == 0);
    return;
  }
  FUZZ_CHECK(end.Length == length && end.Offset >= 0 && end.Offset <= length);
  const auto def = [&](int at) { return kiv.EventDefs.data() + buf[at] * kEventDefSize; };
  int p = 0;
  int records = 0;
  while (p < end.Offset) {
    const uint8_t* d = def(p);
    FUZZ_CHECK(d[kEvDefLength] != 0);
    if (d[kEvDefKind] == kKindJump) {
      FUZZ_CHECK(p + 1 < length && buf[p + 1] != kEndMarkerCount);
      p += buf[p + 1] + 2;
    } else {
      p += d[kEvDefLength];
      ++records;
    }
  }
  FUZZ_CHECK(p == end.Offset && records == end.Records);
  if (end.Reason == TWalkStop::BufferEnd) {
    FUZZ_CHECK(end.Offset == length);
    return;
  }
  FUZZ_CHECK(end.Offset < length);
  const uint8_t* d = def(end.Offset);
  const bool jump = d[kEvDefLength] != 0 && d[kEvDefKind] == kKindJump;
  const bool countByte = end.Offset + 1 < length;
  switch (end.Reason) {
    case TWalkStop::EndMarker:
      FUZZ_CHECK(jump && countByte && buf[end.Offset + 1] == kEndMarkerCount);
      break;
    case TWalkStop::JumpPastEnd:
      FUZZ_CHECK(jump && countByte && end.Offset + buf[end.Offset + 1] + 2 > length);
      break;
    case TWalkStop::TruncatedRecord:
      FUZZ_CHECK(jump ? !countByte : end.Offset + d[kEvDefLength] > length);
      break;
    case TWalkStop::UndefinedCode:
      FUZZ_CHECK(d[kEvDefLength] == 0);
      break;
    default:
      FuzzFail("the walk stops only where the buffer says so", __FILE__, __LINE__);
  }
}

// One run of the lister over the setup; the image's bytes after the buffer are `fill`.
std::string Run(const TSetup& s, uint8_t fill) {
  TKiv kiv;
  kiv.SetKivType(s.type);
  std::memset(kiv.EventBuffer(), fill, kivimg::kEventBufferCapacity);
  std::copy(s.buffer.begin(), s.buffer.end(), kiv.EventBuffer());
  kiv.SetEventBufferLength(static_cast<uint16_t>(s.buffer.size()));
  kiv.SetReadOptions(s.options);
  kiv.Defs.ImplementsSysLogick = s.sysLogick;
  kiv.Defs.DiCorrection = s.di;
  kiv.Defs.DoCorrection = s.doo;
  kiv.Defs.AiCorrection = s.ai;

  TTranscript t;
  TGraphModel graph;
  TEvLister lister;
  lister.SetDevice(&kiv);
  lister.SetEventListing(&t.listing);
  lister.SetSequenceList(&t.list);
  lister.SetGraph(&graph);
  t.list.onClick = [&] { lister.SelectSequence(1); };

  lister.BuildSequences();
  CheckWalkEnd(kiv, s.buffer, lister.WalkEnd());
  const uint16_t count = lister.SequenceCount();
  FUZZ_CHECK(t.list.Count() == count);
  t.AddViews();
  t.text += "first undefined " + std::to_string(lister.FirstUndefinedCode()) + "\n";
  for (uint16_t n = 1; n <= count; ++n) {
    FUZZ_CHECK(IsValidUtf8(lister.SequenceHeader(n)));
    const TSequenceRecord r = lister.SequenceRecord(n);
    t.text += std::to_string(r.StartKind) + " " + std::to_string(r.Start) + " " +
              std::to_string(r.End) + "\n";
  }
  FUZZ_CHECK(lister.SequenceHeader(0).empty() && lister.SequenceHeader(count + 1).empty());

  // The first, the last and one picked sequence, and numbers outside the list.
  const uint16_t picks[] = {1, count, static_cast<uint16_t>(count ? 1 + s.pick % count : 0), 0,
                            static_cast<uint16_t>(count + 1)};
  for (uint16_t n : picks) {
    lister.SelectSequence(n);
    t.text += "selected " + std::to_string(lister.SelectedSequence()) + "\n";
    lister.ShowEvents();
    TLineCollector lines;
    lister.ForEachEvent(lines);
    t.AddLines("EB ", "EL ", lines.lines);
    t.AddViews();
    AddGraph(t, graph);
  }
  lister.PrintTitle = "print";
  TMemoryPrintJob job;
  lister.PrintSequence(picks[2], job);
  FUZZ_CHECK(job.ended);
  t.Add("P ", job.title);
  t.AddLines("PB ", "PL ", job.lines);
  const TWalkEnd built = lister.WalkEnd();
  lister.ShowHexBuffer();
  // The display walks the same bytes and stops where the build stopped.
  const TWalkEnd shown = lister.WalkEnd();
  FUZZ_CHECK(shown.Reason == built.Reason && shown.Offset == built.Offset &&
             shown.Records == built.Records);
  t.text += std::string("walk ") + WalkStopText(shown.Reason) + " " + std::to_string(shown.Offset) +
            " " + std::to_string(shown.Records) + "\n";
  t.AddViews();
  lister.ShowLegend();
  AddGraph(t, graph);
  lister.Refresh(nullptr);
  t.AddViews();
  AddGraph(t, graph);
  return t.text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  TSetup s;
  s.type = in.IntegerInRange<TKivType>(0, 2);
  s.options.CorrectIOTimes = in.Integer<uint8_t>();
  s.options.ShowAllEvents = in.Integer<uint8_t>();
  s.sysLogick = in.Bool();
  s.di = in.Integer<int8_t>();
  s.doo = in.Integer<int8_t>();
  s.ai = in.Integer<int8_t>();
  s.pick = in.Integer<uint16_t>();
  s.buffer = in.Bytes(kivimg::kEventBufferCapacity);

  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  const std::string a = Run(s, 0x00);
  const std::string b = Run(s, 0xFF);
  FUZZ_CHECK(a == b);
  FUZZ_CHECK(messages.shown.empty());
  return 0;
}

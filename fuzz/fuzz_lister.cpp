// The event lister over any events buffer of either device type (or none), with any read
// options, time corrections and system-logic flag: walking the buffer into sequences, the
// sequence list, the listing of chosen sequences, their route into the graph, the hex
// display, the legend and the printout. Everything it writes is valid UTF-8, and it reads
// nothing of the image beyond the buffer's length: the same buffer followed by different
// bytes gives the same output.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "fuzz_input.h"
#include "graphmodel.h"
#include "kivbase.h"
#include "lister.h"
#include "messages.h"
#include "textcodec.h"

namespace {

// Everything the lister writes, in order, as one transcript.
class TTranscript : public IEventListing, public ISequenceList, public IPrintJob {
 public:
  std::string text;
  int count = 0;
  std::function<void()> onClick;

  void Add(const char* what, const std::string& line) {
    FUZZ_CHECK(IsValidUtf8(line));
    text += what;
    text += line;
    text += '\n';
  }
  // IEventListing
  void BeginUpdate() override { text += "<begin>\n"; }
  void EndUpdate() override { text += "<end>\n"; }
  void Clear() override {
    text += "<clear>\n";
    count = 0;
  }
  void AppendLine(const std::string& line, bool bold) override { Add(bold ? "B " : "L ", line); }
  // ISequenceList
  void Append(const std::string& line) override {
    Add("S ", line);
    ++count;
  }
  int Count() const override { return count; }
  void SetMultiSelect(bool) override {}
  void SetSelected(int index, bool on) override {
    FUZZ_CHECK(index >= 0 && index < count);
    text += on ? "<select>\n" : "<unselect>\n";
  }
  void RunClick(void*) override {
    if (onClick) onClick();
  }
  // IPrintJob
  void Begin(const std::string& title) override { Add("P ", title); }
  bool Aborted() const override { return false; }
  void PrintLine(const std::string& line, bool bold) override { Add(bold ? "PB " : "PL ", line); }
  void End() override { text += "<print end>\n"; }
};

class TLines : public ILineSink {
 public:
  explicit TLines(TTranscript& t) : t_(t) {}
  void Line(const std::string& text, bool bold) override { t_.Add(bold ? "EB " : "EL ", text); }

 private:
  TTranscript& t_;
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
  lister.SetEventListing(&t);
  lister.SetSequenceList(&t);
  lister.SetGraph(&graph);
  t.onClick = [&] { lister.SelectSequence(1); };

  lister.BuildSequences();
  const uint16_t count = lister.SequenceCount();
  FUZZ_CHECK(t.count == count);
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
    TLines lines(t);
    lister.ForEachEvent(lines);
    AddGraph(t, graph);
  }
  lister.PrintTitle = "print";
  lister.PrintSequence(picks[2], t);
  lister.ShowHexBuffer();
  lister.ShowLegend();
  AddGraph(t, graph);
  lister.Refresh(nullptr);
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

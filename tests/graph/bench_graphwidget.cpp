// One screen redraw of the graph at full-screen size: every series of the largest
// sequence of a full generated events buffer, and a 3-minute sequence with both grids
// visible, each rendered into the back buffer and painted onto the window. The median
// of the repetitions is the figure.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "graph.h"
#include "kivbase.h"
#include "lister.h"
#include "route.h"
#include "scenario.h"

namespace {

struct TFixture {
  TKiv kiv;
  TEvLister lister;
  std::unique_ptr<TGraph> graph;
  uint16_t sequence = 0;
  uint32_t points = 0;

  TFixture() {
    GenerateScenario(kiv, kivtKivs2, 1, 0);
    graph = std::make_unique<TGraph>();
    graph->resize(1920, 1080);
    graph->show();
    lister.SetDevice(&kiv);
    lister.SetGraph(&graph->Model());
    lister.BuildSequences();
    // The sequence with the most points to draw.
    for (uint16_t n = 1; n <= lister.SequenceCount(); ++n) {
      lister.SelectSequence(n);
      uint32_t total = 0;
      for (uint16_t r = 1; r <= graph->SeriesCount(); ++r) total += graph->Model().PointCount(r);
      if (total > points) {
        points = total;
        sequence = n;
      }
    }
    lister.SelectSequence(sequence);
    graph->SelectAll();
  }
};

void BM_GraphRedraw(benchmark::State& state) {
  static TFixture f;
  for (auto _ : state) {
    f.graph->Redraw();
    f.graph->repaint();
  }
  state.counters["series"] = f.graph->SeriesCount();
  state.counters["points"] = f.points;
}
BENCHMARK(BM_GraphRedraw)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->MinTime(0.3);

// A 3-minute sequence (188.6 s with the route's lead-in and lead-out) on a full screen with
// both grids visible: 40 series changing state every half second or so, fitted to the
// window, so the axis carries 189 majors with their ticks, labels and grid lines.
struct TLongFixture {
  std::unique_ptr<TGraph> graph;
  uint32_t points = 0;

  TLongFixture() {
    graph = std::make_unique<TGraph>();
    graph->resize(1920, 1080);
    graph->show();
    TGraphModel& m = graph->Model();
    m.ShowMajorGrid = true;
    m.ShowMinorGrid = true;
    graph->BeginUpdate();
    graph->Clear();
    for (uint16_t r = 1; r <= 40; ++r) {
      double x = -0.2;
      int state = r % 2;
      while (x < 188.4) {
        TGraphPoint p = StepTemplate(state);
        p.X = x;
        graph->AddPoint(r, p);
        ++points;
        state = (state + 1 + r) % 9;
        x += 0.3 + 0.05 * ((r * 7 + points) % 11);
      }
      TGraphPoint last = StepTemplate(state);
      last.X = 188.4;
      graph->AddPoint(r, last);
      ++points;
      graph->SetRowName(r, "Signal " + std::to_string(r));
    }
    graph->EndUpdate();
  }
};

void BM_GraphRedrawThreeMinutesWithGrid(benchmark::State& state) {
  static TLongFixture f;
  for (auto _ : state) {
    f.graph->Redraw();
    f.graph->repaint();
  }
  state.counters["series"] = f.graph->SeriesCount();
  state.counters["points"] = f.points;
  state.counters["scale"] = f.graph->ScaleX();
}
BENCHMARK(BM_GraphRedrawThreeMinutesWithGrid)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->MinTime(0.3);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

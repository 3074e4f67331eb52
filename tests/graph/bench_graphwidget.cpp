// One screen redraw of the graph at full-screen size: every series of the largest
// sequence of a full generated events buffer, rendered into the back buffer and
// painted onto the window. The median of the repetitions is the figure.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "graph.h"
#include "kivbase.h"
#include "lister.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

#include "matrix.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// An event-sized record whose last 8 bytes hold its time.
void Append(TOgmMatrix& m, uint16_t col, double key) {
  uint8_t rec[24] = {};
  PutDoubleLE(rec + 16, key);
  m.SetElement(rec, 1, col, sizeof rec);
}

void BM_AppendRow(benchmark::State& state) {
  const auto n = static_cast<uint16_t>(state.range(0));
  for (auto _ : state) {
    TKivMatrix m;
    for (uint16_t c = 1; c <= n; ++c) Append(m, c, c);
    benchmark::DoNotOptimize(m.RowCount);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AppendRow)->Arg(1000)->Arg(10000)->Arg(60000);

void BM_SortNearlySorted(benchmark::State& state) {
  const auto n = static_cast<uint16_t>(state.range(0));
  TKivMatrix m;
  for (auto _ : state) {
    state.PauseTiming();
    m.SetRowCount(0);
    // Events arrive newest first in runs: sorted stretches with a few strays.
    for (uint16_t c = 1; c <= n; ++c) Append(m, c, (c % 50 == 0) ? n - c : c);
    state.ResumeTiming();
    m.SortRow(1);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SortNearlySorted)->Arg(1000)->Arg(10000);

void BM_ReadInPlace(benchmark::State& state) {
  const uint16_t n = 10000;
  TKivMatrix m;
  for (uint16_t c = 1; c <= n; ++c) Append(m, c, c);
  for (auto _ : state) {
    double sum = 0;
    for (uint16_t c = 1; c <= n; ++c) sum += GetDoubleLE(m.ElementPtr(1, c) + 16);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ReadInPlace);

}  // namespace

BENCHMARK_MAIN();

// Decoding a full events buffer: many short sequences and one holding thousands of events,
// with the time corrections on, so that the large sequence must really be sorted.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "graphmodel.h"
#include "kivbase.h"
#include "lister.h"

namespace {

class TRandom {
 public:
  explicit TRandom(uint32_t seed) : state_(seed) {}
  uint32_t Next(uint32_t n) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % n;
  }

 private:
  uint32_t state_;
};

// KIVS-3 inputs (correction group 1) and outputs (group 2) that a transfer moves.
constexpr uint8_t kInputs[] = {0x00, 0x01, 0x04, 0x05, 0x0E, 0x0F, 0x24, 0x25, 0x26, 0x27,
                               0x34, 0x35, 0x36, 0x37, 0x44, 0x45, 0x46, 0x47, 0x28, 0x29};
constexpr uint8_t kOutputs[] = {0x80, 0x81, 0x84, 0x85, 0xA0, 0xA1, 0xA4, 0xA5, 0xB0, 0xB1};

using TRecord = std::vector<uint8_t>;

TRecord Event(uint8_t code, uint16_t ticks) {
  return {code, static_cast<uint8_t>(ticks >> 8), static_cast<uint8_t>(ticks)};
}

TRecord Switchgear(TRandom& rnd, uint16_t ticks) {
  TRecord r = {0xFB, static_cast<uint8_t>(ticks >> 8), static_cast<uint8_t>(ticks)};
  for (int i = 3; i < 16; ++i) r.push_back(static_cast<uint8_t>(rnd.Next(256)));
  return r;
}

TRecord Voltages(TRandom& rnd, uint16_t ticks) {
  TRecord r = {0xF6, static_cast<uint8_t>(ticks >> 8), static_cast<uint8_t>(ticks)};
  for (int i = 3; i < 9; ++i) r.push_back(static_cast<uint8_t>(rnd.Next(16)));
  return r;
}

// One sequence in the order it happened: clock time, state, events, closing state.
std::vector<TRecord> Sequence(TRandom& rnd, int day, int events) {
  std::vector<TRecord> s;
  s.push_back({0xF3, static_cast<uint8_t>(rnd.Next(60)), static_cast<uint8_t>(rnd.Next(24)),
               static_cast<uint8_t>(day), 5, 23});
  s.push_back(Switchgear(rnd, 0));
  for (int i = 0; i < events; ++i) {
    const auto ticks = static_cast<uint16_t>(rnd.Next(8));
    if (i % 40 == 39) {
      s.push_back(Voltages(rnd, ticks));
    } else if (rnd.Next(3) == 0) {
      s.push_back(Event(kOutputs[rnd.Next(sizeof kOutputs)], ticks));
    } else {
      s.push_back(Event(kInputs[rnd.Next(sizeof kInputs)], ticks));
    }
  }
  s.push_back(Switchgear(rnd, 400));
  return s;
}

// The buffer, newest first: 60 short sequences, then the large one, then the end marker.
std::vector<uint8_t> FullBuffer(int& largest) {
  TRandom rnd(7);
  std::vector<std::vector<TRecord>> sequences;
  for (int i = 0; i < 60; ++i) sequences.push_back(Sequence(rnd, 1 + i % 28, 12 + rnd.Next(20)));
  size_t used = 2;
  for (const auto& s : sequences)
    for (const TRecord& r : s) used += r.size();
  const size_t room = kivimg::kEventBufferCapacity - used;
  // The large sequence takes what is left: about 3.1 bytes per event.
  int events = static_cast<int>((room - 6 - 32) * 10 / 31);
  std::vector<TRecord> big;
  for (;;) {
    big = Sequence(rnd, 28, events);
    size_t size = 0;
    for (const TRecord& r : big) size += r.size();
    if (size <= room) break;
    events -= 10;
  }
  sequences.push_back(big);
  largest = static_cast<int>(sequences.size());

  std::vector<uint8_t> out;
  for (auto s = sequences.rbegin(); s != sequences.rend(); ++s)
    for (auto r = s->rbegin(); r != s->rend(); ++r) out.insert(out.end(), r->begin(), r->end());
  out.push_back(0xF0);
  out.push_back(0x7F);
  return out;
}

struct TSetup {
  TKiv kiv;
  TEvLister lister;
  TMemoryListing listing;
  TMemorySequenceList list;
  TGraphModel graph;
  int largest = 0;
  TSetup() {
    kiv.SetKivType(kivtKivs3);
    kiv.Defs.DiCorrection = -5;
    kiv.Defs.DoCorrection = 15;
    kiv.Defs.AiCorrection = -30;
    TReadOptions o = kiv.GetReadOptions();
    o.CorrectIOTimes = 1;
    kiv.SetReadOptions(o);
    const std::vector<uint8_t> bytes = FullBuffer(largest);
    std::copy(bytes.begin(), bytes.end(), kiv.EventBuffer());
    kiv.SetEventBufferLength(static_cast<uint16_t>(bytes.size()));
    lister.SetDevice(&kiv);
    lister.SetEventListing(&listing);
    lister.SetSequenceList(&list);
    lister.SetGraph(&graph);
  }
};

void Counters(benchmark::State& state, TSetup& s) {
  state.counters["sequences"] = s.lister.SequenceCount();
  state.counters["largest_events"] = s.lister.EventsMatrix().RowLength(s.lister.SequenceCount());
  state.counters["listing_lines"] = static_cast<double>(s.listing.lines.size());
  state.counters["series"] = s.graph.SeriesCount();
}

void BM_BuildSequences(benchmark::State& state) {
  TSetup s;
  for (auto _ : state) {
    s.lister.BuildSequences();
    benchmark::DoNotOptimize(s.list.lines.data());
  }
  s.lister.SelectSequence(static_cast<uint16_t>(s.largest));
  Counters(state, s);
}
BENCHMARK(BM_BuildSequences)->Unit(benchmark::kMicrosecond);

void BM_SelectLargestSequence(benchmark::State& state) {
  TSetup s;
  s.lister.BuildSequences();
  for (auto _ : state) {
    s.lister.SelectSequence(static_cast<uint16_t>(s.largest));
    benchmark::DoNotOptimize(s.listing.lines.data());
  }
  Counters(state, s);
}
BENCHMARK(BM_SelectLargestSequence)->Unit(benchmark::kMicrosecond);

void BM_BuildAndSelectLargest(benchmark::State& state) {
  TSetup s;
  for (auto _ : state) {
    s.lister.BuildSequences();
    s.lister.SelectSequence(static_cast<uint16_t>(s.largest));
    benchmark::DoNotOptimize(s.listing.lines.data());
  }
  Counters(state, s);
}
BENCHMARK(BM_BuildAndSelectLargest)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

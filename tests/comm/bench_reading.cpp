// A whole reading against kivsim, beside the floor the protocol imposes. Over Modbus TCP
// the floor is the pauses: one Wait(TimeSilence) per parset request and per events block.
// Over a 9600-baud line with line timing it is, per exchange, the request's wire time,
// then the silence or the device's latency and the reply's wire time, whichever is
// longer, plus the dialogue's pause after it.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <algorithm>

#include "simprocess.h"

namespace {

// One whole reading with the given link; the floor's pauses count the dialogue's silences.
struct TTimedReading {
  bool Ok = false;
  double Ms = 0;
  double SilencesMs = 0;
  int EventBytes = 0;
};

TTimedReading TimedReading(TCommSettings& settings) {
  TKiv kiv;
  kiv.DefsDir = DEFS_DIR;
  kiv.TraceMessages = false;
  TKivComm comm(kiv, settings);
  QElapsedTimer clock;
  clock.start();
  comm.ReadAll();
  TTimedReading r;
  r.Ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  r.Ok = !kiv.Error && !kiv.Cancel;
  r.SilencesMs = comm.SilenceCount() * static_cast<double>(settings.TimeSilence);
  r.EventBytes = kiv.EventBufferLength();
  return r;
}

void ReportOverFloor(benchmark::State& state, double readingMs, double floorMs) {
  const double n = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
  state.counters["reading_ms"] = readingMs / n;
  state.counters["floor_ms"] = floorMs / n;
  state.counters["overhead_%"] = floorMs > 0 ? 100.0 * (readingMs - floorMs) / floorMs : 0.0;
}

void BM_WholeReadingOverTcp(benchmark::State& state, const char* type) {
  SimProcess sim(false, {"--type", type});
  if (!sim.Ok()) {
    state.SkipWithError("kivsim did not start");
    return;
  }
  TMBTCPClient client;
  TQtWaiter waiter;
  TCommSettings settings;
  settings.MBTCPComm = true;
  settings.MBTCPPort = sim.Port();
  settings.TcpLink = &client;
  settings.Waiter = &waiter;
  settings.TimeSilence = static_cast<int32_t>(state.range(0));
  double readingMs = 0, floorMs = 0;
  for (auto _ : state) {
    const TTimedReading r = TimedReading(settings);
    state.SetIterationTime(r.Ms / 1000.0);
    if (!r.Ok) {
      state.SkipWithError("the reading failed");
      return;
    }
    readingMs += r.Ms;
    floorMs += r.SilencesMs;
  }
  ReportOverFloor(state, readingMs, floorMs);
}

BENCHMARK_CAPTURE(BM_WholeReadingOverTcp, kivs2, "kivs2")
    ->Arg(50)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_WholeReadingOverTcp, kivs3, "kivs3")
    ->Arg(50)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The serial port with a tally of the floor: what each exchange must take at least.
class FloorSerial : public ISerialLink {
 public:
  FloorSerial(ISerialLink& inner, int silenceMs, int latencyMs)
      : inner_(inner), silenceMs_(silenceMs), latencyMs_(latencyMs) {}
  int Write(const uint8_t* data, int count) override {
    Close();
    floorMs_ += count * CharMs();
    open_ = true;
    return inner_.Write(data, count);
  }
  int Read(uint8_t* buffer, int capacity) override {
    const int n = inner_.Read(buffer, capacity);
    replyBytes_ += std::max(0, n);
    return n;
  }
  int DiscardInput() override { return inner_.DiscardInput(); }
  int BitsPerSecond() const override { return inner_.BitsPerSecond(); }
  std::string LastFailure() const override { return inner_.LastFailure(); }
  double FloorMs() {
    Close();
    return floorMs_;
  }

 private:
  double CharMs() const { return 10000.0 / inner_.BitsPerSecond(); }
  void Close() {
    if (open_) floorMs_ += std::max<double>(silenceMs_, latencyMs_ + replyBytes_ * CharMs());
    open_ = false;
    replyBytes_ = 0;
  }
  ISerialLink& inner_;
  int silenceMs_, latencyMs_;
  bool open_ = false;
  int replyBytes_ = 0;
  double floorMs_ = 0;
};

// A whole KIVS-3 reading at 9600 baud through a pseudo-terminal pair, kivsim keeping the
// line's timing and answering after the device latency given as the argument.
void BM_WholeReadingOverLine(benchmark::State& state) {
  const int latency = static_cast<int>(state.range(0));
  SimProcess sim(true, {"--line-timing", "--latency", QString::number(latency), "--type", "kivs3"},
                 9600);
  TRsdHan han;
  han.CommPort = sim.Dev();
  han.BaudRate = br9600;
  if (!sim.Ok() || han.Open() != 0) {
    state.SkipWithError("kivsim or socat did not start");
    return;
  }
  TQtWaiter waiter;
  TCommSettings settings;  // Time_Out 500, TimeSilence 300
  settings.Waiter = &waiter;
  double readingMs = 0, floorMs = 0;
  for (auto _ : state) {
    FloorSerial floor(han, settings.TimeSilence, latency);
    settings.SerialPort = &floor;
    const TTimedReading r = TimedReading(settings);
    state.SetIterationTime(r.Ms / 1000.0);
    if (!r.Ok) {
      state.SkipWithError("the reading failed");
      break;
    }
    readingMs += r.Ms;
    floorMs += floor.FloorMs() + r.SilencesMs;
    state.counters["events_bytes"] = r.EventBytes;
  }
  han.Close();
  ReportOverFloor(state, readingMs, floorMs);
}

BENCHMARK(BM_WholeReadingOverLine)
    ->Arg(50)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

// A whole reading over Modbus TCP against kivsim, beside the floor its pauses impose:
// one Wait(TimeSilence) per parset request and per events block.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>
#include <memory>

#include "kivcomm.h"
#include "mbtcpclient.h"
#include "qtwaiter.h"

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "comm_bench";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// kivsim serving one device on a free port of 127.0.0.1.
class Simulator {
 public:
  explicit Simulator(const char* type) {
    App();
    process_.start(KIVSIM_PATH, {"--tcp", "127.0.0.1:0", "--type", type, "--defs", DEFS_DIR});
    QRegularExpression listening("listening on tcp [0-9.]+:([0-9]+)");
    QByteArray out;
    while (port_ == 0 && process_.waitForReadyRead(5000)) {
      out += process_.readAllStandardOutput();
      const auto m = listening.match(QString::fromUtf8(out));
      if (m.hasMatch()) port_ = static_cast<uint16_t>(m.captured(1).toInt());
    }
  }
  ~Simulator() {
    process_.terminate();
    process_.waitForFinished(3000);
  }
  uint16_t Port() const { return port_; }

 private:
  QProcess process_;
  uint16_t port_ = 0;
};

void BM_WholeReadingOverTcp(benchmark::State& state, const char* type) {
  Simulator sim(type);
  if (sim.Port() == 0) {
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
    TKiv kiv;
    kiv.DefsDir = DEFS_DIR;
    kiv.TraceMessages = false;
    TKivComm comm(kiv, settings);
    QElapsedTimer clock;
    clock.start();
    comm.ReadAll();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    state.SetIterationTime(ms / 1000.0);
    if (kiv.Error || kiv.Cancel) {
      state.SkipWithError("the reading failed");
      return;
    }
    readingMs += ms;
    floorMs += comm.SilenceCount() * static_cast<double>(settings.TimeSilence);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["reading_ms"] = readingMs / n;
  state.counters["floor_ms"] = floorMs / n;
  state.counters["overhead_%"] = floorMs > 0 ? 100.0 * (readingMs - floorMs) / floorMs : 0.0;
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

}  // namespace

BENCHMARK_MAIN();

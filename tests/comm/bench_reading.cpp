// A whole reading against kivsim, beside the floor the protocol imposes. Over Modbus TCP
// the floor is the pauses: one Wait(TimeSilence) per parset request and per events block.
// Over a 9600-baud line with line timing it is, per exchange, the request's wire time,
// then the silence or the device's latency and the reply's wire time, whichever is
// longer, plus the dialogue's pause after it.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>
#include <memory>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>

#include "kivcomm.h"
#include "mbtcpclient.h"
#include "qtwaiter.h"
#include "rsdhan.h"

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
  App();
  QTemporaryDir dir;
  const QString dev = dir.filePath("dev"), peer = dir.filePath("peer");
  QProcess socat;
  socat.start("socat", {"pty,raw,echo=0,link=" + dev, "pty,raw,echo=0,link=" + peer});
  for (int i = 0; i < 200 && !(QFileInfo::exists(dev) && QFileInfo::exists(peer)); ++i)
    QThread::msleep(10);
  const int latency = static_cast<int>(state.range(0));
  QProcess sim;
  sim.start(KIVSIM_PATH, {"--serial", peer, "--baud", "9600", "--line-timing", "--latency",
                          QString::number(latency), "--type", "kivs3", "--defs", DEFS_DIR});
  QByteArray out;
  while (!out.contains("listening on") && sim.waitForReadyRead(5000)) out += sim.readAll();
  TRsdHan han;
  han.CommPort = dev.toStdString();
  han.BaudRate = br9600;
  if (!out.contains("listening on") || han.Open() != 0) {
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
      break;
    }
    readingMs += ms;
    floorMs += floor.FloorMs() + comm.SilenceCount() * static_cast<double>(settings.TimeSilence);
    state.counters["events_bytes"] = kiv.EventBufferLength();
  }
  han.Close();
  sim.terminate();
  sim.waitForFinished(3000);
  socat.terminate();
  socat.waitForFinished(2000);
  const double n = static_cast<double>(state.iterations());
  state.counters["reading_ms"] = readingMs / n;
  state.counters["floor_ms"] = floorMs / n;
  state.counters["overhead_%"] = floorMs > 0 ? 100.0 * (readingMs - floorMs) / floorMs : 0.0;
}

BENCHMARK(BM_WholeReadingOverLine)
    ->Arg(50)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

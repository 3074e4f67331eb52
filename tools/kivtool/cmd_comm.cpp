// kivtool read / write: a whole reading of a device, or the writing of a parset, over
// Modbus TCP or a serial port, with the trace as the window's message list shows it.
#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "common.h"
#include "hostport.h"
#include "kivcomm.h"
#include "mbtcpclient.h"
#include "qtwaiter.h"
#include "rsdhan.h"
#include "tracelist.h"
#include "writeverify.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) {
  gInterrupted = 1;
}

// Prints the message list to standard output. A line is printed once a later line
// follows it: until then a progress line may still be replaced or get its dots.
class TPrintedTraceList : public TStringTraceList {
 public:
  ~TPrintedTraceList() override { Flush(); }
  void Append(const std::string& line) override {
    Flush();
    TStringTraceList::Append(line);
  }
  // Prints the lines held (at most the last one) and forgets them.
  void Flush() {
    for (const std::string& l : lines) std::printf("%s\n", l.c_str());
    std::fflush(stdout);
    lines.clear();
  }
};

const TBaudRate kRates[] = {br110,   br300,   br600,   br1200,  br2400,  br4800,  br9600,
                            br14400, br19200, br38400, br56000, br57600, br115200};

// The link options shared by read and write.
struct TLink {
  TCommSettings settings;
  std::unique_ptr<TRsdHan> serial;
  std::unique_ptr<TMBTCPClient> tcp;
  TQtWaiter waiter;
};

void OpenLink(TArgs& args, TLink& link) {
  auto tcp = args.Value("--tcp");
  auto serial = args.Value("--serial");
  const int baud = args.IntValue("--baud", 9600, 1, 4000000);
  link.settings.Time_Out = args.IntValue("--time-out", 500, 1, 600000);
  link.settings.TimeSilence = args.IntValue("--silence", 300, 0, 600000);
  link.settings.Waiter = &link.waiter;
  if (tcp.has_value() == serial.has_value())
    throw EToolError("Give either --tcp HOST[:PORT] or --serial PORT");
  if (tcp) {
    const std::optional<THostPort> where = ParseHostPort(*tcp, 502);
    if (!where || where->Host.empty())
      throw EToolError("Invalid TCP address: " + *tcp + " (HOST[:PORT], [IPv6][:PORT])");
    link.tcp = std::make_unique<TMBTCPClient>();
    link.settings.MBTCPComm = true;
    link.settings.MBTCPIP = where->Host;
    link.settings.MBTCPPort = where->Port;
    link.settings.TcpLink = link.tcp.get();
    return;
  }
  link.serial = std::make_unique<TRsdHan>();
  link.serial->CommPort = *serial;
  bool known = false;
  for (TBaudRate r : kRates)
    if (BaudRateValue(r) == baud) {
      link.serial->BaudRate = r;
      known = true;
    }
  if (!known) throw EToolError("Unsupported speed: " + std::to_string(baud));
  try {
    if (link.serial->Open() != TRsdHan::kStatusOpen)
      throw EToolError("Cannot open serial port " + *serial);
  } catch (const EComState& e) {
    throw EToolError(e.what());
  }
  link.settings.SerialPort = link.serial.get();
}

// The --slave value: a Modbus slave address, 1 to 247 (0 would reach every device on the
// line at once); def when not given.
int SlaveNumber(TArgs& args, int def) {
  return args.IntValue("--slave", def, 1, 247);
}

// Cancels the dialogue when SIGINT arrives, as the window's Cancel button does; the
// dialogue's waits handle the timer.
class TInterruptCancel {
 public:
  explicit TInterruptCancel(TKivComm& comm) {
    gInterrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    QObject::connect(&timer_, &QTimer::timeout, [&comm] {
      if (gInterrupted) comm.CancelReading();
    });
    timer_.start(20);
  }
  ~TInterruptCancel() { std::signal(SIGINT, SIG_DFL); }

 private:
  QTimer timer_;
};

}  // namespace

int CmdRead(int argc, char** argv) {
  int qtArgc = 1;
  QCoreApplication app(qtArgc, argv);
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  TReadOptions options = kiv.GetReadOptions();
  options.SlaveNo = static_cast<uint8_t>(SlaveNumber(args, 31));
  options.ReadZestaw1 = args.Flag("--no-parset1") ? 0 : 1;
  options.ReadZestaw2 = args.Flag("--no-parset2") ? 0 : 1;
  options.ReadEventRegister = args.Flag("--no-events") ? 0 : 1;
  options.ShowAllEvents = args.Switch("--all-events").value_or(false) ? 1 : 0;
  kiv.SetReadOptions(options);
  kiv.TraceMessages = args.Flag("--trace");
  auto out = args.Value("-o");
  TLink link;
  if (!out) throw UsageError("read");
  OpenLink(args, link);
  if (!args.Positional().empty()) throw EToolError("Unexpected argument");

  TPrintedTraceList trace;
  kiv.SetTraceList(&trace);
  TKivComm comm(kiv, link.settings);
  {
    TInterruptCancel cancel(comm);
    comm.ReadAll();
  }
  trace.Flush();
  kiv.SetTraceList(nullptr);
  if (kiv.Error || kiv.Cancel) {
    // The newest events of a reading that broke off are worth keeping, but the reading
    // did not end normally.
    if (comm.EventsKept() > 0) SaveRegistration(kiv, *out);
    return 1;
  }
  SaveRegistration(kiv, *out);
  return 0;
}

int CmdWrite(int argc, char** argv) {
  int qtArgc = 1;
  QCoreApplication app(qtArgc, argv);
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  const int from = args.IntValue("--from", 0, 1, 2);
  const int to = args.IntValue("--to", 0, 1, 2);
  const int slave = SlaveNumber(args, 0);
  kiv.TraceMessages = args.Flag("--trace");
  const bool verify = !args.Flag("--no-verify");
  TLink link;
  OpenLink(args, link);
  const std::vector<std::string> files = args.Positional();
  if (files.size() != 1 || from == 0 || to == 0) throw UsageError("write");
  LoadRegistration(kiv, files[0]);
  // Without --slave the device is the one the registration was read from.
  if (slave != 0) {
    TReadOptions options = kiv.GetReadOptions();
    options.SlaveNo = static_cast<uint8_t>(slave);
    kiv.SetReadOptions(options);
  }

  TPrintedTraceList trace;
  kiv.SetTraceList(&trace);
  TKivComm comm(kiv, link.settings);
  bool ok = false;
  {
    TInterruptCancel cancel(comm);
    if (verify)
      ok = WriteZestawVerified(comm, kiv, from, to) == TWriteCheck::Verified;
    else
      ok = comm.WriteZestaw(from, to) == kivcomm::TWriteOutcome::Written;
  }
  trace.Flush();
  kiv.SetTraceList(nullptr);
  return ok ? 0 : 1;
}

// kivsim: one simulated KIVS-2 or KIVS-3 over Modbus TCP or Modbus RTU, for tests and
// training without hardware.
#include <QCoreApplication>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include <unistd.h>

#include "kivbase.h"
#include "kivfiles.h"
#include "scenario.h"
#include "simserver.h"
#include "textcodec.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) {
  gStop = 1;
}

const char kUsage[] =
    "Usage: kivsim [--tcp [HOST:]PORT | --serial PORT [--baud N] [--line-timing]\n"
    "              [--latency MS] [--echo]] [--slave N]\n"
    "              [--kiv FILE.kiv | --type kivs2|kivs3 [--seed N]] [--defs DIR]\n"
    "              [--save FILE.kiv] [--max-events BYTES]\n"
    "Failure switches (requests count from 1):\n"
    "  --fault KIND[=ARG][@N]   a fault of the N-th reply (every reply without @N);\n"
    "                           repeatable. KIND: silent, cut=B, reset=B, junk-before=K,\n"
    "                           junk-after=K, flip=BIT, address=A, function=F, exception=C,\n"
    "                           exception-nocode, byte-count=V, data-bytes=V, echo-address=A,\n"
    "                           echo-count=C, late=MS, noise, stray-before=B,\n"
    "                           stray-after=B; and for the whole run:\n"
    "                           no-reply@N        no reply to the N-th request\n"
    "                           wrong-crc@N       the N-th reply has a wrong CRC (serial)\n"
    "                           other-address@N   the N-th reply comes from another slave\n"
    "                                             address (serial)\n"
    "                           exception-at-block=K  exception reply to events block K\n"
    "                                             (1 = first)\n"
    "                           delay=M[@N]       replies (or only the N-th) leave M ms late\n"
    "                           split-pause=M     replies go out in two parts with a pause\n"
    "                                             of M ms (serial)\n"
    "  --refuse-identification  exception reply to the identification\n"
    "Older spellings of the run faults: --no-reply-to N, --wrong-crc-at N,\n"
    "  --other-address-at N, --exception-at-block K, --delay-ms M [--delay-at N],\n"
    "  --split-pause-ms M\n"
    "Serial line:\n"
    "  --line-timing            requests count as received after their wire time at the\n"
    "                           baud rate; replies leave one character per 10/baud s\n"
    "  --latency MS             the device answers MS ms after a request is in\n"
    "  --echo                   the line echoes every request (a two-wire adapter)\n"
    "  --noise                  random bytes on the line: most replies are noise or damaged,\n"
    "                           and bursts of noise come between them\n"
    "  --control                read faults from standard input, one a line: KIND[=ARG] for\n"
    "                           the next reply, KIND[=ARG]@+K for the K-th reply from now,\n"
    "                           'clear' to drop them; each line is answered 'kivsim: armed';\n"
    "                           the simulator ends with its input\n"
    "Other:\n"
    "  --help, -h               this text\n"
    "  --version                the version of kivsim\n";

[[noreturn]] void Fail(const std::string& text) {
  std::fprintf(stderr, "kivsim: %s\n%s", text.c_str(), kUsage);
  std::exit(2);
}

int ToInt(const std::string& name, const std::string& text, int min, int max) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || v < min || v > max)
    Fail("bad value for " + name + ": " + text);
  return static_cast<int>(v);
}

// The older failure switches are spellings of --fault kinds: both end here.
void AddFault(const std::string& text, TSimFaults& faults) {
  std::string error;
  if (!::AddFault(text, faults, &error)) Fail(error);
}

struct TOptions {
  std::string tcp;  // [HOST:]PORT
  std::string serial;
  int baud = 9600;
  int slave = 31;
  std::string kivFile;
  std::string type;
  int seed = 1;
  int maxEvents = 10240;
  std::string defs;
  std::string save;
  TSimFaults faults;
  TLineOptions line;
  bool control = false;
};

TOptions Parse(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(a + " needs a value");
      return argv[++i];
    };
    if (a == "--tcp")
      o.tcp = value();
    else if (a == "--serial")
      o.serial = value();
    else if (a == "--baud")
      o.baud = ToInt(a, value(), 50, 4000000);
    else if (a == "--slave")
      o.slave = ToInt(a, value(), 0, 247);
    else if (a == "--kiv")
      o.kivFile = value();
    else if (a == "--type")
      o.type = value();
    else if (a == "--seed")
      o.seed = ToInt(a, value(), 0, 0x7FFFFFFF);
    else if (a == "--max-events")
      o.maxEvents = ToInt(a, value(), 16, 10240);
    else if (a == "--defs")
      o.defs = value();
    else if (a == "--save")
      o.save = value();
    else if (a == "--no-reply-to")
      AddFault("no-reply@" + std::to_string(ToInt(a, value(), 1, 1 << 30)), o.faults);
    else if (a == "--wrong-crc-at")
      AddFault("wrong-crc@" + std::to_string(ToInt(a, value(), 1, 1 << 30)), o.faults);
    else if (a == "--other-address-at")
      AddFault("other-address@" + std::to_string(ToInt(a, value(), 1, 1 << 30)), o.faults);
    else if (a == "--refuse-identification")
      o.faults.RefuseIdentification = true;
    else if (a == "--exception-at-block")
      AddFault("exception-at-block=" + std::to_string(ToInt(a, value(), 1, 65535)), o.faults);
    else if (a == "--delay-ms")
      AddFault("delay=" + std::to_string(ToInt(a, value(), 0, 600000)), o.faults);
    else if (a == "--delay-at")
      o.faults.DelayAt = ToInt(a, value(), 1, 1 << 30);
    else if (a == "--split-pause-ms")
      AddFault("split-pause=" + std::to_string(ToInt(a, value(), 0, 600000)), o.faults);
    else if (a == "--fault")
      AddFault(value(), o.faults);
    else if (a == "--line-timing")
      o.line.LineTiming = true;
    else if (a == "--latency")
      o.line.LatencyMs = ToInt(a, value(), 0, 600000);
    else if (a == "--echo")
      o.line.Echo = true;
    else if (a == "--noise")
      o.faults.Noise = true;
    else if (a == "--control")
      o.control = true;
    else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "--version") {
      std::printf("kivsim %s\n", KIVSVC_VERSION);
      std::exit(0);
    } else
      Fail("unknown argument: " + a);
  }
  if (!o.tcp.empty() && !o.serial.empty()) Fail("--tcp and --serial exclude each other");
  if (o.serial.empty() && o.tcp.empty()) o.tcp = "127.0.0.1:1502";
  if (!o.kivFile.empty() && !o.type.empty()) Fail("--kiv and --type exclude each other");
  if (o.kivFile.empty() && o.type.empty()) o.type = "kivs2";
  if (!o.type.empty() && o.type != "kivs2" && o.type != "kivs3") Fail("unknown type " + o.type);
  if (o.serial.empty() && (o.faults.WrongCrcAt || o.faults.OtherAddressAt || o.faults.SplitPauseMs))
    Fail("wrong-crc, other-address and split-pause need --serial");
  if (o.serial.empty() && (o.line.LineTiming || o.line.LatencyMs || o.line.Echo))
    Fail("--line-timing, --latency and --echo need --serial");
  o.line.Baud = o.baud;
  return o;
}

// Reads the control lines from standard input as they come.
class TControl {
 public:
  explicit TControl(TSimCore& core) : core_(core), notifier_(0, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { OnInput(); });
  }

 private:
  void OnInput() {
    char chunk[512];
    const ssize_t n = ::read(0, chunk, sizeof chunk);
    if (n <= 0) {
      // The test driving the simulator is gone (ended or crashed): so is the simulator,
      // rather than linger with its port.
      notifier_.setEnabled(false);
      QCoreApplication::quit();
      return;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    for (size_t eol; (eol = buffer_.find('\n')) != std::string::npos;) {
      std::string line = buffer_.substr(0, eol);
      buffer_.erase(0, eol + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Command(line);
    }
  }
  void Command(std::string line) {
    if (line.empty()) return;
    if (line == "clear") {
      core_.ClearArmed();
      std::printf("kivsim: armed nothing\n");
    } else {
      int ahead = 1;
      if (const size_t at = line.find("@+"); at != std::string::npos) {
        ahead = std::atoi(line.c_str() + at + 2);
        line.resize(at);
      }
      TWireFault fault;
      std::string error;
      if (ahead < 1 || !ParseWireFault(line, fault, &error))
        std::printf("kivsim: not armed: %s\n", error.empty() ? line.c_str() : error.c_str());
      else {
        core_.Arm(fault, ahead);
        std::printf("kivsim: armed %s for request %d\n", line.c_str(), core_.Served() + ahead);
      }
    }
    std::fflush(stdout);
  }

  TSimCore& core_;
  QSocketNotifier notifier_;
  std::string buffer_;
};

// The registration the simulated device holds, and its register map.
TSimContent ContentOf(TKiv& kiv) {
  TSimContent c;
  c.Identification = Utf8ToCp1250(kiv.Identification());
  c.ZnsSize = std::clamp<int>(kiv.Defs.ZnsSize, 0, 256);
  c.Zns1Adres = kiv.Defs.Zns1Adres;
  c.Zns2Adres = kiv.Defs.Zns2Adres;
  c.EvBufFirstReg = kiv.Defs.EvBufFirstReg;
  c.EvBufLastReg = kiv.Defs.EvBufLastReg;
  const size_t parsetBytes = static_cast<size_t>(c.ZnsSize) * 2;
  for (int n = 1; n <= 2; ++n) {
    std::vector<uint8_t>& z = n == 1 ? c.Zestaw1 : c.Zestaw2;
    const size_t len = std::min<size_t>(kiv.ZestawLength(n), parsetBytes);
    z.assign(kiv.Zestaw(n), kiv.Zestaw(n) + len);
    z.resize(parsetBytes, 0);
  }
  c.Events.assign(kiv.EventBuffer(), kiv.EventBuffer() + kiv.EventBufferLength());
  return c;
}

// The image of what the device serves, so tests can compare a reading with it.
void SaveServed(const TSimContent& c, TKiv& kiv, const std::string& fileName) {
  for (int n = 1; n <= 2; ++n) {
    const std::vector<uint8_t>& z = n == 1 ? c.Zestaw1 : c.Zestaw2;
    std::copy(z.begin(), z.end(), kiv.Zestaw(n));
    kiv.SetZestawLength(n, static_cast<uint16_t>(z.size()));
  }
  if (!kiv.SaveToFile(fileName)) Fail("cannot save " + fileName);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const TOptions o = Parse(argc, argv);

  TKiv kiv;
  kiv.DefsDir = o.defs.empty() ? InstallDir() : o.defs;
  if (!o.kivFile.empty()) {
    if (!kiv.LoadFromFile(o.kivFile)) Fail("cannot load " + o.kivFile);
    kiv.LoadDefinitions();
  } else {
    const TKivType type = o.type == "kivs3" ? kivtKivs3 : kivtKivs2;
    kiv.SetKivType(type);
    TScenarioOptions options;
    // A reading holds 10240 bytes of events and reads the blocks of the definitions; the
    // generated buffer keeps to both, so that a reading gets all of it.
    const int blocks = std::max(0, kiv.Defs.EvBufLastReg - kiv.Defs.EvBufFirstReg + 1);
    options.MaxBytes =
        static_cast<uint32_t>(std::clamp(blocks * simdev::kBlockRegisters * 2, 16, o.maxEvents));
    GenerateScenario(kiv, type, static_cast<uint32_t>(o.seed), 0, options);
    kiv.LoadDefinitions();
  }
  TSimContent content = ContentOf(kiv);
  if (!o.save.empty()) SaveServed(content, kiv, o.save);
  TSimDevice device(content);
  TSimCore core(device, o.faults, o.slave);

  std::unique_ptr<TSimTcpServer> tcp;
  std::unique_ptr<TSimRtuLine> rtu;
  std::string where;
  if (!o.serial.empty()) {
    rtu = std::make_unique<TSimRtuLine>(core, o.line);
    QString error;
    if (!rtu->Open(QString::fromStdString(o.serial), &error)) {
      std::fprintf(stderr, "kivsim: cannot open serial %s: %s\n", o.serial.c_str(),
                   error.toStdString().c_str());
      return 1;
    }
    where = "serial " + o.serial + " at " + std::to_string(o.baud) + " baud";
    if (o.line.LineTiming) where += ", line timing";
    if (o.line.LatencyMs) where += ", latency " + std::to_string(o.line.LatencyMs) + " ms";
    if (o.line.Echo) where += ", echo";
  } else {
    std::string host = "127.0.0.1";
    std::string portText = o.tcp;
    if (const size_t colon = o.tcp.rfind(':'); colon != std::string::npos) {
      if (colon > 0) host = o.tcp.substr(0, colon);
      portText = o.tcp.substr(colon + 1);
    }
    int port = ToInt("--tcp", portText, 0, 65535);
    tcp = std::make_unique<TSimTcpServer>(core);
    if (!tcp->Listen(QString::fromStdString(host), port)) {
      std::fprintf(stderr, "kivsim: cannot listen on %s:%d: %s\n", host.c_str(), port,
                   tcp->ErrorString().toStdString().c_str());
      return 1;
    }
    port = tcp->Port();
    where = "tcp " + host + ":" + std::to_string(port);
  }
  std::printf("kivsim: %s (%s), slave %d, %zu event bytes, parsets of %d registers\n",
              kiv.GetKivType() == kivtKivs3 ? "KIVS-3" : "KIVS-2", content.Identification.c_str(),
              o.slave, content.Events.size(), content.ZnsSize);
  std::printf("kivsim: listening on %s\n", where.c_str());
  std::fflush(stdout);

  std::unique_ptr<TControl> control;
  if (o.control) control = std::make_unique<TControl>(core);
  // Line noise between the replies: short bursts at random moments.
  QTimer noise;
  std::mt19937 noiseRandom(static_cast<uint32_t>(o.seed));
  if (o.faults.Noise) {
    noise.setSingleShot(true);
    QObject::connect(&noise, &QTimer::timeout, [&] {
      if (tcp) {
        tcp->Noise();
      } else if (QIODevice* line = rtu ? rtu->Device() : nullptr) {
        const std::vector<uint8_t> bytes = core.NoiseBytes(32);
        line->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
      }
      noise.start(std::uniform_int_distribution<int>(100, 700)(noiseRandom));
    });
    noise.start(300);
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (gStop) app.quit();
  });
  poll.start(50);
  const int rc = app.exec();
  std::printf("kivsim: stopped after %d requests\n", core.Served());
  return rc;
}

#include "simserver.h"

#include <QIODevice>
#include <QSerialPort>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "modbusframe.h"

#include <sys/socket.h>

namespace {

const char* AreaName(TSimDevice::TArea area) {
  switch (area) {
    case TSimDevice::TArea::Identification:
      return "identification";
    case TSimDevice::TArea::Zestaw1:
      return "parset 1";
    case TSimDevice::TArea::Zestaw2:
      return "parset 2";
    case TSimDevice::TArea::EventBlock:
      return "events block";
    default:
      return "other";
  }
}

}  // namespace

bool ParseWireFault(const std::string& text, TWireFault& fault, std::string* error, bool runKinds) {
  static const char* const kWithArg[] = {"cut",        "reset",        "junk-before",  "junk-after",
                                         "flip",       "address",      "function",     "exception",
                                         "byte-count", "data-bytes",   "echo-address", "echo-count",
                                         "late",       "stray-before", "stray-after"};
  static const char* const kPlain[] = {"silent", "exception-nocode", "noise"};
  // Faults of the whole run rather than of one reply's bytes (see AddFault).
  static const char* const kRunWithArg[] = {"exception-at-block", "delay", "split-pause"};
  static const char* const kRunPlain[] = {"no-reply", "wrong-crc", "other-address"};
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::string rest = text;
  fault = TWireFault{};
  auto number = [&](const std::string& t, int& out) {
    char* end = nullptr;
    const long v = std::strtol(t.c_str(), &end, 0);
    if (t.empty() || *end != '\0' || v < 0 || v > (1 << 30)) return false;
    out = static_cast<int>(v);
    return true;
  };
  if (const size_t at = rest.find('@'); at != std::string::npos) {
    if (!number(rest.substr(at + 1), fault.At) || fault.At < 1)
      return fail("bad request number in " + text);
    rest.resize(at);
  }
  std::string arg;
  if (const size_t eq = rest.find('='); eq != std::string::npos) {
    arg = rest.substr(eq + 1);
    rest.resize(eq);
  }
  fault.Kind = rest;
  auto among = [&rest](const auto& kinds) {
    return std::find(std::begin(kinds), std::end(kinds), rest) != std::end(kinds);
  };
  if (among(kWithArg) || (runKinds && among(kRunWithArg))) {
    if (!number(arg, fault.Arg)) return fail(rest + " needs a number: " + text);
    return true;
  }
  if (among(kPlain) || (runKinds && among(kRunPlain))) {
    if (!arg.empty()) return fail(rest + " takes no value: " + text);
    return true;
  }
  return fail("unknown fault " + text);
}

bool AddFault(const std::string& text, TSimFaults& faults, std::string* error) {
  TWireFault f;
  if (!ParseWireFault(text, f, error, true)) return false;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  const bool needsAt = f.Kind == "no-reply" || f.Kind == "wrong-crc" || f.Kind == "other-address";
  const bool takesAt = needsAt || f.Kind == "delay";
  const bool runKind = takesAt || f.Kind == "exception-at-block" || f.Kind == "split-pause";
  if (!runKind) {
    faults.Wire.push_back(f);
    return true;
  }
  if (needsAt && f.At == 0) return fail(f.Kind + " needs @N: " + text);
  if (!takesAt && f.At != 0) return fail(f.Kind + " takes no @N: " + text);
  if (f.Kind == "exception-at-block" && (f.Arg < 1 || f.Arg > 65535))
    return fail("bad events block in " + text);
  if ((f.Kind == "delay" || f.Kind == "split-pause") && f.Arg > 600000)
    return fail("bad time in " + text);
  if (f.Kind == "no-reply")
    faults.NoReplyTo = f.At;
  else if (f.Kind == "wrong-crc")
    faults.WrongCrcAt = f.At;
  else if (f.Kind == "other-address")
    faults.OtherAddressAt = f.At;
  else if (f.Kind == "exception-at-block")
    faults.ExceptionAtBlock = f.Arg;
  else if (f.Kind == "split-pause")
    faults.SplitPauseMs = f.Arg;
  else {
    faults.DelayMs = f.Arg;
    if (f.At) faults.DelayAt = f.At;
  }
  return true;
}

void TSimCore::Arm(TWireFault fault, int ahead) {
  fault.At = served_ + std::max(1, ahead);
  armed_.push_back(std::move(fault));
}

std::vector<const TWireFault*> TSimCore::FaultsFor(int number) const {
  std::vector<const TWireFault*> list;
  for (const TWireFault& f : faults_.Wire)
    if (f.At == 0 || f.At == number) list.push_back(&f);
  for (const TWireFault& f : armed_)
    if (f.At == number) list.push_back(&f);
  return list;
}

std::vector<uint8_t> TSimCore::NoiseBytes(int maxCount) {
  std::uniform_int_distribution<int> length(1, std::max(1, maxCount));
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> bytes(static_cast<size_t>(length(random_)));
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random_));
  return bytes;
}

std::vector<uint8_t> TSimCore::Reply(const std::vector<uint8_t>& pdu, int number,
                                     std::string& note) {
  const TSimDevice::TArea area = device_.AreaOf(pdu.data(), pdu.size());
  const int block = device_.BlockOf(pdu.data(), pdu.size());
  std::vector<uint8_t> reply;
  if (number == faults_.NoReplyTo) {
    note = "no reply";
  } else if (faults_.RefuseIdentification && area == TSimDevice::TArea::Identification) {
    reply = SimException(pdu[0], simdev::kIllegalFunction);
    note = "refused";
  } else if (faults_.ExceptionAtBlock > 0 && block + 1 == faults_.ExceptionAtBlock) {
    reply = SimException(pdu[0], simdev::kIllegalDataAddress);
    note = "refused";
  } else {
    reply = device_.Handle(pdu);
  }
  if (note.empty()) {
    if (reply.size() >= 2 && (reply[0] & 0x80))
      note = "exception " + std::to_string(reply[1]);
    else if (reply.size() >= 2 && reply[0] == modbus::kReadHoldingRegisters)
      note = std::to_string(reply[1]) + " bytes";
    else
      note = "written";
  }
  return reply;
}

std::vector<TWireFault> TSimCore::FaultsOfRequest(int number, int count) {
  std::vector<TWireFault> faults;
  for (const TWireFault* f : FaultsFor(number)) faults.push_back(*f);
  std::erase_if(armed_, [number](const TWireFault& f) { return f.At <= number; });
  if (faults_.Noise) AddNoiseFault(number, count, faults);
  return faults;
}

void TSimCore::AddNoiseFault(int number, int count, std::vector<TWireFault>& faults) {
  // Most replies are noise or a damaged frame; a few go out whole, so that the
  // dialogues get past their first request now and then.
  const int pick = std::uniform_int_distribution<int>(0, 19)(random_);
  auto below = [this](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); };
  if (pick < 2)
    faults.push_back({"silent", 0, number});
  else if (pick < 10)
    faults.push_back({"noise", 0, number});
  else if (pick < 12)
    faults.push_back({"cut", below(8 + 2 * count), number});
  else if (pick < 14)
    faults.push_back({"flip", below(8 * (8 + 2 * count)), number});
  else if (pick < 16)
    faults.push_back({pick == 14 ? "junk-before" : "junk-after", 1 + below(40), number});
  else if (pick < 18)
    faults.push_back({"late", 50 + below(400), number});
}

namespace {

// The log's spelling of a fault: ", KIND" or ", KIND=ARG".
std::string FaultNote(const TWireFault& f) {
  return ", " + f.Kind +
         (f.Arg || f.Kind == "cut" || f.Kind == "flip" ? "=" + std::to_string(f.Arg)
                                                       : std::string());
}

// Changes the reply PDU (or its address or time) as one fault of its content asks.
void ApplyContentFault(const TWireFault& f, uint8_t function, std::vector<uint8_t>& reply,
                       int& replyAddress, TSimWire& wire) {
  if (f.Kind == "silent") {
    reply.clear();
  } else if (reply.empty()) {
    return;
  } else if (f.Kind == "exception") {
    reply = SimException(function, static_cast<uint8_t>(f.Arg));
  } else if (f.Kind == "exception-nocode") {
    reply = {static_cast<uint8_t>(function | 0x80)};
  } else if (f.Kind == "function") {
    reply[0] = static_cast<uint8_t>(f.Arg);
  } else if (f.Kind == "byte-count" && reply[0] == modbus::kReadHoldingRegisters) {
    reply[1] = static_cast<uint8_t>(f.Arg);
  } else if (f.Kind == "data-bytes" && reply[0] == modbus::kReadHoldingRegisters) {
    // At most what the longest frame holds: 251 data bytes.
    reply.resize(2 + static_cast<size_t>(std::min(f.Arg, 251)), 0);
    reply[1] = static_cast<uint8_t>(f.Arg);
  } else if (f.Kind == "echo-address" && reply[0] == modbus::kWriteMultipleRegisters &&
             reply.size() >= 5) {
    reply[1] = static_cast<uint8_t>(f.Arg >> 8);
    reply[2] = static_cast<uint8_t>(f.Arg);
  } else if (f.Kind == "echo-count" && reply[0] == modbus::kWriteMultipleRegisters &&
             reply.size() >= 5) {
    reply[3] = static_cast<uint8_t>(f.Arg >> 8);
    reply[4] = static_cast<uint8_t>(f.Arg);
  } else if (f.Kind == "address") {
    replyAddress = f.Arg & 0xFF;
  } else if (f.Kind == "late") {
    wire.DelayMs = f.Arg;
  }
}

// The reply PDU framed for the line: a TCP ADU under the request's MBAP header, or an
// RTU frame with its CRC (spoiled on request).
std::vector<uint8_t> FrameReply(const std::vector<uint8_t>& reply, int replyAddress,
                                const uint8_t* tcpHeader, bool wrongCrc) {
  std::vector<uint8_t> frame;
  if (tcpHeader) {
    frame.assign(tcpHeader, tcpHeader + 4);  // transaction and protocol identifiers
    const size_t length = reply.size() + 1;
    frame.push_back(static_cast<uint8_t>(length >> 8));
    frame.push_back(static_cast<uint8_t>(length));
    frame.push_back(static_cast<uint8_t>(replyAddress));
    frame.insert(frame.end(), reply.begin(), reply.end());
  } else {
    frame.push_back(static_cast<uint8_t>(replyAddress));
    frame.insert(frame.end(), reply.begin(), reply.end());
    frame.resize(frame.size() + 2);
    modbus::AppendCrc(frame.data(), frame.size() - 2);
    if (wrongCrc) frame.back() ^= 0x5A;
  }
  return frame;
}

}  // namespace

void TSimCore::ApplyLineFault(const TWireFault& f, TSimWire& wire) {
  std::vector<uint8_t>& frame = wire.Bytes;
  if (f.Kind == "flip") {
    const size_t byte = static_cast<size_t>(f.Arg) / 8;
    if (byte < frame.size()) frame[byte] ^= static_cast<uint8_t>(1u << (f.Arg % 8));
  } else if (f.Kind == "cut" || f.Kind == "reset") {
    if (static_cast<size_t>(f.Arg) < frame.size()) frame.resize(static_cast<size_t>(f.Arg));
    if (f.Kind == "reset") wire.Reset = true;
  } else if (f.Kind == "junk-before" || f.Kind == "junk-after") {
    // Exactly K random bytes.
    std::vector<uint8_t> junk;
    while (std::ssize(junk) < f.Arg) {
      const std::vector<uint8_t> more = NoiseBytes(f.Arg - static_cast<int>(junk.size()));
      junk.insert(junk.end(), more.begin(), more.end());
    }
    frame.insert(f.Kind == "junk-before" ? frame.begin() : frame.end(), junk.begin(), junk.end());
  } else if (f.Kind == "noise") {
    frame = NoiseBytes(300);
  } else if (f.Kind == "stray-before") {
    frame.insert(frame.begin(), static_cast<uint8_t>(f.Arg));
  } else if (f.Kind == "stray-after") {
    frame.push_back(static_cast<uint8_t>(f.Arg));
  }
}

std::string TSimCore::RequestName(const std::vector<uint8_t>& pdu) const {
  const int block = device_.BlockOf(pdu.data(), pdu.size());
  std::string what = AreaName(device_.AreaOf(pdu.data(), pdu.size()));
  if (block >= 0) what += " " + std::to_string(block + 1);
  return what;
}

namespace {

// The log line of one request: what it asked and what went out.
void LogRequest(int number, const std::vector<uint8_t>& pdu, const std::string& what, bool replied,
                const std::string& note) {
  const int address = pdu.size() >= 3 ? (pdu[1] << 8) | pdu[2] : 0;
  const int count = pdu.size() >= 5 ? (pdu[3] << 8) | pdu[4] : 0;
  std::printf("request %d: function %d address %d count %d (%s): %s\n", number,
              pdu.empty() ? 0 : pdu[0], address, count, what.c_str(),
              replied ? note.c_str() : "no reply");
  std::fflush(stdout);
}

}  // namespace

TSimWire TSimCore::Answer(const std::vector<uint8_t>& pdu, const uint8_t* tcpHeader) {
  const int number = ++served_;
  const int count = pdu.size() >= 5 ? (pdu[3] << 8) | pdu[4] : 0;
  const std::string what = RequestName(pdu);  // before the reply changes the device
  std::string note;
  std::vector<uint8_t> reply = pdu.empty() ? std::vector<uint8_t>{} : Reply(pdu, number, note);
  const std::vector<TWireFault> faults = FaultsOfRequest(number, count);

  TSimWire wire;
  if (faults_.DelayMs > 0 && (faults_.DelayAt == 0 || faults_.DelayAt == number))
    wire.DelayMs = faults_.DelayMs;
  const bool wrongCrc = number == faults_.WrongCrcAt;
  const bool otherAddress = number == faults_.OtherAddressAt;
  int replyAddress = tcpHeader ? tcpHeader[6] : slave_;
  if (otherAddress) replyAddress = (slave_ + 1) % 248;
  wire.Split = faults_.SplitPauseMs > 0 && !tcpHeader;

  // Faults of the reply's content: the frame gets its CRC and header anew after these.
  std::string faultNote;
  for (const TWireFault& f : faults) {
    faultNote += FaultNote(f);
    ApplyContentFault(f, pdu.empty() ? 0 : pdu[0], reply, replyAddress, wire);
  }
  if (!reply.empty()) {
    if (wire.DelayMs > 0) note += ", " + std::to_string(wire.DelayMs) + " ms late";
    if (!tcpHeader && wrongCrc) note += ", wrong CRC";
    if (otherAddress) note += ", from address " + std::to_string((slave_ + 1) % 248);
    if (wire.Split) note += ", in two parts";
  }
  note += faultNote;
  LogRequest(number, pdu, what, !reply.empty(), note);
  if (reply.empty()) return wire;

  wire.Bytes = FrameReply(reply, replyAddress, tcpHeader, wrongCrc);
  // Faults of the bytes on the line.
  for (const TWireFault& f : faults) ApplyLineFault(f, wire);
  return wire;
}

TSimRtuLine::TSimRtuLine(TSimCore& core, const TLineOptions& options)
    : core_(core), options_(options) {
  clock_.start();
  gap_.setSingleShot(true);
  QObject::connect(&port_, &QSerialPort::readyRead, this, [this] { OnData(); });
  QObject::connect(&gap_, &QTimer::timeout, this, [this] { OnGap(); });
}

bool TSimRtuLine::Open(const QString& name, QString* error) {
  port_.setPortName(name);
  if (!port_.open(QIODevice::ReadWrite) || !port_.setBaudRate(options_.Baud) ||
      !port_.setDataBits(QSerialPort::Data8) || !port_.setParity(QSerialPort::NoParity) ||
      !port_.setStopBits(QSerialPort::OneStop) ||
      !port_.setFlowControl(QSerialPort::NoFlowControl)) {
    if (error) *error = port_.errorString();
    return false;
  }
  return true;
}

qint64 TSimRtuLine::CharNs() const {
  return 10LL * 1000000000LL / std::max(1, options_.Baud);
}

void TSimRtuLine::SleepUntil(qint64 ns) {
  const qint64 left = ns - clock_.nsecsElapsed();
  if (left > 0) QThread::usleep(static_cast<unsigned long>(left / 1000));
}

void TSimRtuLine::Send(const std::vector<uint8_t>& bytes, qint64 startNs) {
  if (bytes.empty()) return;
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const qint64 n = static_cast<qint64>(bytes.size());
  if (!options_.LineTiming) {
    SleepUntil(startNs);
    port_.write(data, n);
  } else {
    // Every character due by now goes out; then a sleep until the next one is due (at
    // least a millisecond, so fast lines send in small bursts).
    qint64 sent = 0;
    while (sent < n) {
      const qint64 due = std::min(n, (clock_.nsecsElapsed() - startNs) / CharNs() + 1);
      if (due > sent) {
        port_.write(data + sent, due - sent);
        port_.flush();
        sent = due;
      }
      if (sent < n)
        SleepUntil(std::max(startNs + sent * CharNs(), clock_.nsecsElapsed() + 1000000));
    }
  }
  port_.flush();
  while (port_.bytesToWrite() > 0)
    if (!port_.waitForBytesWritten(1000)) break;
}

void TSimRtuLine::OnData() {
  if (buffer_.isEmpty()) firstByteNs_ = clock_.nsecsElapsed();
  buffer_ += port_.readAll();
  // Whole requests by the length their function gives; anything else waits for a pause.
  while (buffer_.size() >= 2) {
    const auto* b = reinterpret_cast<const uint8_t*>(buffer_.constData());
    int length = -1;
    if (b[1] == modbus::kReadHoldingRegisters)
      length = 8;
    else if (b[1] == modbus::kWriteMultipleRegisters && buffer_.size() >= 7)
      length = 9 + b[6];
    else if (b[1] == modbus::kWriteMultipleRegisters)
      break;
    if (length < 0 || buffer_.size() < length) break;
    const std::vector<uint8_t> frame(b, b + length);
    buffer_.remove(0, length);
    const qint64 first = firstByteNs_;
    firstByteNs_ = clock_.nsecsElapsed();
    Serve(frame, first);
  }
  // A frame the function does not size, or a broken one, ends at a pause on the line.
  if (!buffer_.isEmpty()) gap_.start(20);
}

void TSimRtuLine::OnGap() {
  if (buffer_.isEmpty()) return;
  const std::vector<uint8_t> frame(buffer_.begin(), buffer_.end());
  buffer_.clear();
  Serve(frame, firstByteNs_);
}

void TSimRtuLine::Serve(const std::vector<uint8_t>& frame, qint64 firstByteNs) {
  const qint64 n = static_cast<qint64>(frame.size());
  // The master's bytes arrived at once; on the line they take their wire time.
  const qint64 receivedNs = options_.LineTiming ? firstByteNs + n * CharNs() : firstByteNs;
  if (options_.Echo) Send(frame, firstByteNs);
  if (frame.size() < 4 || !modbus::CrcValid(frame.data(), frame.size())) {
    std::printf("request with a wrong CRC ignored (%zu bytes)\n", frame.size());
    std::fflush(stdout);
    return;
  }
  if (frame[0] != core_.Slave() && frame[0] != 0) {
    std::printf("request for slave %d ignored\n", frame[0]);
    std::fflush(stdout);
    return;
  }
  const std::vector<uint8_t> pdu(frame.begin() + 1, frame.end() - 2);
  TSimWire wire = core_.Answer(pdu, nullptr);
  if (wire.Bytes.empty()) return;
  const qint64 startNs = receivedNs + (options_.LatencyMs + wire.DelayMs) * 1000000LL;
  if (wire.Split) {
    const auto half = wire.Bytes.begin() + static_cast<std::ptrdiff_t>(wire.Bytes.size() / 2);
    const std::vector<uint8_t> first(wire.Bytes.begin(), half);
    const std::vector<uint8_t> second(half, wire.Bytes.end());
    Send(first, startNs);
    Send(second, clock_.nsecsElapsed() + core_.SplitPauseMs() * 1000000LL);
  } else {
    Send(wire.Bytes, startNs);
  }
  // What the master sent while the reply went out is a new request.
  if (!buffer_.isEmpty()) firstByteNs_ = clock_.nsecsElapsed();
}

TSimTcpServer::TSimTcpServer(TSimCore& core) : core_(core) {
  QObject::connect(&server_, &QTcpServer::newConnection, this, [this] { OnConnection(); });
}

bool TSimTcpServer::Listen(const QString& host, int port) {
  return server_.listen(QHostAddress(host), static_cast<quint16>(port));
}

void TSimTcpServer::OnConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    socket->setParent(this);
    pending_.insert(socket, QByteArray());
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnData(socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      pending_.remove(socket);
      socket->deleteLater();
    });
  }
}

void TSimTcpServer::Noise() {
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    const std::vector<uint8_t> bytes = core_.NoiseBytes(32);
    it.key()->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  }
}

void TSimTcpServer::OnData(QTcpSocket* socket) {
  if (!pending_.contains(socket)) return;
  QByteArray& buffer = pending_[socket];
  buffer += socket->readAll();
  constexpr int kHeader = 7;
  while (buffer.size() >= kHeader) {
    const auto* b = reinterpret_cast<const uint8_t*>(buffer.constData());
    const int length = (b[4] << 8) | b[5];  // unit identifier and PDU
    if (b[2] != 0 || b[3] != 0 || length < 2 || length > 254) {
      // Not Modbus: a device drops such a connection.
      std::printf("connection dropped: not a Modbus request\n");
      std::fflush(stdout);
      pending_.remove(socket);
      socket->abort();
      return;
    }
    if (buffer.size() < 6 + length) return;
    uint8_t header[kHeader];
    std::copy(b, b + kHeader, header);
    const std::vector<uint8_t> pdu(b + kHeader, b + 6 + length);
    buffer.remove(0, 6 + length);
    // A device answers only its own unit identifier (or 0, the broadcast of gateways).
    if (header[6] != core_.Slave() && header[6] != 0) {
      std::printf("request for unit %d ignored\n", header[6]);
      std::fflush(stdout);
      continue;
    }
    const TSimWire wire = core_.Answer(pdu, header);
    if (wire.DelayMs > 0) QThread::msleep(static_cast<unsigned long>(wire.DelayMs));
    if (!wire.Bytes.empty()) {
      socket->write(reinterpret_cast<const char*>(wire.Bytes.data()),
                    static_cast<qint64>(wire.Bytes.size()));
      socket->flush();
      socket->waitForBytesWritten(1000);
    }
    if (wire.Reset) {
      // Linger 0: the close sends a reset, as a device that restarts mid-frame.
      const linger hard{1, 0};
      ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                   sizeof hard);
      pending_.remove(socket);
      socket->abort();
      return;
    }
  }
}

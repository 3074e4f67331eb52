// The simulator's Modbus servers: a TCP server and an RTU server over a serial port or
// pseudo-terminal, both answering from one TSimDevice and misbehaving on request.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QSerialPort>
#include <QTcpServer>
#include <QTimer>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "simdevice.h"

// One thing wrong with the bytes of a reply, for the request numbered At (0: every one).
// Kinds (Arg in brackets):
//   silent              no reply at all
//   cut (B)             only the first B bytes of the frame go out
//   reset (B)           B bytes go out, then the TCP connection is reset (serial: as cut)
//   junk-before (K)     K random bytes before the frame
//   junk-after (K)      K random bytes after the frame
//   flip (I)            bit I of the frame is inverted (bit 0 = lowest bit of byte 0)
//   address (A)         the reply comes from slave address / unit identifier A
//   function (F)        the reply carries function code F
//   exception (C)       an exception reply with code C
//   exception-nocode    an exception reply without its code
//   byte-count (V)      a register reply's byte count reads V, its data unchanged
//   data-bytes (V)      a register reply's byte count and data length are both V
//   echo-address (A)    a write's echo names start address A (protocol address)
//   echo-count (C)      a write's echo names C registers
//   late (M)            the reply leaves M ms late
//   noise               random bytes of random length in place of the reply
//   stray-before (B)    one byte of value B just before the frame (a driver turning on)
//   stray-after (B)     one byte of value B just after the frame
// The frame is the RTU frame (address to CRC) or the TCP ADU (MBAP header onward); a
// changed reply gets its CRC anew before cut, reset, junk and flip apply.
struct TWireFault {
  std::string Kind;
  int Arg = 0;
  int At = 0;
};
// Parses KIND[=ARG][@N]; false with a reason in *error when it is not one. With
// runKinds the kinds of TSimFaults below are known too.
bool ParseWireFault(const std::string& text, TWireFault& fault, std::string* error,
                    bool runKinds = false);

// What the simulated device does wrong, for tests of the reading's failure paths.
// Request numbers count from 1 over every request the simulator serves.
struct TSimFaults {
  int NoReplyTo = 0;                  // no reply to this request
  int WrongCrcAt = 0;                 // this reply's CRC is wrong (serial)
  int OtherAddressAt = 0;             // this reply comes from another slave address (serial)
  bool RefuseIdentification = false;  // exception reply to the identification
  int ExceptionAtBlock = 0;           // exception reply to events block k (1 = the first block)
  int DelayMs = 0;                    // replies leave this late
  int DelayAt = 0;                    // only this request's reply is late (0: every reply)
  int SplitPauseMs = 0;               // replies go out in two parts with this pause (serial)
  std::vector<TWireFault> Wire;       // byte-level faults of single or all replies
  bool Noise = false;                 // random bytes on the line in place of most replies
};

// Adds one --fault KIND[=ARG][@N] to faults: a fault of the bytes (TWireFault), or one of
// the whole run, which the older switches name too:
//   no-reply@N             --no-reply-to N
//   wrong-crc@N            --wrong-crc-at N (serial)
//   other-address@N        --other-address-at N (serial)
//   exception-at-block=K   --exception-at-block K
//   delay=M[@N]            --delay-ms M [--delay-at N]
//   split-pause=M          --split-pause-ms M (serial)
// False with a reason in *error when text is not a fault.
bool AddFault(const std::string& text, TSimFaults& faults, std::string* error);

// The bytes that go out for one request, and how.
struct TSimWire {
  std::vector<uint8_t> Bytes;  // empty: nothing is sent
  bool Reset = false;          // reset the TCP connection after the bytes
  int DelayMs = 0;             // leave this late
  bool Split = false;          // send in two parts with the split pause between (serial)
};

// Serves the requests of either server: the log line, the failure switches, the reply.
class TSimCore {
 public:
  TSimCore(TSimDevice& device, const TSimFaults& faults, int slave)
      : device_(device), faults_(faults), slave_(slave) {}
  // The whole reply to one request PDU as it goes on the line: an RTU frame, or with
  // tcpHeader (the request's 7-byte MBAP header) a TCP ADU.
  TSimWire Answer(const std::vector<uint8_t>& pdu, const uint8_t* tcpHeader);
  int Served() const { return served_; }
  int Slave() const { return slave_; }
  // A fault for the request `ahead` requests from now (1: the next one).
  void Arm(TWireFault fault, int ahead);
  void ClearArmed() { armed_.clear(); }
  // Random bytes for the line noise between replies.
  std::vector<uint8_t> NoiseBytes(int maxCount);
  int SplitPauseMs() const { return faults_.SplitPauseMs; }

 private:
  // The reply PDU (empty: none) and the log note for request number `number`.
  std::vector<uint8_t> Reply(const std::vector<uint8_t>& pdu, int number, std::string& note);
  std::vector<const TWireFault*> FaultsFor(int number) const;
  // Every fault of request `number` (given, armed, or drawn for the line noise); the
  // armed ones it uses up are dropped.
  std::vector<TWireFault> FaultsOfRequest(int number, int count);
  void AddNoiseFault(int number, int count, std::vector<TWireFault>& faults);
  // Changes the framed bytes as one fault of the line asks (cut, flip, junk, ...).
  void ApplyLineFault(const TWireFault& fault, TSimWire& wire);
  // The area the request reads or writes, as the log names it ("events block 3", ...).
  std::string RequestName(const std::vector<uint8_t>& pdu) const;

  TSimDevice& device_;
  TSimFaults faults_;
  std::vector<TWireFault> armed_;  // from the control input, At absolute
  int slave_;
  int served_ = 0;
  std::mt19937 random_;
};

// Modbus over TCP framed by hand, so that replies can be wrong in every byte: the MBAP
// header, a cut frame, junk around it, a connection reset mid-frame.
class TSimTcpServer : public QObject {
 public:
  explicit TSimTcpServer(TSimCore& core);
  bool Listen(const QString& host, int port);
  int Port() const { return server_.serverPort(); }
  QString ErrorString() const { return server_.errorString(); }
  // Random bytes to every open connection (line noise between replies).
  void Noise();

 private:
  void OnConnection();
  void OnData(QTcpSocket* socket);

  TSimCore& core_;
  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> pending_;
};

// How the simulated serial line behaves in time.
struct TLineOptions {
  int Baud = 9600;
  // A request counts as received only after its wire time at Baud, and a reply leaves one
  // character per 10/Baud seconds, as on a real line; without it bytes move at once.
  bool LineTiming = false;
  int LatencyMs = 0;  // the device's answer time after the request is in
  bool Echo = false;  // the line echoes each request back (a two-wire adapter)
};

// Modbus RTU framed by hand over a serial port or pseudo-terminal: requests are told
// apart by the length their function announces (or by a pause on the line), and replies
// leave with the line's timing.
class TSimRtuLine : public QObject {
 public:
  TSimRtuLine(TSimCore& core, const TLineOptions& options);
  bool Open(const QString& name, QString* error);
  QIODevice* Device() { return &port_; }

 private:
  void OnData();
  void OnGap();
  void Serve(const std::vector<uint8_t>& frame, qint64 firstByteNs);
  // Sends bytes one character time apart (with line timing), the first at startNs.
  void Send(const std::vector<uint8_t>& bytes, qint64 startNs);
  void SleepUntil(qint64 ns);
  qint64 CharNs() const;

  TSimCore& core_;
  TLineOptions options_;
  QSerialPort port_;
  QByteArray buffer_;
  qint64 firstByteNs_ = 0;
  QElapsedTimer clock_;
  QTimer gap_;
};

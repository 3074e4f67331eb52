// The simulator's Modbus servers: a TCP server and an RTU server over a serial port or
// pseudo-terminal, both answering from one TSimDevice and misbehaving on request.
#pragma once

#include <QModbusPdu>
#include <QModbusRtuSerialServer>
#include <QModbusTcpServer>
#include <cstdint>
#include <string>

#include "simdevice.h"

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
};

// Serves the requests of either server: the log line, the failure switches, the reply.
class TSimCore {
 public:
  TSimCore(TSimDevice& device, const TSimFaults& faults, int slave)
      : device_(device), faults_(faults), slave_(slave) {}
  // raw: the serial port, so that a corrupted, re-addressed or split frame can be sent
  // by hand (the server then sends nothing); null for TCP.
  QModbusResponse Serve(const QModbusPdu& request, QIODevice* raw);
  int Served() const { return served_; }

 private:
  void SendRaw(QIODevice* raw, std::vector<uint8_t> frame, bool split);

  TSimDevice& device_;
  TSimFaults faults_;
  int slave_;
  int served_ = 0;
};

class TSimTcpServer : public QModbusTcpServer {
 public:
  explicit TSimTcpServer(TSimCore& core) : core_(core) {}

 protected:
  QModbusResponse processRequest(const QModbusPdu& request) override {
    return core_.Serve(request, nullptr);
  }

 private:
  TSimCore& core_;
};

class TSimRtuServer : public QModbusRtuSerialServer {
 public:
  explicit TSimRtuServer(TSimCore& core) : core_(core) {}

 protected:
  QModbusResponse processRequest(const QModbusPdu& request) override {
    return core_.Serve(request, device());
  }

 private:
  TSimCore& core_;
};

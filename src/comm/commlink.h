// The communication pieces the device dialogues need from the platform, and the one
// settings object (owned by the main window) that ties them together.
#pragma once

#include <cstdint>
#include <string>

// A serial port: Write returns once the bytes have left the line (the port is drained, so
// a pause after it starts when the request is complete at the device); Read returns at
// once with what has arrived. Both return the number of bytes moved, 0 on failure.
class ISerialLink {
 public:
  virtual ~ISerialLink() = default;
  virtual int Write(const uint8_t* data, int count) = 0;
  virtual int Read(uint8_t* buffer, int capacity) = 0;
  // Drops every byte that has arrived and not been read yet; returns how many there were.
  virtual int DiscardInput() = 0;
  // The line's speed in bits per second: a character takes 10 bits on the wire.
  virtual int BitsPerSecond() const = 0;
  // Why the port stopped working (it vanished, or could not be opened again), as a trace
  // line; empty while it works.
  virtual std::string LastFailure() const = 0;
};

// Modbus over TCP: one request PDU out, one reply PDU back (function code onward). An
// exception reply comes back as its function code with bit 7 set plus the exception code.
// True when a reply arrived; *replyPduLength then holds its length.
class ITcpLink {
 public:
  virtual ~ITcpLink() = default;
  virtual bool UniversalMBTCPSendAndWait(const char* address, uint16_t port, uint8_t unitId,
                                         const uint8_t* requestPdu, uint8_t* replyPdu,
                                         int32_t timeOutMs, uint16_t requestPduLength,
                                         uint16_t* replyPduLength) = 0;
  // The unit id of the last reply returned (the request's unless another device answered).
  virtual uint8_t LastUnitId() const = 0;
  // Why the last exchange got no reply, as a trace line ("Connection refused:
  // 127.0.0.1:1502", a header that does not belong to the request); empty when it got one
  // or when the wait simply ran out.
  virtual std::string LastFailure() const = 0;
  // Ends the connection; the next exchange connects again. Called when a dialogue ends, so
  // a gateway that admits one or two masters is free for others between dialogues.
  virtual void Disconnect() = 0;
};

// Waiting while the program stays responsive: in the program Wait handles pending window
// events until the time has passed, so Cancel and repainting keep working.
class IWaiter {
 public:
  virtual ~IWaiter() = default;
  virtual void Wait(int ms) = 0;
  // A millisecond tick counter (any origin).
  virtual int64_t TickMs() = 0;
};

// A waiter that only sleeps; for tools without an event loop.
class TSleepWaiter : public IWaiter {
 public:
  void Wait(int ms) override;
  int64_t TickMs() override;
};

// The link and timing the user chooses in the options dialog; "kiv.ini" keeps them
// (TAppConfig) and the dialogues use them (TCommSettings).
struct TLinkSettings {
  bool MBTCPComm = false;  // true: Modbus over TCP, else Modbus RTU over SerialPort
  std::string MBTCPIP = "127.0.0.1";
  uint16_t MBTCPPort = 502;
  int32_t Time_Out = 500;     // ms; a TCP exchange waits twice this
  int32_t TimeSilence = 300;  // ms between sending and reading, and between transactions
};

struct TCommSettings : TLinkSettings {
  ISerialLink* SerialPort = nullptr;
  ITcpLink* TcpLink = nullptr;
  IWaiter* Waiter = nullptr;

  // The registration whose dialogue uses the link now (none when idle): the serial port
  // and the TCP link are shared by every registration of the program.
  const void* BusyOwner = nullptr;
};

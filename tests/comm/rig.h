// One registration wired to fake links and a simulated device.
#pragma once

#include <memory>

#include "fakelinks.h"
#include "kivcomm.h"

struct Rig {
  TKiv kiv;
  TStringTraceList trace;
  FakeClock clock;
  FakeSerial serial{clock};
  FakeTcp tcp;
  TCommSettings settings;
  TKivComm comm{kiv, settings};
  std::unique_ptr<TSimDevice> device;
  uint8_t deviceAddress = 31;
  int replyDelayMs = 10;

  explicit Rig(bool overTcp = false, TSimContent content = SampleContent("12345678", 600)) {
    settings.MBTCPComm = overTcp;
    settings.MBTCPIP = "10.1.2.3";
    settings.MBTCPPort = 1502;
    settings.Time_Out = 500;
    settings.TimeSilence = 300;
    settings.SerialPort = &serial;
    settings.TcpLink = &tcp;
    settings.Waiter = &clock;
    kiv.DefsDir = "/nonexistent-kivsvc-defs";
    kiv.SetTraceList(&trace);
    kiv.TraceMessages = false;
    // A registration of the device's own type, as after a reading of it: writes go only
    // to such a device.
    kiv.SetKivType(kivcomm::IdentifiedType(content.Identification));
    Use(std::move(content));
    serial.respond = [this](const Bytes& request) {
      return std::vector<Chunk>{{replyDelayMs, RtuReply(*device, request, deviceAddress)}};
    };
    tcp.respond = [this](const Bytes& pdu) { return device->Handle(pdu); };
  }

  // The device content and definitions that match it.
  void Use(TSimContent content) {
    device = std::make_unique<TSimDevice>(std::move(content));
    const TSimContent& c = device->Content();
    kiv.Defs.ZnsSize = c.ZnsSize;
    kiv.Defs.Zns1Adres = c.Zns1Adres;
    kiv.Defs.Zns2Adres = c.Zns2Adres;
    kiv.Defs.ZnsSendStep = c.ZnsSize;
    kiv.Defs.EvBufFirstReg = c.EvBufFirstReg;
    kiv.Defs.EvBufLastReg = c.EvBufLastReg;
  }

  // Request frames (serial) or request PDUs (TCP) sent so far.
  size_t Sent() const { return settings.MBTCPComm ? tcp.calls.size() : serial.requests.size(); }
  // Function code and protocol address and count of request i; a request that was never
  // sent, or too short to hold them, reads as zeros so the test fails on its comparison.
  Bytes RequestPdu(size_t i) const {
    Bytes pdu;
    if (settings.MBTCPComm) {
      if (i < tcp.calls.size()) pdu = tcp.calls[i].pdu;
    } else if (i < serial.requests.size() && serial.requests[i].size() >= 3) {
      const Bytes& r = serial.requests[i];
      pdu.assign(r.begin() + 1, r.end() - 2);
    }
    if (pdu.size() < 5) pdu.resize(5, 0);
    return pdu;
  }
  int RequestCount(size_t i) const {
    const Bytes p = RequestPdu(i);
    return (p[3] << 8) | p[4];
  }
  int RequestRegister(size_t i) const {
    const Bytes p = RequestPdu(i);
    return ((p[1] << 8) | p[2]) + 1;
  }
  bool Traced(const std::string& line) const {
    for (const std::string& l : trace.lines)
      if (l == line) return true;
    return false;
  }
};

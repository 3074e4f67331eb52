// Scripted links for the dialogue tests: a virtual clock, a serial port whose replies
// arrive at chosen times, and a TCP link; both answer from a simulated device unless a
// test rewrites the reply.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "commlink.h"
#include "kivbase.h"
#include "mbap.h"
#include "modbusframe.h"
#include "simdevice.h"

using Bytes = std::vector<uint8_t>;

class FakeClock : public IWaiter {
 public:
  int64_t now = 0;
  std::vector<int> waits;
  std::function<void()> onWait;  // runs inside each wait, as a window event would
  void Wait(int ms) override {
    waits.push_back(ms);
    now += ms;
    if (onWait) onWait();
  }
  int64_t TickMs() override { return now; }
  int Count(int ms) const {
    int n = 0;
    for (int w : waits) n += w == ms;
    return n;
  }
};

// One part of a reply: its bytes arrive this many ms after the request was written.
struct Chunk {
  int delayMs;
  Bytes bytes;
};

class FakeSerial : public ISerialLink {
 public:
  explicit FakeSerial(FakeClock& clock) : clock_(clock) {}

  std::function<std::vector<Chunk>(const Bytes& request)> respond;
  std::vector<Bytes> requests;
  std::vector<int64_t> writtenAt;  // when each request had left the line
  int shortWriteBy = 0;
  int discards = 0;
  int baud = 115200;

  // Like the real port, a write returns once the bytes have left the line: the clock
  // moves on by their wire time (10 bits a character). Reply delays count from then.
  int Write(const uint8_t* data, int count) override {
    if (!failure_.empty()) return 0;
    clock_.now += (static_cast<int64_t>(count) * 10000 + baud - 1) / baud;
    requests.emplace_back(data, data + count);
    writtenAt.push_back(clock_.now);
    if (respond)
      for (const Chunk& c : respond(requests.back()))
        for (uint8_t b : c.bytes) incoming_.push_back({clock_.now + c.delayMs, b});
    return count - shortWriteBy;
  }
  int Read(uint8_t* buffer, int capacity) override {
    int n = 0;
    while (n < capacity && !incoming_.empty() && incoming_.front().at <= clock_.now) {
      buffer[n++] = incoming_.front().byte;
      incoming_.pop_front();
    }
    return n;
  }
  int DiscardInput() override {
    ++discards;
    // A lost port moves nothing; the real one tries to open it again here.
    if (!failure_.empty()) return 0;
    int n = 0;
    for (; !incoming_.empty() && incoming_.front().at <= clock_.now; ++n) incoming_.pop_front();
    return n;
  }
  int BitsPerSecond() const override { return baud; }
  std::string LastFailure() const override { return failure_; }
  // The port vanishes now (an adapter pulled out), for this reason: what had arrived can
  // still be read, as from the real port's buffer; nothing more arrives, and writes and
  // discards move nothing.
  void Vanish(std::string reason) {
    failure_ = std::move(reason);
    std::erase_if(incoming_, [this](const Scheduled& s) { return s.at > clock_.now; });
  }
  // Bytes still to arrive or not read.
  size_t Pending() const { return incoming_.size(); }

 private:
  struct Scheduled {
    int64_t at;
    uint8_t byte;
  };
  FakeClock& clock_;
  std::deque<Scheduled> incoming_;
  std::string failure_;
};

inline Bytes WithCrc(Bytes frame) {
  frame.resize(frame.size() + 2);
  modbus::AppendCrc(frame.data(), frame.size() - 2);
  return frame;
}

// The RTU frame a device at `address` sends back for a request frame, or nothing for a
// request with a bad CRC or for another address.
inline Bytes RtuReply(TSimDevice& device, const Bytes& request, uint8_t address) {
  if (request.size() < 4 || !modbus::CrcValid(request.data(), request.size())) return {};
  if (request[0] != address) return {};
  Bytes reply{address};
  const Bytes pdu = device.Handle(request.data() + 1, request.size() - 3);
  reply.insert(reply.end(), pdu.begin(), pdu.end());
  return WithCrc(reply);
}

// Checks a reply as TMBTCPClient does before it believes one: the MBAP length it would
// carry and the PDU's length against its function. Empty when the reply passes.
inline std::string TcpReplyFault(const Bytes& pdu) {
  mbap::THeader header;
  header.Length = static_cast<uint16_t>(std::min<size_t>(pdu.size() + 1, 0xFFFF));
  if (std::string fault = mbap::HeaderFault(header, 0); !fault.empty()) return fault;
  return mbap::PduFault(pdu.data(), static_cast<int>(pdu.size()));
}

// Behaves as TMBTCPClient does towards its caller (tests/comm/test_tcpcontract.cpp holds
// both to the same contract): a reply is checked as the client checks it, every failed
// exchange and every answer of another unit drops the connection, and the next exchange
// connects again.
class FakeTcp : public ITcpLink {
 public:
  struct Call {
    std::string address;
    uint16_t port;
    uint8_t unit;
    Bytes pdu;
    int32_t timeOut;
  };
  std::vector<Call> calls;  // requests sent
  // Reply PDU for a request PDU; an empty one means no reply.
  std::function<Bytes(const Bytes& pdu)> respond;
  int replyUnitOffset = 0;  // another unit answers: its id differs by this much
  int refusedPort = -1;     // nothing listens on this port: connections are refused
  bool closes = false;      // a missing reply is the device closing the connection
  int disconnects = 0;      // calls of Disconnect
  int connections = 0;      // connections made, as TMBTCPClient::Connections
  // In place of respond: hands its reply over as it is, an empty or malformed one too, past
  // the checks the client makes (nullopt is no reply), and sees a request too long to send
  // as well. What a fuzzer needs to reach the code behind those checks.
  std::function<std::optional<Bytes>(const Bytes& pdu)> handOver;

  bool UniversalMBTCPSendAndWait(const char* address, uint16_t port, uint8_t unitId,
                                 const uint8_t* requestPdu, uint8_t* replyPdu, int32_t timeOutMs,
                                 uint16_t requestPduLength, uint16_t* replyPduLength) override {
    if (replyPduLength) *replyPduLength = 0;
    lastFailure_.clear();
    unit_ = unitId;
    if (!handOver && requestPduLength + 1 > mbap::kMaxLength) {
      lastFailure_ = "Request too long for Modbus over TCP";
      return false;
    }
    const std::string where = std::string(address) + ":" + std::to_string(port);
    if (port == refusedPort) {
      lastFailure_ = "Connection refused: " + where;
      connected_ = false;
      return false;
    }
    if (!connected_) ++connections;
    connected_ = true;
    calls.push_back(
        {address, port, unitId, Bytes(requestPdu, requestPdu + requestPduLength), timeOutMs});
    std::optional<Bytes> reply;
    if (handOver) {
      reply = handOver(calls.back().pdu);
    } else if (Bytes r = respond ? respond(calls.back().pdu) : Bytes{}; !r.empty()) {
      reply = std::move(r);
    }
    // No reply: the device closed the connection, or a plain time-out, which gives no reason.
    const std::string fault =
        !reply     ? (closes ? "Connection closed by the device: " + where : std::string())
        : handOver ? std::string()
                   : TcpReplyFault(*reply);
    if (!reply || !fault.empty()) {
      lastFailure_ = fault;
      connected_ = false;
      return false;
    }
    std::copy(reply->begin(), reply->end(), replyPdu);
    if (replyPduLength) *replyPduLength = static_cast<uint16_t>(reply->size());
    unit_ = static_cast<uint8_t>(unitId + replyUnitOffset);
    // A connection on which another unit answered is not kept.
    if (unit_ != unitId) connected_ = false;
    return true;
  }
  uint8_t LastUnitId() const override { return unit_; }
  std::string LastFailure() const override { return lastFailure_; }
  void Disconnect() override {
    ++disconnects;
    connected_ = false;
  }

 private:
  uint8_t unit_ = 0;
  std::string lastFailure_;
  bool connected_ = false;
};

// Content of a simulated device with recognisable bytes.
inline TSimContent SampleContent(const std::string& ident, int eventBytes, int znsSize = 119) {
  TSimContent c;
  c.Identification = ident;
  c.ZnsSize = znsSize;
  for (int i = 0; i < znsSize * 2; ++i) {
    c.Zestaw1.push_back(static_cast<uint8_t>(i * 7 + 1));
    c.Zestaw2.push_back(static_cast<uint8_t>(i * 5 + 3));
  }
  for (int i = 0; i < eventBytes; ++i) c.Events.push_back(static_cast<uint8_t>(i * 13 + 11));
  return c;
}

#include <algorithm>
#include <cstring>

#include "kivcomm.h"
#include "modbusframe.h"

void TKivComm::Wait(int ms) {
  if (settings_.Waiter) settings_.Waiter->Wait(ms);
}

void TKivComm::Silence() {
  ++silenceCount_;
  Wait(settings_.TimeSilence);
}

void TKivComm::TraceFrame(const char* title, const uint8_t* data, int n) {
  if (!kiv_.TraceList()) return;
  kiv_.Trace(title);
  for (const std::string& line : modbus::HexLines(data, static_cast<size_t>(n))) kiv_.Trace(line);
}

// Writes the request, keeps the silence, and reads what arrived. A reply that is still
// arriving when the silence ends is read on until the length its header announces is
// there or Time_Out has passed: at low speeds a full block takes longer than the silence.
int TKivComm::SerialExchange() {
  ISerialLink* port = settings_.SerialPort;
  uint8_t* reply = kiv_.Reply.data();
  if (!port) {
    kiv_.Error = true;
    Wait(settings_.TimeSilence);
    return 0;
  }
  // A late reply of an earlier exchange must not pass for this one's.
  port->DiscardInput();
  if (port->Write(kiv_.Request.data(), kiv_.RequestLength) < kiv_.RequestLength) kiv_.Error = true;
  Wait(settings_.TimeSilence);
  int n = std::max(0, port->Read(reply, modbus::kMaxReplyRead));
  if (n == 0) return 0;
  const int64_t deadline = settings_.Waiter ? settings_.Waiter->TickMs() + settings_.Time_Out : 0;
  while (n < modbus::kMaxReplyRead) {
    const int want = modbus::RtuReplyLength(reply, n);
    if (want < 0 || (want > 0 && n >= want)) break;
    if (!settings_.Waiter || settings_.Waiter->TickMs() >= deadline) break;
    Wait(kivcomm::kSerialPollMs);
    n += std::max(0, port->Read(reply + n, modbus::kMaxReplyRead - n));
  }
  return n;
}

void TKivComm::Transact() {
  kiv_.ReplyLength = 0;
  kiv_.Error = false;
  kiv_.Cancel = false;
  genuineException_ = false;
  replyFrameEnd_ = 0;
  // No reply of an earlier exchange may look like this one's.
  std::fill(kiv_.Reply.begin(), kiv_.Reply.begin() + 3, uint8_t{0});
  if (kiv_.RequestLength == 0) {
    kiv_.Cancel = true;
    return;
  }
  if (kiv_.RequestLength < 4 || kiv_.RequestLength > kiv_.Request.size()) {
    kiv_.Trace("Request of wrong length, cancel reading");
    kiv_.Error = true;
    return;
  }
  const uint8_t slave = kiv_.GetReadOptions().SlaveNo;
  kiv_.Request[0] = slave;
  modbus::AppendCrc(kiv_.Request.data(), kiv_.RequestLength - 2u);
  if (kiv_.TraceMessages) TraceFrame("Send:", kiv_.Request.data(), kiv_.RequestLength);

  const bool tcp = settings_.MBTCPComm;
  if (tcp) {
    const uint16_t pduLength = static_cast<uint16_t>(kiv_.RequestLength - 3);
    if (pduLength > kivcomm::kMaxTcpPdu) {
      kiv_.Trace("Request too long for Modbus over TCP, cancel reading");
      kiv_.Error = true;
      return;
    }
    uint16_t replyPduLength = 0;
    const bool answered =
        settings_.TcpLink &&
        settings_.TcpLink->UniversalMBTCPSendAndWait(
            settings_.MBTCPIP.c_str(), settings_.MBTCPPort, slave, kiv_.Request.data() + 1,
            kiv_.Reply.data() + 1, settings_.Time_Out * 2, pduLength, &replyPduLength);
    if (answered) {
      kiv_.Reply[0] = slave;
      kiv_.ReplyLength =
          static_cast<uint16_t>(std::min<int>(replyPduLength + 1, modbus::kMaxReplyRead));
    }
  } else {
    kiv_.ReplyLength = static_cast<uint16_t>(SerialExchange());
  }

  if (kiv_.ReplyLength == 0) {
    kiv_.Trace("TimeOut, cancel reading");
    kiv_.Error = true;
    return;
  }
  int frameEnd = kiv_.ReplyLength;
  if (!tcp) {
    if (!modbus::CrcValid(kiv_.Reply.data(), kiv_.ReplyLength)) {
      kiv_.Trace("CRC error, cancel reading");
      kiv_.Error = true;
      return;
    }
    frameEnd -= modbus::kCrcSize;
  }
  if (kiv_.TraceMessages) TraceFrame("Receive:", kiv_.Reply.data(), kiv_.ReplyLength);
  // Address, function code and one byte of data is the least any reply holds.
  if (frameEnd < 3) {
    kiv_.Trace("Reply too short, cancel reading");
    kiv_.Error = true;
    return;
  }
  replyFrameEnd_ = frameEnd;
  const bool sameAddress = kiv_.Reply[0] == slave;
  if (!sameAddress) {
    kiv_.Trace("Answer of different address device, cancel reading");
    kiv_.Error = true;
  } else if ((kiv_.Reply[1] & ~modbus::kExceptionBit) != kiv_.Request[1]) {
    // An answer to another request (or a damaged one) is no answer to this one.
    kiv_.Trace("Answer with different function code, cancel reading");
    kiv_.Error = true;
    return;
  }
  if (kiv_.Reply[1] & modbus::kExceptionBit) {
    kiv_.Error = true;
    genuineException_ = sameAddress;
  }
}

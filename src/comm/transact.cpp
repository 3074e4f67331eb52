#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "kivcomm.h"
#include "modbusframe.h"

using kivcomm::TTransactOutcome;
using kivcomm::TTransactResult;

namespace kivcomm {

std::string TraceLine(TTransactOutcome outcome) {
  switch (outcome) {
    case TTransactOutcome::Ok:
    case TTransactOutcome::NotSent:
    // The reply decides what follows; the Error flag alone tells of the lost bytes.
    case TTransactOutcome::IncompleteWrite:
      return {};
    case TTransactOutcome::WrongRequest:
      return "Request of wrong length, cancel reading";
    case TTransactOutcome::TooLongForTcp:
      return "Request too long for Modbus over TCP, cancel reading";
    case TTransactOutcome::TimeOut:
      return "TimeOut, cancel reading";
    case TTransactOutcome::CrcError:
      return "CRC error, cancel reading";
    case TTransactOutcome::ShortReply:
      return "Reply too short, cancel reading";
    case TTransactOutcome::OtherAddress:
      return "Answer of different address device, cancel reading";
    case TTransactOutcome::OtherFunction:
      return "Answer with different function code, cancel reading";
    case TTransactOutcome::Exception:
      return "Command refused - cancel reading";
    case TTransactOutcome::WrongByteCount:
      return "Wrong byte count, cancel reading";
    case TTransactOutcome::WrongEcho:
      return "Wrong echo of the written registers, cancel reading";
  }
  return {};
}

}  // namespace kivcomm

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

// Modbus RTU frames are separated by at least 3.5 characters of silence: a request
// written sooner after the line's last byte would merge with it at the device.
void TKivComm::KeepFrameGap(ISerialLink& port, double charMs) {
  if (!settings_.Waiter) return;
  if (port.DiscardInput() > 0) lastLineTick_ = settings_.Waiter->TickMs();
  if (lastLineTick_ < 0) return;
  const int gap = static_cast<int>(std::ceil(3.5 * charMs));
  const int64_t quiet = settings_.Waiter->TickMs() - lastLineTick_;
  if (quiet < gap) Wait(static_cast<int>(gap - quiet));
}

// Writes the request, keeps the silence, and reads the reply. The first byte may come up
// to Time_Out after the request left the line. A frame that has begun is read until the
// length its header announces is there; while it arrives the wait grows with the
// characters still expected at the line's speed, so no speed cuts a frame, and a line
// quiet longer than that (plus the adapter margin) ends it. Echo and junk around the frame
// are left out; the returned length is the frame's, placed at the start of Reply.
int TKivComm::SerialExchange(bool& wholeRequestSent) {
  ISerialLink* port = settings_.SerialPort;
  uint8_t* reply = kiv_.Reply.data();
  if (!port) {
    Wait(settings_.TimeSilence);
    return 0;
  }
  IWaiter* clock = settings_.Waiter;
  const double charMs = 10000.0 / std::max(1, port->BitsPerSecond());
  // A late reply of an earlier exchange must not pass for this one's.
  KeepFrameGap(*port, charMs);
  const int requestLength = kiv_.RequestLength;
  wholeRequestSent = port->Write(kiv_.Request.data(), requestLength) >= requestLength;
  const int64_t sent = clock ? clock->TickMs() : 0;
  lastLineTick_ = sent;
  Wait(settings_.TimeSilence);

  std::array<uint8_t, kivcomm::kSerialScanBuffer> line{};
  int n = 0;
  int64_t lastByte = sent;
  modbus::TRtuScan scan;
  for (;;) {
    const int got = std::max(0, port->Read(line.data() + n, kivcomm::kSerialScanBuffer - n));
    if (got > 0) {
      n += got;
      lastByte = clock ? clock->TickMs() : 0;
      lastLineTick_ = lastByte;
    }
    scan = modbus::ScanRtuReply(line.data(), n, kiv_.Request.data(), requestLength);
    if (scan.State == modbus::TRtuScanState::Complete) break;
    if (!clock || n >= kivcomm::kSerialScanBuffer || !port->LastFailure().empty()) break;
    int64_t deadline = sent + settings_.Time_Out;
    if (n > scan.Echo) {
      const int64_t frameLimit = lastByte + kivcomm::kSerialLatencyMarginMs +
                                 static_cast<int64_t>(std::ceil(scan.Missing(n) * charMs));
      deadline = std::max(deadline, frameLimit);
    }
    if (clock->TickMs() >= deadline) break;
    Wait(kivcomm::kSerialPollMs);
  }
  if (scan.State == modbus::TRtuScanState::Complete && scan.Length <= modbus::kMaxReplyRead) {
    std::memcpy(reply, line.data() + scan.Start, static_cast<size_t>(scan.Length));
    return scan.Length;
  }
  // No frame ended where its header said: what came after the echo goes on as it is, so
  // that the checks after it name what is wrong (mostly the CRC).
  const int from = scan.Echo;
  const int rest = std::min(n - from, modbus::kMaxReplyRead);
  if (rest <= 0) return 0;
  std::memcpy(reply, line.data() + from, static_cast<size_t>(rest));
  return rest;
}

TTransactResult TKivComm::Finish(TTransactOutcome outcome) {
  last_.Outcome = outcome;
  if (outcome == TTransactOutcome::NotSent)
    kiv_.Cancel = true;
  else if (outcome != TTransactOutcome::Ok)
    kiv_.Error = true;
  // A refusal is named by the dialogue: the end of the events buffer is one too.
  if (outcome != TTransactOutcome::Exception) {
    const std::string line = kivcomm::TraceLine(outcome);
    if (!line.empty()) kiv_.Trace(line);
  }
  return last_;
}

void TKivComm::TraceRefusal() {
  kiv_.Trace(kivcomm::TraceLine(TTransactOutcome::Exception));
}

TTransactResult TKivComm::Transact() {
  kiv_.ReplyLength = 0;
  kiv_.Error = false;
  kiv_.Cancel = false;
  last_ = {};
  // No reply of an earlier exchange may look like this one's.
  std::fill(kiv_.Reply.begin(), kiv_.Reply.begin() + 3, uint8_t{0});
  if (kiv_.RequestLength == 0) return Finish(TTransactOutcome::NotSent);
  if (kiv_.RequestLength < 4 || kiv_.RequestLength > kiv_.Request.size())
    return Finish(TTransactOutcome::WrongRequest);
  const uint8_t slave = kiv_.GetReadOptions().SlaveNo;
  kiv_.Request[0] = slave;
  modbus::AppendCrc(kiv_.Request.data(), kiv_.RequestLength - 2u);
  if (kiv_.TraceMessages) TraceFrame("Send:", kiv_.Request.data(), kiv_.RequestLength);

  const bool tcp = settings_.MBTCPComm;
  bool wholeRequestSent = true;
  if (tcp) {
    const uint16_t pduLength = static_cast<uint16_t>(kiv_.RequestLength - 3);
    if (pduLength > kivcomm::kMaxTcpPdu) return Finish(TTransactOutcome::TooLongForTcp);
    uint16_t replyPduLength = 0;
    const bool answered =
        settings_.TcpLink &&
        settings_.TcpLink->UniversalMBTCPSendAndWait(
            settings_.MBTCPIP.c_str(), settings_.MBTCPPort, slave, kiv_.Request.data() + 1,
            kiv_.Reply.data() + 1, settings_.Time_Out * 2, pduLength, &replyPduLength);
    if (answered) {
      // Another unit's answer keeps its unit id, so that it is told as such below.
      kiv_.Reply[0] = settings_.TcpLink->LastUnitId();
      kiv_.ReplyLength =
          static_cast<uint16_t>(std::min<int>(replyPduLength + 1, modbus::kMaxReplyRead));
    }
  } else {
    kiv_.ReplyLength = static_cast<uint16_t>(SerialExchange(wholeRequestSent));
  }

  if (kiv_.ReplyLength == 0) {
    Finish(TTransactOutcome::TimeOut);
    // What the link knows about the failure follows: a refused connection, a reply
    // header of another transaction, a port that vanished.
    std::string reason;
    if (tcp && settings_.TcpLink)
      reason = settings_.TcpLink->LastFailure();
    else if (!tcp && settings_.SerialPort)
      reason = settings_.SerialPort->LastFailure();
    if (!reason.empty()) kiv_.Trace(reason);
    return last_;
  }
  int frameEnd = kiv_.ReplyLength;
  if (!tcp) {
    if (!modbus::CrcValid(kiv_.Reply.data(), kiv_.ReplyLength))
      return Finish(TTransactOutcome::CrcError);
    frameEnd -= modbus::kCrcSize;
  }
  if (kiv_.TraceMessages) TraceFrame("Receive:", kiv_.Reply.data(), kiv_.ReplyLength);
  // Address, function code and one byte of data is the least any reply holds.
  if (frameEnd < 3) return Finish(TTransactOutcome::ShortReply);
  last_.FrameEnd = frameEnd;
  if (kiv_.Reply[0] != slave) return Finish(TTransactOutcome::OtherAddress);
  // An answer to another request (or a damaged one) is no answer to this one.
  if ((kiv_.Reply[1] & ~modbus::kExceptionBit) != kiv_.Request[1])
    return Finish(TTransactOutcome::OtherFunction);
  if (kiv_.Reply[1] & modbus::kExceptionBit) {
    last_.ExceptionCode = kiv_.Reply[2];
    return Finish(TTransactOutcome::Exception);
  }
  return Finish(wholeRequestSent ? TTransactOutcome::Ok : TTransactOutcome::IncompleteWrite);
}

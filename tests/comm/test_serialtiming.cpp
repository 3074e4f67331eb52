// The serial exchange on a line with real timing: the request's wire time, a device that
// answers late, a reply that takes longer than the silence to arrive, the line's echo,
// stray bytes around a frame, and a port that vanished. The fake port keeps the real
// port's timing: a write returns once the bytes have left the line.
#include <gtest/gtest.h>

#include "../core/tracelines.h"
#include "rig.h"

namespace {

void IdentRequest(TKiv& kiv) {
  const uint8_t pdu[] = {0x03, 0x0E, 0x78, 0x00, 0x08};
  std::copy(pdu, pdu + 5, kiv.Request.begin() + 1);
  kiv.RequestLength = 8;
}

// The frame's bytes one by one at the line's pace, the first `latency` ms after the
// request left.
std::vector<Chunk> Paced(const Bytes& frame, int latency, int baud) {
  std::vector<Chunk> chunks;
  for (size_t i = 0; i < frame.size(); ++i)
    chunks.push_back({latency + static_cast<int>((i + 1) * 10000 / baud), {frame[i]}});
  return chunks;
}

}  // namespace

// A frame of a function that announces no length is what arrived; more than an RTU frame
// can hold is no frame (it would overrun the reply area of the registration object).
TEST(ModbusFrame, ScanTakesNoFrameLongerThanRtuAllows) {
  const Bytes request = WithCrc({0x1F, 0x03, 0x0E, 0x78, 0x00, 0x08});
  for (size_t size : {size_t{20}, size_t{254}, size_t{400}, size_t{1000}}) {
    Bytes body(size - 2, 0x5A);
    body[0] = 0x1F;
    body[1] = 0x42;
    const Bytes line = WithCrc(body);
    const modbus::TRtuScan s =
        modbus::ScanRtuReply(line.data(), static_cast<int>(line.size()), request.data(),
                             static_cast<int>(request.size()));
    if (line.size() <= static_cast<size_t>(modbus::kMaxReplyRead)) {
      EXPECT_EQ(s.State, modbus::TRtuScanState::Complete) << size;
      EXPECT_EQ(s.Length, static_cast<int>(line.size()));
    } else {
      EXPECT_NE(s.State, modbus::TRtuScanState::Complete) << size;
    }
  }
}

TEST(ModbusFrame, ScanFindsTheReplyAmidEchoAndJunk) {
  const Bytes request = WithCrc({0x1F, 0x03, 0x0E, 0x78, 0x00, 0x08});
  const Bytes reply = WithCrc({0x1F, 0x03, 0x04, 'K', '2', 'A', 'B'});
  auto scan = [&](const Bytes& line) {
    return modbus::ScanRtuReply(line.data(), static_cast<int>(line.size()), request.data(),
                                static_cast<int>(request.size()));
  };
  using modbus::TRtuScanState;
  modbus::TRtuScan s = scan(reply);
  EXPECT_EQ(s.State, TRtuScanState::Complete);
  EXPECT_EQ(s.Start, 0);
  EXPECT_EQ(s.Length, 9);

  Bytes line = request;  // echo, then the reply with junk on both sides
  line.push_back(0x00);
  line.insert(line.end(), reply.begin(), reply.end());
  line.push_back(0xFF);
  s = scan(line);
  EXPECT_EQ(s.State, TRtuScanState::Complete);
  EXPECT_EQ(s.Echo, 8);
  EXPECT_EQ(s.Start, 9);
  EXPECT_EQ(s.Length, 9);

  // Half an echo, an echo alone, half a reply: more is expected.
  s = scan(Bytes(request.begin(), request.begin() + 5));
  EXPECT_EQ(s.State, TRtuScanState::NeedMore);
  s = scan(request);
  EXPECT_EQ(s.State, TRtuScanState::NoFrame);
  EXPECT_EQ(s.Echo, 8);
  s = scan(Bytes(reply.begin(), reply.begin() + 4));
  EXPECT_EQ(s.State, TRtuScanState::NeedMore);
  EXPECT_EQ(s.Length, 9);
  EXPECT_EQ(s.Missing(4), 5);
  s = scan({0x1F});
  EXPECT_EQ(s.State, TRtuScanState::NeedMore);
  EXPECT_EQ(s.Missing(1), 2);

  // Another slave's whole frame is found as it is (the caller names it).
  const Bytes other = WithCrc({0x05, 0x03, 0x02, 0x12, 0x34});
  s = scan(other);
  EXPECT_EQ(s.State, TRtuScanState::Complete);
  // A damaged frame is no frame; junk alone is none either.
  Bytes damaged = reply;
  damaged[4] ^= 1;
  EXPECT_NE(scan(damaged).State, TRtuScanState::Complete);
  EXPECT_EQ(scan({0x00, 0x55, 0xAA}).State, TRtuScanState::NoFrame);
  // An exception reply after stray bytes.
  Bytes refused{0xFF, 0x00};
  const Bytes exception = WithCrc({0x1F, 0x83, 0x02});
  refused.insert(refused.end(), exception.begin(), exception.end());
  s = scan(refused);
  EXPECT_EQ(s.State, TRtuScanState::Complete);
  EXPECT_EQ(s.Start, 2);
  EXPECT_EQ(s.Length, 5);
}

// The first byte may come up to Time_Out after the request left the line; the silence is
// the least pause, not the most.
TEST(SerialTiming, FirstByteIsAwaitedUpToTimeOut) {
  for (int latency : {5, 50, 299, 301, 480}) {
    SCOPED_TRACE(latency);
    Rig rig;
    rig.serial.baud = 9600;
    rig.replyDelayMs = latency;
    IdentRequest(rig.kiv);
    rig.comm.Transact();
    EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
    EXPECT_EQ(rig.kiv.ReplyLength, 21);
    // Not a poll longer than needed: done within a few ms of the reply's arrival.
    EXPECT_LE(rig.clock.now, rig.serial.writtenAt[0] + std::max(300, latency) + 5);
  }
  Rig late;
  late.replyDelayMs = 520;
  IdentRequest(late.kiv);
  late.comm.Transact();
  EXPECT_TRUE(late.kiv.Error);
  EXPECT_EQ(late.trace.lines, std::vector<std::string>{"TimeOut, cancel reading"});
  EXPECT_LE(late.clock.now, late.serial.writtenAt[0] + 500 + kivcomm::kSerialPollMs);
}

// At 1200 baud a parset reply takes two seconds on the wire: it is read whole because
// its bytes keep coming, whatever Time_Out says.
TEST(SerialTiming, FrameStillArrivingIsNeverCut) {
  for (int baud : {1200, 2400, 4800}) {
    SCOPED_TRACE(baud);
    Rig rig;
    rig.serial.baud = baud;
    rig.serial.respond = [&](const Bytes& r) {
      return Paced(RtuReply(*rig.device, r, 31), 50, baud);
    };
    rig.comm.ReadZestaw(1);
    EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
    EXPECT_EQ(rig.kiv.Zestaw1Length(), 238);
    // The request left after its wire time (8 bytes), not before.
    EXPECT_EQ(rig.serial.writtenAt[0], (8 * 10000 + baud - 1) / baud);
  }
}

// A frame that stops half-way ends after the line was quiet for the bytes still expected
// plus the margin (and never before Time_Out): a CRC error, and nothing waits longer.
TEST(SerialTiming, FrameThatStopsEndsAfterItsLimit) {
  Rig rig;
  rig.serial.baud = 1200;
  rig.serial.respond = [&](const Bytes& r) {
    const Bytes frame = RtuReply(*rig.device, r, 31);
    return std::vector<Chunk>{{100, Bytes(frame.begin(), frame.begin() + 7)}};
  };
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"CRC error, cancel reading"});
  // 14 characters missing at 8.3 ms each, plus the margin, after the last byte was seen
  // (at the end of the silence).
  const int64_t limit = 300 + kivcomm::kSerialLatencyMarginMs + (14 * 10000 + 1199) / 1200;
  const int64_t waited = rig.clock.now - rig.serial.writtenAt[0];
  EXPECT_GE(waited, std::max<int64_t>(500, limit));
  EXPECT_LE(waited, std::max<int64_t>(500, limit) + kivcomm::kSerialPollMs);
  // The next exchange works.
  rig.serial.respond = [&](const Bytes& r) {
    return std::vector<Chunk>{{10, RtuReply(*rig.device, r, 31)}};
  };
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_FALSE(rig.kiv.Error);
}

// The echo of a two-wire adapter and stray bytes around the frame do not fail an intact
// frame; what follows the frame is gone before the next request.
TEST(SerialTiming, EchoAndStrayBytes) {
  struct Case {
    const char* name;
    bool echo;
    Bytes before, after;
  };
  for (const Case& c : {Case{"echo", true, {}, {}}, Case{"stray before", false, {0x00}, {}},
                        Case{"stray after", false, {}, {0xFF}},
                        Case{"echo and both", true, {0xFF, 0x00}, {0x00, 0x1F}}}) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.serial.baud = 9600;
    rig.serial.respond = [&](const Bytes& r) {
      Bytes line = c.echo ? r : Bytes{};
      line.insert(line.end(), c.before.begin(), c.before.end());
      const Bytes frame = RtuReply(*rig.device, r, 31);
      line.insert(line.end(), frame.begin(), frame.end());
      line.insert(line.end(), c.after.begin(), c.after.end());
      return Paced(line, 20, 9600);
    };
    rig.comm.ReadAll();
    EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
    EXPECT_EQ(rig.kiv.Zestaw2Length(), 238);
    EXPECT_EQ(rig.kiv.EventBufferLength(), 600);
    EXPECT_EQ(rig.kiv.Identification(), "12345678");
  }
  // Junk before another slave's frame: still that slave's answer.
  Rig rig;
  rig.serial.respond = [](const Bytes&) {
    Bytes line{0x00};
    const Bytes frame = WithCrc({0x05, 0x03, 0x02, 0x12, 0x34});
    line.insert(line.end(), frame.begin(), frame.end());
    return std::vector<Chunk>{{10, line}};
  };
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_EQ(FromEnd(rig.trace.lines), "Answer of different address device, cancel reading");
}

// Two requests are at least 3.5 characters apart from the line's last byte, even with no
// silence configured.
TEST(SerialTiming, FrameGapBeforeEveryRequest) {
  Rig rig;
  rig.serial.baud = 1200;  // 8.3 ms a character: a 30 ms gap
  rig.settings.TimeSilence = 0;
  rig.kiv.Defs.ZnsSendStep = 50;
  rig.kiv.SetZestaw1Length(238);
  int64_t lastByte = 0;
  rig.serial.respond = [&](const Bytes& r) {
    const Bytes frame = RtuReply(*rig.device, r, 31);
    lastByte = rig.clock.now + 10;
    return std::vector<Chunk>{{10, frame}};
  };
  std::vector<int64_t> gaps;
  auto inner = rig.serial.respond;
  rig.serial.respond = [&](const Bytes& r) {
    // When this request started: its wire time before it left.
    const int64_t started = rig.clock.now - (static_cast<int64_t>(r.size()) * 10000 + 1199) / 1200;
    if (lastByte > 0) gaps.push_back(started - lastByte);
    return inner(r);
  };
  rig.comm.WriteZestaw(1, 1);
  EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
  ASSERT_EQ(gaps.size(), 2u + 1u);  // after the write's identification, then its requests
  for (int64_t g : gaps) EXPECT_GE(g, 30);
}

// A late reply of an earlier exchange is thrown away before the next request. The line was
// busy until that moment, so the request still keeps 3.5 characters of silence after it.
TEST(SerialTiming, FrameGapAfterADiscardedLateReply) {
  Rig rig;
  rig.serial.baud = 1200;  // 8.3 ms a character: a 30 ms gap
  rig.settings.TimeSilence = 0;
  rig.replyDelayMs = 520;  // after the 500 ms time-out
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  ASSERT_TRUE(rig.kiv.Error);
  ASSERT_EQ(rig.serial.writtenAt.size(), 1u);
  // Long after the time-out the late reply has arrived whole; nothing has read it.
  rig.clock.now = rig.serial.writtenAt[0] + 900;
  const int64_t discarded = rig.clock.now;
  rig.replyDelayMs = 10;
  rig.kiv.Error = false;
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
  ASSERT_EQ(rig.serial.writtenAt.size(), 2u);
  ASSERT_EQ(rig.serial.requests.size(), 2u);
  const int64_t wire = (static_cast<int64_t>(rig.serial.requests[1].size()) * 10000 + 1199) / 1200;
  EXPECT_GE(rig.serial.writtenAt[1] - wire - discarded, 30);
}

// A port that vanished: the exchange fails at once with the reason after the time-out
// line, and the reading stops there.
TEST(SerialTiming, VanishedPortIsReported) {
  Rig rig;
  rig.serial.Vanish("Serial port ttyUSB0 lost: No such device");
  rig.comm.ReadAll();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(rig.trace.lines,
            (std::vector<std::string>{"Identification of device:", "TimeOut, cancel reading",
                                      "Serial port ttyUSB0 lost: No such device"}));
  EXPECT_LE(rig.clock.now, 300 + kivcomm::kSerialPollMs);
}

// Over TCP another unit's answer is named as such.
TEST(TcpPath, AnswerOfAnotherUnit) {
  Rig rig(true);
  rig.tcp.replyUnitOffset = 1;
  rig.comm.Identify();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(FromEnd(rig.trace.lines), "Answer of different address device, cancel reading");
  EXPECT_EQ(rig.kiv.Identification(), "");
}

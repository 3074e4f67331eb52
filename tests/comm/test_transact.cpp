#include <gtest/gtest.h>

#include <optional>

#include "../core/tracelines.h"
#include "rig.h"

using kivcomm::TTransactOutcome;

namespace {

// Puts an identification request (without address and CRC) into the object.
void IdentRequest(TKiv& kiv) {
  const uint8_t pdu[] = {0x03, 0x0E, 0x78, 0x00, 0x08};
  std::copy(pdu, pdu + 5, kiv.Request.begin() + 1);
  kiv.RequestLength = 8;
}

}  // namespace

TEST(Transact, SerialRequestGetsAddressAndCrcAndTracesBothFrames) {
  Rig rig;
  rig.kiv.TraceMessages = true;
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  ASSERT_EQ(rig.serial.requests.size(), 1u);
  const Bytes expected = WithCrc({0x1F, 0x03, 0x0E, 0x78, 0x00, 0x08});
  EXPECT_EQ(rig.serial.requests[0], expected);
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_FALSE(rig.kiv.Cancel);
  EXPECT_EQ(rig.kiv.ReplyLength, 3 + 16 + 2);
  EXPECT_EQ(rig.kiv.Reply[1], 3);
  ASSERT_GE(rig.trace.lines.size(), 5u);
  EXPECT_EQ(rig.trace.lines[0], "Send:");
  EXPECT_EQ(rig.trace.lines[1], modbus::HexLines(expected.data(), 8)[0]);
  EXPECT_EQ(rig.trace.lines[2], "Receive:");
  EXPECT_EQ(rig.trace.lines.size(), 5u);  // 21 reply bytes: two lines
  // The silence is kept between writing and reading, and stale input was dropped first.
  EXPECT_EQ(rig.clock.waits, std::vector<int>{300});
  EXPECT_EQ(rig.serial.discards, 1);
}

TEST(Transact, TwentyByteRequestTracesSixteenAndFour) {
  Rig rig;
  rig.kiv.TraceMessages = true;
  rig.serial.respond = nullptr;
  rig.kiv.Request[1] = 0x10;
  rig.kiv.RequestLength = 20;
  rig.comm.Transact();
  ASSERT_GE(rig.trace.lines.size(), 3u);
  EXPECT_EQ(rig.trace.lines[0], "Send:");
  EXPECT_EQ(rig.trace.lines[1].size(), 48u);
  EXPECT_EQ(rig.trace.lines[2].size(), 12u);
  EXPECT_EQ(FromEnd(rig.trace.lines), "TimeOut, cancel reading");
}

TEST(Transact, EveryFailureRowSetsItsFlagAndLine) {
  {  // empty request: nothing sent, Cancel
    Rig rig;
    rig.kiv.RequestLength = 0;
    rig.kiv.Error = true;
    EXPECT_EQ(rig.comm.Transact().Outcome, TTransactOutcome::NotSent);
    EXPECT_TRUE(rig.kiv.Cancel);
    EXPECT_FALSE(rig.kiv.Error);
    EXPECT_TRUE(rig.serial.requests.empty());
    EXPECT_TRUE(rig.trace.lines.empty());
  }
  {  // incomplete write: Error without a line, the reply is still read
    Rig rig;
    rig.serial.shortWriteBy = 1;
    IdentRequest(rig.kiv);
    EXPECT_EQ(rig.comm.Transact().Outcome, TTransactOutcome::IncompleteWrite);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_GT(rig.kiv.ReplyLength, 0);
    EXPECT_TRUE(rig.trace.lines.empty());
  }
  {  // no reply
    Rig rig;
    rig.serial.respond = nullptr;
    IdentRequest(rig.kiv);
    EXPECT_EQ(rig.comm.Transact().Outcome, TTransactOutcome::TimeOut);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.kiv.ReplyLength, 0);
    EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"TimeOut, cancel reading"});
  }
  {  // wrong last byte: CRC error, the reply is not traced
    Rig rig;
    rig.kiv.TraceMessages = true;
    rig.serial.respond = [&rig](const Bytes& r) {
      Bytes reply = RtuReply(*rig.device, r, 31);
      reply.back() ^= 0x55;
      return std::vector<Chunk>{{10, reply}};
    };
    IdentRequest(rig.kiv);
    EXPECT_EQ(rig.comm.Transact().Outcome, TTransactOutcome::CrcError);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(FromEnd(rig.trace.lines), "CRC error, cancel reading");
    EXPECT_FALSE(rig.Traced("Receive:"));
  }
  {  // another address, with the exception bit still tested
    Rig rig;
    rig.serial.respond = [](const Bytes&) {
      return std::vector<Chunk>{{10, WithCrc({0x05, 0x83, 0x02})}};
    };
    IdentRequest(rig.kiv);
    EXPECT_EQ(rig.comm.Transact().Outcome, TTransactOutcome::OtherAddress);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.trace.lines,
              std::vector<std::string>{"Answer of different address device, cancel reading"});
    EXPECT_EQ(rig.kiv.Reply[1], 0x83);
  }
  {  // exception reply: Error, no line
    Rig rig;
    rig.serial.respond = [](const Bytes&) {
      return std::vector<Chunk>{{10, WithCrc({0x1F, 0x83, 0x04})}};
    };
    IdentRequest(rig.kiv);
    const kivcomm::TTransactResult result = rig.comm.Transact();
    EXPECT_EQ(result.Outcome, TTransactOutcome::Exception);
    EXPECT_EQ(result.ExceptionCode, 4);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_TRUE(rig.trace.lines.empty());
  }
  {  // a frame too short to hold any reply
    Rig rig;
    rig.serial.respond = [](const Bytes&) {
      return std::vector<Chunk>{{10, WithCrc({0x1F, 0x03})}};
    };
    IdentRequest(rig.kiv);
    EXPECT_EQ(rig.comm.Transact().Outcome, TTransactOutcome::ShortReply);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"Reply too short, cancel reading"});
  }
  {  // an answer of another function
    Rig rig;
    rig.serial.respond = [](const Bytes&) {
      return std::vector<Chunk>{{10, WithCrc({0x1F, 0x10, 0x00, 0x00, 0x00, 0x01})}};
    };
    IdentRequest(rig.kiv);
    const kivcomm::TTransactResult result = rig.comm.Transact();
    EXPECT_EQ(result.Outcome, TTransactOutcome::OtherFunction);
    EXPECT_EQ(rig.trace.lines, std::vector<std::string>{kivcomm::TraceLine(result.Outcome)});
    EXPECT_EQ(rig.trace.lines[0], "Answer with different function code, cancel reading");
  }
}

TEST(Transact, FailedExchangeLeavesNoStaleReply) {
  Rig rig;
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  ASSERT_EQ(rig.kiv.Reply[1], 3);
  rig.serial.respond = nullptr;
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_EQ(rig.kiv.ReplyLength, 0);
  EXPECT_EQ(rig.kiv.Reply[1], 0);
}

TEST(Transact, SerialReplyStillArrivingAfterTheSilenceIsCompleted) {
  Rig rig;
  // The block's first bytes arrive within the silence, the rest 150 ms after it.
  rig.serial.respond = [&rig](const Bytes& r) {
    const Bytes reply = RtuReply(*rig.device, r, 31);
    return std::vector<Chunk>{{100, Bytes(reply.begin(), reply.begin() + 7)},
                              {450, Bytes(reply.begin() + 7, reply.end())}};
  };
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(rig.kiv.ReplyLength, 21);
  EXPECT_TRUE(rig.trace.lines.empty());
  EXPECT_LE(rig.clock.now, 300 + 500);

  // A rest that comes later than Time_Out is not waited for.
  Rig late;
  late.serial.respond = [&late](const Bytes& r) {
    const Bytes reply = RtuReply(*late.device, r, 31);
    return std::vector<Chunk>{{100, Bytes(reply.begin(), reply.begin() + 7)},
                              {300 + 700, Bytes(reply.begin() + 7, reply.end())}};
  };
  IdentRequest(late.kiv);
  late.comm.Transact();
  EXPECT_TRUE(late.kiv.Error);
  EXPECT_EQ(late.kiv.ReplyLength, 7);
  EXPECT_EQ(late.trace.lines, std::vector<std::string>{"CRC error, cancel reading"});
  EXPECT_LE(late.clock.now, 300 + 500 + kivcomm::kSerialPollMs);
}

TEST(Transact, LateReplyOfTheLastExchangeIsDiscarded) {
  Rig rig;
  int n = 0;
  // The first reply starts only after Time_Out; the second comes in time.
  rig.serial.respond = [&](const Bytes& r) {
    const int delay = n++ == 0 ? 600 : 10;
    return std::vector<Chunk>{{delay, RtuReply(*rig.device, r, 31)}};
  };
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_TRUE(rig.kiv.Error);
  rig.comm.Wait(300);  // the dialogue's pause: the late reply is in the port now
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(rig.kiv.ReplyLength, 21);
}

TEST(Transact, TcpPathFollowsTheLibraryContract) {
  Rig rig(true);
  rig.kiv.TraceMessages = true;
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  ASSERT_EQ(rig.tcp.calls.size(), 1u);
  const FakeTcp::Call& call = rig.tcp.calls[0];
  EXPECT_EQ(call.address, "10.1.2.3");
  EXPECT_EQ(call.port, 1502);
  EXPECT_EQ(call.unit, 31);
  EXPECT_EQ(call.pdu, (Bytes{0x03, 0x0E, 0x78, 0x00, 0x08}));
  EXPECT_EQ(call.timeOut, 1000);
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(rig.kiv.ReplyLength, 1 + 2 + 16);  // no CRC on this path
  EXPECT_EQ(rig.kiv.Reply[0], 31);
  EXPECT_TRUE(rig.serial.requests.empty());
  EXPECT_TRUE(rig.clock.waits.empty());
  EXPECT_TRUE(rig.Traced("Receive:"));

  rig.tcp.respond = [](const Bytes&) { return Bytes{0x83, 0x02}; };
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(rig.comm.LastTransact().Outcome, TTransactOutcome::Exception);
  EXPECT_EQ(rig.comm.LastTransact().ExceptionCode, 2);

  rig.tcp.respond = nullptr;
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(FromEnd(rig.trace.lines), "TimeOut, cancel reading");
}

// Replies handed over past the client's checks, as the fuzzer hands them: Transact's own
// checks still refuse each, and a sound one handed over the same way is taken.
TEST(Transact, TcpReplyPastTheClientsChecksIsRefusedByTransact) {
  const Bytes refused[] = {{}, {0x03}, {0x04, 0x00}};
  for (const Bytes& reply : refused) {
    Rig rig(true);
    rig.tcp.handOver = [&reply](const Bytes&) -> std::optional<Bytes> { return reply; };
    IdentRequest(rig.kiv);
    rig.comm.Transact();
    EXPECT_TRUE(rig.kiv.Error) << reply.size() << " bytes";
    EXPECT_EQ(rig.tcp.calls.size(), 1u);
  }
  Rig rig(true);
  rig.tcp.handOver = [&rig](const Bytes& pdu) -> std::optional<Bytes> {
    return rig.device->Handle(pdu);
  };
  IdentRequest(rig.kiv);
  rig.comm.Transact();
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(rig.kiv.ReplyLength, 1 + 2 + 16);
}

TEST(Transact, TcpRequestAboveThePduLimitIsAFailedExchange) {
  Rig rig(true);
  rig.kiv.Request[1] = 0x10;
  rig.kiv.RequestLength = 2 * 125 + 9;  // PDU of 256 bytes
  rig.comm.Transact();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_TRUE(rig.tcp.calls.empty());
  EXPECT_EQ(rig.trace.lines,
            std::vector<std::string>{"Request too long for Modbus over TCP, cancel reading"});
}

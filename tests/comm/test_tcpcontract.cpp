// The contract of ITcpLink, held alike by FakeTcp (which the dialogue tests use) and by our
// client TMBTCPClient against kivsim's own Modbus TCP framing: what the dialogues see of a
// reply, a refusal, a silence, a wrong reply and a lost connection.
#include <gtest/gtest.h>

#include "linkcontract.h"

namespace {

class FakeTcpUnderTest {
 public:
  static constexpr const char* kName = "Fake";
  FakeTcpUnderTest() {
    tcp_.respond = [this](const Bytes& request) {
      Bytes reply = device_.Handle(request);
      tcp_.replyUnitOffset = armed_.kind == "address" ? armed_.arg - kUnit : 0;
      tcp_.closes = armed_.kind == "reset";
      reply = armed_.Reply(request, reply);
      armed_ = {};
      return reply;
    };
  }
  bool Ok() const { return true; }
  ITcpLink& Link() { return tcp_; }
  uint16_t Port() const { return 1502; }
  uint16_t RefusingPort() {
    tcp_.refusedPort = 1503;
    return 1503;
  }
  TSimDevice& Reference() { return reference_; }
  // The next reply goes wrong as kivsim's fault of this name makes it.
  bool Arm(const std::string& fault) { return armed_.Parse(fault); }
  int Connections() const { return tcp_.connections; }

 private:
  TSimDevice device_{SampleContent("K3ABCDEFGHIJKLMN", 0)};
  TSimDevice reference_{SampleContent("K3ABCDEFGHIJKLMN", 0)};
  FakeTcp tcp_;
  FakeFault armed_;
};

class RealTcpUnderTest {
 public:
  static constexpr const char* kName = "Real";
  bool Ok() const { return served_.Ok(); }
  ITcpLink& Link() { return client_; }
  uint16_t Port() const { return served_.sim.Port(); }
  uint16_t RefusingPort() const { return FreePort(); }
  TSimDevice& Reference() { return *served_.reference; }
  bool Arm(const std::string& fault) { return served_.sim.Arm(fault); }
  int Connections() const { return client_.Connections(); }

 private:
  ServedSim served_{false};
  TMBTCPClient client_;
};

template <class L>
class TcpContract : public LinkContract<L> {
 protected:
  // One exchange: true when a reply came; its PDU is then in reply.
  bool Run(const Bytes& request, int timeOutMs = 3000, uint16_t port = 0) {
    uint16_t length = 0xEEEE;
    uint8_t buffer[300];
    const bool ok = this->link.Link().UniversalMBTCPSendAndWait(
        "127.0.0.1", port ? port : this->link.Port(), kUnit, request.data(), buffer, timeOutMs,
        static_cast<uint16_t>(request.size()), &length);
    EXPECT_EQ(length, ok ? length : 0) << "a failed exchange leaves no reply length";
    reply.assign(buffer, buffer + (ok ? length : 0));
    return ok;
  }
  // An exchange the device answers as the reference device does.
  void ExpectAnswered(const Bytes& request) {
    ASSERT_TRUE(Run(request)) << this->link.Link().LastFailure();
    EXPECT_EQ(reply, this->link.Reference().Handle(request));
    EXPECT_EQ(this->link.Link().LastFailure(), "");
    EXPECT_EQ(this->link.Link().LastUnitId(), kUnit);
  }
  std::string Where(uint16_t port) const { return "127.0.0.1:" + std::to_string(port); }

  Bytes reply;
};

using TcpLinks = ::testing::Types<FakeTcpUnderTest, RealTcpUnderTest>;
TYPED_TEST_SUITE(TcpContract, TcpLinks, LinkNames);

// Replies come through byte for byte, on one connection kept between exchanges.
TYPED_TEST(TcpContract, RepliesPassByteForByte) {
  TSimDevice& device = this->link.Reference();
  this->ExpectAnswered(IdentRequest());
  this->ExpectAnswered(ParsetWrite(device));
  this->ExpectAnswered(ParsetRead(device, 4));
  EXPECT_EQ(Bytes(this->reply.begin() + 2, this->reply.begin() + 6),
            (Bytes{0xC0, 0xFF, 0x01, 0x5A}));
  EXPECT_EQ(this->link.Connections(), 1);
}

// An exception reply is a reply: the function with bit 7 and the code.
TYPED_TEST(TcpContract, ExceptionRepliesCarryTheirCode) {
  ASSERT_TRUE(this->link.Arm("exception=4"));
  ASSERT_TRUE(this->Run(IdentRequest()));
  EXPECT_EQ(this->reply, (Bytes{0x83, 0x04}));
  EXPECT_EQ(this->link.Link().LastFailure(), "");
  ASSERT_TRUE(this->link.Arm("exception=3"));
  ASSERT_TRUE(this->Run(ParsetWrite(this->link.Reference())));
  EXPECT_EQ(this->reply, (Bytes{0x90, 0x03}));
  EXPECT_EQ(this->link.Connections(), 1);
}

// No reply within the time: false without a reason, and the next exchange starts on a new
// connection (a late reply must not be read as its own).
TYPED_TEST(TcpContract, TimeOutGivesNoReason) {
  this->ExpectAnswered(IdentRequest());
  ASSERT_TRUE(this->link.Arm("silent"));
  EXPECT_FALSE(this->Run(IdentRequest(), 300));
  EXPECT_EQ(this->link.Link().LastFailure(), "");
  this->ExpectAnswered(IdentRequest());
  EXPECT_EQ(this->link.Connections(), 2);
}

// A lost or refused connection is named; the next exchange connects again.
TYPED_TEST(TcpContract, ConnectionLossIsNamedAndTheNextExchangeConnects) {
  const uint16_t port = this->link.Port();
  this->ExpectAnswered(IdentRequest());
  ASSERT_TRUE(this->link.Arm("reset=0"));
  EXPECT_FALSE(this->Run(IdentRequest()));
  EXPECT_EQ(this->link.Link().LastFailure(),
            "Connection closed by the device: " + this->Where(port));
  this->ExpectAnswered(IdentRequest());
  EXPECT_EQ(this->link.Connections(), 2);

  const uint16_t refusing = this->link.RefusingPort();
  EXPECT_FALSE(this->Run(IdentRequest(), 3000, refusing));
  EXPECT_EQ(this->link.Link().LastFailure(), "Connection refused: " + this->Where(refusing));
  EXPECT_EQ(this->link.Connections(), 2);
  this->ExpectAnswered(IdentRequest());
  EXPECT_EQ(this->link.Connections(), 3);

  // The end of a dialogue ends the connection; the next exchange makes a new one.
  this->link.Link().Disconnect();
  this->ExpectAnswered(IdentRequest());
  EXPECT_EQ(this->link.Connections(), 4);
}

// A reply PDU whose length does not fit its function is no reply: the reason names both
// lengths, the connection is dropped and the next exchange gets its own reply.
TYPED_TEST(TcpContract, ReplyLengthThatDoesNotFitItsFunctionIsRefused) {
  TSimDevice& device = this->link.Reference();
  struct Case {
    std::string fault;
    Bytes request;
    std::string reason;
  };
  const std::string dropped = ", connection dropped";
  const std::vector<Case> cases = {
      {"byte-count=0", ParsetRead(device, 4),
       "Reply of 10 PDU bytes where its function 3 announces 2" + dropped},
      {"byte-count=7", ParsetRead(device, 4),
       "Reply of 10 PDU bytes where its function 3 announces 9" + dropped},
      {"byte-count=255", ParsetRead(device, 4),
       "Reply of 10 PDU bytes where its function 3 announces 257" + dropped},
      {"exception-nocode", IdentRequest(),
       "Reply of 1 PDU bytes where its function 131 announces 2" + dropped},
      {"function=16", ParsetRead(device, 4),
       "Reply of 10 PDU bytes where its function 16 announces 5" + dropped},
  };
  int connections = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    this->ExpectAnswered(IdentRequest());
    connections = this->link.Connections();
    ASSERT_TRUE(this->link.Arm(c.fault));
    EXPECT_FALSE(this->Run(c.request));
    EXPECT_EQ(this->link.Link().LastFailure(), c.reason);
    this->ExpectAnswered(c.request);
    EXPECT_EQ(this->link.Connections(), connections + 1);
  }
  // A byte count that fits its PDU is handed over, though fewer bytes than asked for: the
  // dialogue judges it.
  ASSERT_TRUE(this->link.Arm("data-bytes=7"));
  ASSERT_TRUE(this->Run(ParsetRead(device, 4)));
  ASSERT_EQ(this->reply.size(), 9u);
  EXPECT_EQ(this->reply[1], 7);
}

// Another unit's answer is handed over and named; its connection is not kept.
TYPED_TEST(TcpContract, AnotherUnitsAnswerIsNamedAndItsConnectionDropped) {
  ASSERT_TRUE(this->link.Arm("address=5"));
  ASSERT_TRUE(this->Run(IdentRequest()));
  EXPECT_EQ(this->reply, this->link.Reference().Handle(IdentRequest()));
  EXPECT_EQ(this->link.Link().LastUnitId(), 5);
  EXPECT_EQ(this->link.Link().LastFailure(), "");
  this->ExpectAnswered(IdentRequest());
  EXPECT_EQ(this->link.Connections(), 2);
}

// A PDU above the Modbus limit never goes out; the connection and the link stay fit.
TYPED_TEST(TcpContract, RequestAboveTheModbusLimitIsNotSent) {
  this->ExpectAnswered(IdentRequest());
  Bytes tooLong(260, 0);
  tooLong[0] = modbus::kWriteMultipleRegisters;
  EXPECT_FALSE(this->Run(tooLong));
  EXPECT_EQ(this->link.Link().LastFailure(), "Request too long for Modbus over TCP");
  this->ExpectAnswered(IdentRequest());
  EXPECT_EQ(this->link.Connections(), 1);
}

}  // namespace

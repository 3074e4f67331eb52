// The contract of ISerialLink, held alike by FakeSerial (which the dialogue tests use) and
// by TRsdHan over a socat pseudo-terminal pair with kivsim on the other end, sending its
// replies with the line's timing at 115200 baud.
#include <gtest/gtest.h>

#include "linkcontract.h"

namespace {

class FakeSerialUnderTest {
 public:
  static constexpr const char* kName = "Fake";
  FakeSerialUnderTest() {
    serial_.respond = [this](const Bytes& request) {
      Bytes frame = RtuReply(device_, request, kUnit);
      const FakeFault fault = armed_;
      armed_ = {};
      if (frame.empty() || fault.kind.empty()) return std::vector<Chunk>{{kLatencyMs, frame}};
      const Bytes pdu = fault.Reply(Bytes(request.begin() + 1, request.end() - 2),
                                    Bytes(frame.begin() + 1, frame.end() - 2));
      if (pdu.empty()) return std::vector<Chunk>{};
      frame = {kUnit};
      frame.insert(frame.end(), pdu.begin(), pdu.end());
      return std::vector<Chunk>{
          {kLatencyMs + (fault.kind == "late" ? fault.arg : 0), WithCrc(frame)}};
    };
  }
  bool Ok() const { return true; }
  ISerialLink& Link() { return serial_; }
  IWaiter& Waiter() { return clock_; }
  TSimDevice& Reference() { return reference_; }
  // The next reply goes wrong as kivsim's fault of this name makes it.
  bool Arm(const std::string& fault) { return armed_.Parse(fault); }
  // The adapter pulled out, as the real port reports it.
  void PullPort() { serial_.Vanish("Serial port ttyUSB0 lost: Input/output error"); }

 private:
  static constexpr int kLatencyMs = 2;
  FakeClock clock_;
  FakeSerial serial_{clock_};
  TSimDevice device_{SampleContent("K3ABCDEFGHIJKLMN", 0)};
  TSimDevice reference_{SampleContent("K3ABCDEFGHIJKLMN", 0)};
  FakeFault armed_;
};

class RealSerialUnderTest {
 public:
  static constexpr const char* kName = "Real";
  RealSerialUnderTest() {
    han_.CommPort = served_.sim.Dev();
    han_.BaudRate = br115200;
    han_.Open();
  }
  bool Ok() const { return served_.Ok() && han_.Active(); }
  ISerialLink& Link() { return han_; }
  IWaiter& Waiter() { return waiter_; }
  TSimDevice& Reference() { return *served_.reference; }
  bool Arm(const std::string& fault) { return served_.sim.Arm(fault); }
  void PullPort() { served_.sim.PullPort(); }

 private:
  ServedSim served_{true, {"--line-timing"}};
  TRsdHan han_;
  TQtWaiter waiter_;
};

template <class L>
class SerialContract : public LinkContract<L> {
 protected:
  // The RTU request frame of a PDU; written whole.
  Bytes Send(const Bytes& pdu) {
    Bytes frame{kUnit};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    frame = WithCrc(frame);
    EXPECT_EQ(this->link.Link().Write(frame.data(), static_cast<int>(frame.size())),
              static_cast<int>(frame.size()));
    return frame;
  }
  // What arrives, read in pieces of at most `piece` bytes, until `want` bytes came or
  // waitMs passed. Each read returns at once with what is there.
  Bytes ReadUpTo(size_t want, int waitMs, int piece = 300) {
    Bytes got;
    uint8_t buffer[300];
    const int64_t end = this->link.Waiter().TickMs() + waitMs;
    for (;;) {
      const int capacity = std::min(piece, static_cast<int>(want - got.size()));
      const int n = this->link.Link().Read(buffer, capacity);
      EXPECT_LE(n, capacity);
      got.insert(got.end(), buffer, buffer + n);
      if (got.size() >= want || this->link.Waiter().TickMs() >= end) return got;
      this->link.Waiter().Wait(5);
    }
  }
  // The device's answer to a request, as the reference device gives it.
  Bytes Expected(const Bytes& frame) { return RtuReply(this->link.Reference(), frame, kUnit); }
};

using SerialLinks = ::testing::Types<FakeSerialUnderTest, RealSerialUnderTest>;
TYPED_TEST_SUITE(SerialContract, SerialLinks, LinkNames);

// Replies come through byte for byte, also when read in pieces smaller than the frame.
TYPED_TEST(SerialContract, RepliesPassByteForByte) {
  TSimDevice& device = this->link.Reference();
  for (const Bytes& pdu : {IdentRequest(), ParsetWrite(device), ParsetRead(device, 4)}) {
    const Bytes expected = this->Expected(this->Send(pdu));
    ASSERT_GT(expected.size(), 4u);
    EXPECT_EQ(this->ReadUpTo(expected.size(), 3000, 2), expected);
  }
  // The parset read came after the write: it returns the written registers.
  const Bytes frame = this->Send(ParsetRead(device, 2));
  EXPECT_EQ(this->ReadUpTo(9, 3000), WithCrc({kUnit, 0x03, 4, 0xC0, 0xFF, 0x01, 0x5A}));
  EXPECT_EQ(this->Expected(frame), WithCrc({kUnit, 0x03, 4, 0xC0, 0xFF, 0x01, 0x5A}));
  EXPECT_EQ(this->link.Link().LastFailure(), "");
  EXPECT_EQ(this->link.Link().BitsPerSecond(), 115200);
}

// An exception reply is a frame of the function with bit 7 and the code.
TYPED_TEST(SerialContract, ExceptionRepliesCarryTheirCode) {
  ASSERT_TRUE(this->link.Arm("exception=4"));
  this->Send(IdentRequest());
  EXPECT_EQ(this->ReadUpTo(5, 3000), WithCrc({kUnit, 0x83, 0x04}));
  ASSERT_TRUE(this->link.Arm("exception=3"));
  this->Send(ParsetWrite(this->link.Reference()));
  EXPECT_EQ(this->ReadUpTo(5, 3000), WithCrc({kUnit, 0x90, 0x03}));
}

// DiscardInput drops the bytes that arrived and were not read, and says how many; bytes
// still to come are not dropped, and a read returns only what has arrived.
TYPED_TEST(SerialContract, DiscardDropsWhatArrivedOnly) {
  const Bytes expected = this->Expected(this->Send(IdentRequest()));
  ASSERT_EQ(this->ReadUpTo(3, 3000), Bytes(expected.begin(), expected.begin() + 3));
  this->link.Waiter().Wait(500);  // the rest of the frame is in
  EXPECT_EQ(this->link.Link().DiscardInput(), static_cast<int>(expected.size()) - 3);
  EXPECT_EQ(this->ReadUpTo(1, 0), Bytes{});
  EXPECT_EQ(this->link.Link().DiscardInput(), 0);

  ASSERT_TRUE(this->link.Arm("late=800"));
  this->Send(IdentRequest());
  EXPECT_EQ(this->link.Link().DiscardInput(), 0);
  EXPECT_EQ(this->ReadUpTo(1, 0), Bytes{});
  EXPECT_EQ(this->ReadUpTo(expected.size(), 5000), expected);
}

// No reply: reads return nothing for the whole wait, and the port is still fine.
TYPED_TEST(SerialContract, TimeOutReadsNothing) {
  ASSERT_TRUE(this->link.Arm("silent"));
  this->Send(IdentRequest());
  EXPECT_EQ(this->ReadUpTo(5, 300), Bytes{});
  EXPECT_EQ(this->link.Link().LastFailure(), "");
  const Bytes expected = this->Expected(this->Send(IdentRequest()));
  EXPECT_EQ(this->ReadUpTo(expected.size(), 3000), expected);
}

// The port vanished: what had arrived is still read, then nothing is written, read or
// discarded, and the reason is given.
TYPED_TEST(SerialContract, VanishedPortMovesNothing) {
  const Bytes expected = this->Expected(this->Send(IdentRequest()));
  ASSERT_EQ(this->ReadUpTo(3, 3000), Bytes(expected.begin(), expected.begin() + 3));
  this->link.Waiter().Wait(500);  // the rest of the frame is in
  this->link.PullPort();
  EXPECT_EQ(this->ReadUpTo(expected.size() - 3, 0), Bytes(expected.begin() + 3, expected.end()));
  const Bytes request = WithCrc({kUnit, 0x03, 0x0E, 0x78, 0x00, 0x08});
  uint8_t buffer[64];
  int read = 0;
  // The real port learns the reason while it waits for events, so within an exchange
  // (write, wait, read) rather than at the first call.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(this->link.Link().Write(request.data(), static_cast<int>(request.size())), 0);
    this->link.Waiter().Wait(50);
    read = this->link.Link().Read(buffer, sizeof buffer);
    if (!this->link.Link().LastFailure().empty()) break;
  }
  EXPECT_EQ(read, 0);
  const std::string failure = this->link.Link().LastFailure();
  EXPECT_EQ(failure.rfind("Serial port ", 0), 0u) << failure;
  EXPECT_NE(failure.find(" lost: "), std::string::npos) << failure;
  EXPECT_EQ(this->link.Link().Write(request.data(), static_cast<int>(request.size())), 0);
  EXPECT_EQ(this->link.Link().Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(this->link.Link().DiscardInput(), 0);
  EXPECT_NE(this->link.Link().LastFailure(), "");
}

}  // namespace

// A misbehaving device over real links: kivsim sends every class of bad reply, over TCP and
// over Modbus RTU. Each must end the running dialogue with a trace line, leave the data the
// registration held before, and leave the link fit for the next reading.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../core/tracelines.h"
#include "modbusframe.h"
#include "simprocess.h"

namespace {

struct Snapshot {
  std::string ident;
  std::vector<uint8_t> zestaw1, zestaw2, events;
  explicit Snapshot(TKiv& kiv)
      : ident(kiv.Identification()),
        zestaw1(kiv.Zestaw(1), kiv.Zestaw(1) + kiv.ZestawLength(1)),
        zestaw2(kiv.Zestaw(2), kiv.Zestaw(2) + kiv.ZestawLength(2)),
        events(kiv.EventBuffer(), kiv.EventBuffer() + kiv.EventBufferLength()) {}
  bool operator==(const Snapshot&) const = default;
};

enum class Dialogue { All, Ident, Events, Write };

struct FaultCase {
  std::string fault;  // the control line
  Dialogue dialogue;
  std::string tcpLine, rtuLine;  // the line that ends the dialogue on each path
  // Events bytes a broken events reading keeps; -1: the whole blocks before the faulty
  // reply (a fault "@+K" of the events reading keeps K - 1 blocks).
  int kept = -1;
};

const char kTimeOut[] = "TimeOut, cancel reading";
const char kCrc[] = "CRC error, cancel reading";
const char kAddress[] = "Answer of different address device, cancel reading";
const char kFunction[] = "Answer with different function code, cancel reading";
const char kRefused[] = "Command refused - cancel reading";
const char kShort[] = "Reply too short, cancel reading";
const char kByteCount[] = "Wrong byte count, cancel reading";
const char kEcho[] = "Wrong echo of the written registers, cancel reading";
const char kRejected[] = "Save of parset1: Settings rejected by device";
const char kIncomplete[] = "Read parset 1: Incomplete answer - cancel reading";
const char kEventsIncomplete[] = "Event register reading: Incomplete answer - cancel reading";
const char kNotIdentified[] = "Save of parset1: Device not identified - nothing written";
constexpr int kBlockBytes = 250;

class Faults : public ::testing::TestWithParam<bool> {
 protected:
  bool Serial() const { return GetParam(); }

  void SetUp() override {
    // A short events buffer (5 blocks) keeps the readings quick.
    rig_ = std::make_unique<LiveRig>(Serial(), QStringList{"--max-events", "1100"});
    ASSERT_TRUE(rig_->Ok()) << "kivsim or socat did not start";
    rig_->comm.ReadAll();
    ASSERT_FALSE(rig_->kiv.Error) << Trace();
    ASSERT_GT(rig_->kiv.EventBufferLength(), 250);
    ASSERT_GT(rig_->kiv.Defs.ZnsSize, 100);
    ASSERT_EQ(rig_->kiv.ZestawLength(1), 2 * rig_->kiv.Defs.ZnsSize);
    good_ = std::make_unique<Snapshot>(rig_->kiv);
  }

  std::string Trace() const {
    std::string text;
    for (const std::string& l : rig_->trace.lines) text += l + "\n";
    return text + rig_->sim.Output().toStdString();
  }

  void Run(Dialogue d) {
    TKivComm& comm = rig_->comm;
    switch (d) {
      case Dialogue::All:
        comm.ReadAll();
        break;
      case Dialogue::Ident:
        comm.Identify();
        break;
      case Dialogue::Events:
        comm.ReadEventRegister();
        break;
      case Dialogue::Write:
        comm.WriteZestaw(1, 1);  // the device's own parset: its content stays
        break;
    }
  }

  // The fault ends the dialogue with its line; the registration keeps its data; a reading
  // over the same link then succeeds.
  void Check(const FaultCase& c, bool fullRecovery = true, int pauseMs = 0) {
    SCOPED_TRACE(c.fault);
    TKiv& kiv = rig_->kiv;
    rig_->trace.lines.clear();
    ASSERT_TRUE(rig_->sim.Arm(c.fault));
    Run(c.dialogue);
    EXPECT_TRUE(kiv.Error || kiv.Cancel);
    EXPECT_FALSE(kiv.IsReading);
    ASSERT_FALSE(rig_->trace.lines.empty());
    // The line that ends the dialogue; only explanations follow it (the link's reason, the
    // exception code, the events kept).
    EXPECT_TRUE(rig_->Traced(Serial() ? c.rtuLine : c.tcpLine)) << Trace();
    KeptOrUnchanged(c.dialogue == Dialogue::Events ? ExpectedKept(c) : 0);
    ASSERT_TRUE(rig_->sim.Running());
    rig_->comm.Wait(pauseMs);
    Recover(fullRecovery);
  }

  static int ExpectedKept(const FaultCase& c) {
    if (c.kept >= 0) return c.kept;
    const size_t at = c.fault.find("@+");
    const int k = at == std::string::npos ? 1 : std::stoi(c.fault.substr(at + 2));
    return (k - 1) * kBlockBytes;
  }

  // The registration holds what it held, except that a broken events reading keeps exactly
  // the bytes it read before the fault: the start of the same events buffer.
  void KeptOrUnchanged(int expectedKept) {
    TKiv& kiv = rig_->kiv;
    Snapshot now(kiv);
    const int kept = kiv.EventBufferLength();
    if (now.events != good_->events || expectedKept > 0) {
      EXPECT_TRUE(rig_->Traced("Events buffer incomplete: " + std::to_string(kept) + " bytes kept"))
          << Trace();
      EXPECT_EQ(kept, expectedKept);
      ASSERT_LE(kept, static_cast<int>(good_->events.size()));
      EXPECT_TRUE(std::equal(now.events.begin(), now.events.end(), good_->events.begin()));
      now.events = good_->events;
    }
    EXPECT_TRUE(now == *good_) << "the registration's data changed";
  }

  // A fault the link gets over: the dialogue succeeds with the device's data.
  void CheckGood(const std::string& fault, Dialogue d) {
    SCOPED_TRACE(fault);
    rig_->trace.lines.clear();
    ASSERT_TRUE(rig_->sim.Arm(fault));
    Run(d);
    EXPECT_FALSE(rig_->kiv.Error) << Trace();
    EXPECT_TRUE(Snapshot(rig_->kiv) == *good_);
  }

  void Recover(bool withEvents) {
    TKiv& kiv = rig_->kiv;
    TReadOptions options = kiv.GetReadOptions();
    options.ReadEventRegister = withEvents ? 1 : 0;
    kiv.SetReadOptions(options);
    rig_->trace.lines.clear();
    rig_->comm.ReadAll();
    options.ReadEventRegister = 1;
    kiv.SetReadOptions(options);
    EXPECT_FALSE(kiv.Error) << "the next reading failed:\n" << Trace();
    EXPECT_TRUE(Snapshot(kiv) == *good_);
  }

  std::unique_ptr<LiveRig> rig_;
  std::unique_ptr<Snapshot> good_;
};

// The identification reply cut short at every byte position, the next request answered.
TEST_P(Faults, ReplyCutShortAtEveryBytePosition) {
  // RTU: address, function, count, 16 bytes, CRC; TCP: MBAP header, function, count, 16.
  const int length = Serial() ? 21 : 25;
  for (int cut = 0; cut < length; ++cut) {
    SCOPED_TRACE("cut=" + std::to_string(cut));
    TKiv& kiv = rig_->kiv;
    rig_->trace.lines.clear();
    ASSERT_TRUE(rig_->sim.Arm("cut=" + std::to_string(cut)));
    rig_->comm.Identify();
    EXPECT_TRUE(kiv.Error);
    ASSERT_FALSE(rig_->trace.lines.empty());
    const std::string& last = FromEnd(rig_->trace.lines);
    if (Serial())
      // Nothing or a lone address byte is no reply; a longer piece fails its CRC.
      EXPECT_EQ(last, cut == 0 ? kTimeOut : kCrc) << Trace();
    else  // the header is there from byte 7 on, and a line says the rest did not come
      EXPECT_TRUE(rig_->Traced(kTimeOut) && (cut < 7 ? last == kTimeOut : last != kTimeOut))
          << Trace();
    EXPECT_EQ(kiv.Identification(), good_->ident);
    rig_->trace.lines.clear();
    rig_->comm.Identify();
    EXPECT_FALSE(kiv.Error) << Trace();
    EXPECT_EQ(rig_->trace.lines, std::vector<std::string>{"Identification of device:KIVS-2"});
  }
  Recover(true);
}

TEST_P(Faults, NoReplyCutsJunkAndReset) {
  Check({"silent@+2", Dialogue::All, kTimeOut, kTimeOut}, false);
  Check({"cut=100@+2", Dialogue::All, kTimeOut, kCrc}, false);
  Check({"cut=120@+2", Dialogue::Events, kTimeOut, kCrc});
  Check({"silent@+3", Dialogue::Events, kTimeOut, kTimeOut});
  // Over RTU there is no connection: the reset is a frame that stops.
  Check({"reset=12@+2", Dialogue::All, kTimeOut, kCrc}, false);
  Check({"reset=0@+1", Dialogue::All, kTimeOut, kTimeOut}, false);
  // Junk before a frame breaks the MBAP header; over RTU the frame is found behind it.
  // Junk after a frame: the exchange is whole, and the next starts clean.
  if (Serial()) {
    CheckGood("junk-before=5@+2", Dialogue::All);
    CheckGood("stray-before=0@+2", Dialogue::All);
  } else {
    Check({"junk-before=5@+2", Dialogue::All, kTimeOut, ""}, false);
  }
  CheckGood("junk-after=5@+2", Dialogue::All);
  CheckGood("junk-after=5@+1", Dialogue::Events);
  CheckGood("stray-after=255@+3", Dialogue::All);
  Recover(true);
}

TEST_P(Faults, FlippedBits) {
  if (Serial()) {
    // Parset 1's frame: address, function, count, the data from byte 3, then the CRC.
    const int frame = 5 + 2 * rig_->kiv.Defs.ZnsSize;
    const std::string crcLow = std::to_string(8 * (frame - 2) + 2);
    const std::string crcHigh = std::to_string(8 * (frame - 1) + 7);
    Check({"flip=0@+2", Dialogue::All, "", kCrc}, false);   // the address
    Check({"flip=9@+2", Dialogue::All, "", kCrc}, false);   // the function code
    Check({"flip=16@+2", Dialogue::All, "", kCrc}, false);  // the byte count
    Check({"flip=403@+2", Dialogue::All, "", kCrc}, false);
    Check({"flip=" + crcLow + "@+2", Dialogue::All, "", kCrc}, false);
    Check({"flip=" + crcHigh + "@+2", Dialogue::All, "", kCrc}, false);
    Check({"flip=1000@+2", Dialogue::Events, "", kCrc});
  } else {
    // A TCP ADU has no CRC of its own: a flipped data bit arrives as data, and so does
    // one in the protocol identifier, which the Modbus client does not look at. The
    // client refuses a reply of another transaction, of a wrong length, or with a
    // function code whose length does not fit; a smaller byte count it takes as such.
    Check({"flip=3@+2", Dialogue::All, kTimeOut, ""}, false);    // transaction identifier
    Check({"flip=16@+2", Dialogue::All, kTimeOut, ""}, false);   // protocol identifier
    Check({"flip=44@+2", Dialogue::All, kTimeOut, ""}, false);   // length
    Check({"flip=48@+2", Dialogue::All, kAddress, ""}, false);   // unit identifier 31 -> 30
    Check({"flip=58@+2", Dialogue::All, kFunction, ""}, false);  // function code 3 -> 7
    // The byte count less 32: it no longer fits the MBAP length.
    Check({"flip=69@+2", Dialogue::All, kTimeOut, ""}, false);
    Check({"flip=69@+2", Dialogue::Events, kTimeOut, ""});
  }
}

TEST_P(Faults, OtherAddressAndFunction) {
  // Another slave address over RTU, another unit id over TCP.
  Check({"address=5@+2", Dialogue::All, kAddress, kAddress}, false);
  Check({"address=5@+2", Dialogue::Events, kAddress, kAddress});
  Check({"function=4@+2", Dialogue::All, kFunction, kFunction}, false);
  // Our client over TCP refuses a function-16 reply of another length than its own.
  Check({"function=16@+1", Dialogue::Ident, kTimeOut, kFunction}, false);
  Check({"function=3@+2", Dialogue::Write, kRejected, kRejected}, false);
  // The write's identification answered by another function: nothing is written.
  Check({"function=16@+1", Dialogue::Write, kTimeOut, kFunction}, false);
}

TEST_P(Faults, ExceptionCodes) {
  for (int code = 1; code <= 11; ++code)
    Check({"exception=" + std::to_string(code) + "@+2", Dialogue::All, kRefused, kRefused}, false);
  Check({"exception=4@+1", Dialogue::Ident, kRefused, kRefused}, false);
  // The first block refused: no end of data but a refused reading.
  Check({"exception=2@+1", Dialogue::Events, kRefused, kRefused});
  Check({"exception=4@+2", Dialogue::Write, kRejected, kRejected}, false);
  Check({"exception=4@+1", Dialogue::Write, kNotIdentified, kNotIdentified}, false);
  // Address, function with bit 7 and the CRC: four bytes the serial path waits past.
  // The client over TCP refuses it as no valid reply.
  Check({"exception-nocode@+2", Dialogue::All, kTimeOut, kShort}, false);
  Check({"exception-nocode@+1", Dialogue::Events, kTimeOut, kShort});
}

TEST_P(Faults, ByteCounts) {
  // Over TCP the client refuses a register reply whose byte count does not fit its
  // length.
  // Only the count changes: the CRC is made anew, the data stays as it was.
  // Over RTU the frame that does not end where its byte count says is taken as it came
  // once the line is quiet; its CRC holds, its byte count does not.
  Check({"byte-count=0@+2", Dialogue::All, kTimeOut, kByteCount}, false);
  Check({"byte-count=7@+2", Dialogue::All, kTimeOut, kByteCount}, false);
  Check({"byte-count=100@+2", Dialogue::All, kTimeOut, kByteCount}, false);
  Check({"byte-count=255@+2", Dialogue::All, kTimeOut, kByteCount}, false);
  // The count and the data agree, but are not what was asked for.
  Check({"data-bytes=0@+2", Dialogue::All, kByteCount, kByteCount}, false);
  Check({"data-bytes=7@+2", Dialogue::All, kByteCount, kByteCount}, false);
  Check({"data-bytes=100@+2", Dialogue::All, kIncomplete, kIncomplete}, false);
  Check({"data-bytes=252@+2", Dialogue::All, kTimeOut, kByteCount}, false);
  Check({"data-bytes=255@+2", Dialogue::All, kTimeOut, kByteCount}, false);
  Check({"byte-count=100@+2", Dialogue::Events, kTimeOut, kByteCount});
  // A short events block with more data after it breaks the reading off: the blocks before
  // it and its own bytes are kept, nothing after it.
  Check({"data-bytes=100@+2", Dialogue::Events, kEventsIncomplete, kEventsIncomplete,
         kBlockBytes + 100});
  Check({"data-bytes=10@+3", Dialogue::Events, kEventsIncomplete, kEventsIncomplete,
         2 * kBlockBytes + 10});
  Check({"data-bytes=7@+2", Dialogue::Events, kByteCount, kByteCount});
  Check({"data-bytes=0@+1", Dialogue::Ident, kByteCount, kByteCount}, false);
  Check({"data-bytes=7@+1", Dialogue::Ident, kByteCount, kByteCount}, false);
}

TEST_P(Faults, WriteEchoes) {
  rig_->kiv.TraceMessages = false;
  // Request 1 is the identification the write starts with.
  Check({"echo-address=5@+2", Dialogue::Write, kRejected, kRejected}, false);
  Check({"echo-count=3@+2", Dialogue::Write, kRejected, kRejected}, false);
  Check({"silent@+2", Dialogue::Write, kRejected, kRejected}, false);
  Check({"silent@+1", Dialogue::Write, kNotIdentified, kNotIdentified}, false);
  // A good write still reports OK after them.
  rig_->trace.lines.clear();
  rig_->comm.WriteZestaw(1, 1);
  EXPECT_FALSE(rig_->kiv.Error);
  EXPECT_EQ(FromEnd(rig_->trace.lines), "Save of parset1: OK");
}

// A reply that arrives after the wait has ended: the next reading is answered by its own
// replies, never by the late one.
TEST_P(Faults, LateReply) {
  Check({"late=400@+2", Dialogue::All, kTimeOut, kTimeOut}, false, 600);
  Check({"late=500@+1", Dialogue::Ident, kTimeOut, kTimeOut}, true, 700);
}

INSTANTIATE_TEST_SUITE_P(Links, Faults, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Rtu" : "Tcp";
                         });

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "../core/tracelines.h"
#include "rig.h"

namespace {

const std::string kBytes = " bajt\xC3\xB3w";

class Dialogues : public ::testing::TestWithParam<bool> {};

std::string Progress(int n) {
  return "Event register reading: " + std::to_string(n) + kBytes;
}

}  // namespace

TEST_P(Dialogues, IdentifyChoosesTheTypeByTheSecondCharacter) {
  Rig rig(GetParam());
  rig.comm.Identify();
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(rig.kiv.Identification(), "12345678");
  EXPECT_EQ(rig.kiv.IdentificationName(), "1234_5678");
  EXPECT_EQ(rig.kiv.GetKivType(), kivtKivs2);
  EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"Identification of device:KIVS-2"});
  EXPECT_EQ(rig.RequestRegister(0), 0x0E78 + 1);
  EXPECT_EQ(rig.RequestCount(0), 8);

  rig.Use(SampleContent("X3AB", 0));
  rig.kiv.TraceMessages = true;
  rig.trace.lines.clear();
  rig.comm.Identify();
  EXPECT_EQ(rig.kiv.GetKivType(), kivtKivs3);
  EXPECT_EQ(rig.kiv.Identification(), "X3AB");
  EXPECT_EQ(rig.trace.lines.front(), "Identification of device:");
  EXPECT_EQ(FromEnd(rig.trace.lines), "Identification of device:KIVS-3");

  // The whole text of 16 characters comes through on both paths (no CRC cut off).
  rig.Use(SampleContent("A2CDEFGHIJKLMNOP", 0));
  rig.comm.Identify();
  EXPECT_EQ(rig.kiv.Identification(), "A2CDEFGHIJKLMNOP");

  rig.Use(SampleContent("AB", 0));
  rig.kiv.TraceMessages = false;
  rig.trace.lines.clear();
  rig.comm.Identify();
  EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"Identification of device:?"});
  EXPECT_EQ(rig.kiv.Image()[5], '2');  // the type of the tag is kept
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_FALSE(rig.kiv.Cancel);
}

TEST_P(Dialogues, IdentificationRefusedStopsTheWholeReading) {
  Rig rig(GetParam());
  rig.tcp.respond = [](const Bytes&) { return Bytes{0x83, 0x01}; };
  rig.serial.respond = [](const Bytes&) {
    return std::vector<Chunk>{{10, WithCrc({0x1F, 0x83, 0x01})}};
  };
  bool begun = false, completed = false;
  rig.kiv.OnBeginRead = [&] { begun = true; };
  rig.kiv.OnCompleteAll = [&] { completed = rig.kiv.IsReading == false; };
  rig.comm.ReadAll();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(FromEnd(rig.trace.lines), "Command refused - cancel reading");
  EXPECT_EQ(rig.Sent(), 1u);  // no parset was read
  EXPECT_TRUE(begun);
  EXPECT_TRUE(completed);
  EXPECT_EQ(rig.kiv.Zestaw1Length(), 0);
}

TEST_P(Dialogues, ReadZestawStoresTheParsetInRequestsOfAtMost125) {
  Rig rig(GetParam());
  int fired = 0;
  rig.kiv.OnCompleteZestawNastaw1 = [&] { ++fired; };
  rig.comm.ReadZestaw(1);
  EXPECT_FALSE(rig.kiv.Error);
  ASSERT_EQ(rig.Sent(), 1u);
  EXPECT_EQ(rig.RequestRegister(0), 2177);
  EXPECT_EQ(rig.RequestCount(0), 119);
  EXPECT_EQ(rig.kiv.Zestaw1Length(), 238);
  EXPECT_EQ(0, std::memcmp(rig.kiv.Zestaw1(), rig.device->Content().Zestaw1.data(), 238));
  EXPECT_TRUE(rig.kiv.Modified);
  EXPECT_GT(rig.kiv.Zestaw1ReadDate(), 0.0);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"Read parset 1 :OK"});

  Rig big(GetParam(), SampleContent("12345678", 0, 250));
  big.kiv.TraceMessages = true;
  big.comm.ReadZestaw(2);
  ASSERT_EQ(big.Sent(), 2u);
  EXPECT_EQ(big.RequestCount(0), 125);
  EXPECT_EQ(big.RequestCount(1), 125);
  EXPECT_EQ(big.RequestRegister(1), 2433 + 125);
  EXPECT_EQ(big.kiv.Zestaw2Length(), 500);
  EXPECT_EQ(0, std::memcmp(big.kiv.Zestaw2(), big.device->Content().Zestaw2.data(), 500));
  EXPECT_EQ(big.trace.lines.front(), "Read parset 2");
  EXPECT_EQ(FromEnd(big.trace.lines), "Read parset 2 :OK");
}

TEST_P(Dialogues, ParsetSizeAboveTheImageIsCut) {
  Rig rig(GetParam(), SampleContent("12345678", 0, 256));
  rig.kiv.Defs.ZnsSize = 300;
  rig.comm.ReadZestaw(1);
  ASSERT_EQ(rig.Sent(), 3u);
  EXPECT_EQ(rig.RequestCount(2), 6);
  EXPECT_EQ(rig.kiv.Zestaw1Length(), 512);
  EXPECT_FALSE(rig.kiv.Error);
}

TEST_P(Dialogues, FailedOrCancelledParsetReadingChangesNothing) {
  const Bytes before(238, 0xAB);
  auto prepare = [&](Rig& rig) {
    std::copy(before.begin(), before.end(), rig.kiv.Zestaw1());
    rig.kiv.SetZestaw1Length(100);
  };
  auto unchanged = [&](Rig& rig) {
    EXPECT_EQ(rig.kiv.Zestaw1Length(), 100);
    EXPECT_EQ(0, std::memcmp(rig.kiv.Zestaw1(), before.data(), before.size()));
    EXPECT_EQ(rig.kiv.Zestaw1ReadDate(), 0.0);
    EXPECT_FALSE(rig.kiv.Modified);
  };
  {  // the second request gets no reply
    Rig rig(GetParam(), SampleContent("12345678", 0, 250));
    prepare(rig);
    int n = 0;
    auto inner = rig.tcp.respond;
    rig.tcp.respond = [&](const Bytes& p) { return n++ == 1 ? Bytes{} : inner(p); };
    auto innerSerial = rig.serial.respond;
    rig.serial.respond = [&](const Bytes& r) {
      return n++ == 1 ? std::vector<Chunk>{} : innerSerial(r);
    };
    int fired = 0;
    rig.kiv.OnCompleteZestawNastaw1 = [&] { ++fired; };
    rig.comm.ReadZestaw(1);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.trace.lines,
              (std::vector<std::string>{"Read parset 1", "TimeOut, cancel reading"}));
    EXPECT_EQ(fired, 0);
    unchanged(rig);
  }
  {  // the user cancels during the pause between the two requests
    Rig rig(GetParam(), SampleContent("12345678", 0, 250));
    prepare(rig);
    rig.clock.onWait = [&] { rig.comm.CancelReading(); };
    rig.comm.ReadZestaw(1);
    EXPECT_TRUE(rig.kiv.Cancel);
    EXPECT_EQ(rig.Sent(), 1u);
    EXPECT_EQ(FromEnd(rig.trace.lines), "Reading of parset 1: Reading canceled");
    unchanged(rig);
  }
  {  // a cancel already set: nothing is sent
    Rig rig(GetParam());
    prepare(rig);
    rig.kiv.Cancel = true;
    rig.comm.ReadZestaw(1);
    EXPECT_EQ(rig.Sent(), 0u);
    EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"Reading of parset 1: Reading canceled"});
    unchanged(rig);
  }
  {  // the device sends fewer registers than asked
    Rig rig(GetParam());
    prepare(rig);
    rig.tcp.respond = [](const Bytes&) { return Bytes{0x03, 4, 1, 2, 3, 4}; };
    rig.serial.respond = [](const Bytes&) {
      return std::vector<Chunk>{{10, WithCrc({0x1F, 0x03, 4, 1, 2, 3, 4})}};
    };
    rig.comm.ReadZestaw(1);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(FromEnd(rig.trace.lines), "Read parset 1: Incomplete answer - cancel reading");
    unchanged(rig);
  }
}

TEST_P(Dialogues, ReplyDataIsCopiedOnlyAsFarAsItArrived) {
  Rig rig(GetParam());
  // The byte count claims 250 bytes, 10 arrived.
  Bytes pdu{0x03, 250};
  for (int i = 0; i < 10; ++i) pdu.push_back(static_cast<uint8_t>(0x40 + i));
  rig.tcp.respond = [&](const Bytes&) { return pdu; };
  rig.serial.respond = [&](const Bytes&) {
    Bytes frame{0x1F};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return std::vector<Chunk>{{10, WithCrc(frame)}};
  };
  // The serial path waits Time_Out in vain for the rest the header announces.
  rig.settings.Time_Out = 20;
  Bytes dest(300, 0xEE);
  const int n = rig.comm.ReadRegisters(100, dest.data(), 125);
  if (GetParam()) {
    // The TCP client takes no PDU shorter than its byte count says: no reply, nothing
    // copied.
    EXPECT_EQ(n, 0);
    EXPECT_EQ(dest[0], 0xEE);
    ASSERT_GE(rig.trace.lines.size(), 2u);
    EXPECT_EQ(FromEnd(rig.trace.lines, 2), "TimeOut, cancel reading");
    EXPECT_EQ(FromEnd(rig.trace.lines),
              "Reply of 12 PDU bytes where its function 3 announces 252, connection dropped");
    return;
  }
  // Over RTU the frame is taken as it came, but a reply whose count its data contradicts
  // gives nothing: not even the bytes that did arrive.
  EXPECT_EQ(n, 0);
  EXPECT_EQ(dest[0], 0xEE);
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(FromEnd(rig.trace.lines), "Wrong byte count, cancel reading");
}

TEST_P(Dialogues, WriteZestawSendsStepsWithDotsAndReportsOk) {
  Rig rig(GetParam());
  for (int i = 0; i < 238; ++i) rig.kiv.Zestaw1()[i] = static_cast<uint8_t>(255 - i);
  rig.kiv.SetZestaw1Length(238);
  rig.kiv.Defs.ZnsSendStep = 50;
  rig.kiv.TraceMessages = true;
  bool busyDuringWrite = true;
  rig.clock.onWait = [&] { busyDuringWrite = busyDuringWrite && rig.kiv.IsReading; };
  EXPECT_EQ(rig.comm.WriteZestaw(1, 2), kivcomm::TWriteOutcome::Written);
  // The identification first, then the registers.
  ASSERT_EQ(rig.Sent(), 4u);
  EXPECT_EQ(rig.RequestPdu(0)[0], 3);
  EXPECT_EQ(rig.RequestRegister(0), 0x0E78 + 1);
  EXPECT_EQ(rig.RequestCount(1), 50);
  EXPECT_EQ(rig.RequestCount(2), 50);
  EXPECT_EQ(rig.RequestCount(3), 19);
  EXPECT_EQ(rig.RequestRegister(3), 2433 + 100);
  EXPECT_EQ(rig.RequestPdu(1)[0], 16);
  EXPECT_EQ(rig.RequestPdu(1)[5], 100);
  EXPECT_EQ(rig.trace.lines.front(), "Save of parset1 do 2");
  EXPECT_EQ(FromEnd(rig.trace.lines), "Save of parset1 do 2: OK");
  int dots = 0;
  for (const std::string& l : rig.trace.lines)
    if (!l.empty() && l.back() == '.') ++dots;
  EXPECT_EQ(dots, 3);
  EXPECT_EQ(0, std::memcmp(rig.device->Content().Zestaw2.data(), rig.kiv.Zestaw1(), 238));
  EXPECT_TRUE(busyDuringWrite);
  EXPECT_FALSE(rig.kiv.IsReading);

  // Without the hex trace the dotted line gives way to the result.
  Rig quiet(GetParam());
  quiet.kiv.SetZestaw2Length(238);
  quiet.kiv.Defs.ZnsSendStep = 0;  // the whole count in one request
  quiet.comm.WriteZestaw(2, 2);
  EXPECT_EQ(quiet.Sent(), 2u);
  EXPECT_EQ(quiet.RequestCount(1), 119);
  EXPECT_EQ(quiet.trace.lines, std::vector<std::string>{"Save of parset2: OK"});
}

TEST_P(Dialogues, WriteZestawRefusalsAndFailures) {
  {  // empty source
    Rig rig(GetParam());
    EXPECT_EQ(rig.comm.WriteZestaw(2, 2), kivcomm::TWriteOutcome::NotStarted);
    EXPECT_EQ(rig.trace.lines,
              std::vector<std::string>{"Save of parset2: Parset 2 is empty - command aborted"});
    EXPECT_EQ(rig.Sent(), 0u);
  }
  {  // the device refuses: the failure text, never ": OK"
    Rig rig(GetParam());
    rig.kiv.SetZestaw1Length(238);
    auto inner = rig.tcp.respond;
    rig.tcp.respond = [&](const Bytes& p) { return p[0] == 16 ? Bytes{0x90, 0x02} : inner(p); };
    auto innerSerial = rig.serial.respond;
    rig.serial.respond = [&](const Bytes& r) {
      return r[1] == 16 ? std::vector<Chunk>{{10, WithCrc({0x1F, 0x90, 0x02})}} : innerSerial(r);
    };
    EXPECT_EQ(rig.comm.WriteZestaw(1, 1), kivcomm::TWriteOutcome::Rejected);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.trace.lines,
              (std::vector<std::string>{"Save of parset1.",
                                        "Save of parset1: Settings rejected by device"}));
  }
  {  // no reply to the second request: its line stays, then the failure text
    Rig rig(GetParam());
    rig.kiv.SetZestaw1Length(238);
    rig.kiv.Defs.ZnsSendStep = 100;
    int n = 0;
    auto inner = rig.tcp.respond;
    // Request 0 is the identification.
    rig.tcp.respond = [&](const Bytes& p) { return n++ == 2 ? Bytes{} : inner(p); };
    auto innerSerial = rig.serial.respond;
    rig.serial.respond = [&](const Bytes& r) {
      return n++ == 2 ? std::vector<Chunk>{} : innerSerial(r);
    };
    rig.comm.WriteZestaw(1, 1);
    EXPECT_EQ(rig.trace.lines,
              (std::vector<std::string>{"Save of parset1.", "TimeOut, cancel reading.",
                                        "Save of parset1: Settings rejected by device"}));
  }
  {  // cancelled between requests
    Rig rig(GetParam());
    rig.kiv.SetZestaw1Length(238);
    rig.kiv.Defs.ZnsSendStep = 100;
    rig.clock.onWait = [&] {
      if (rig.Sent() == 2) rig.comm.CancelReading();
    };
    EXPECT_EQ(rig.comm.WriteZestaw(1, 1), kivcomm::TWriteOutcome::Canceled);
    EXPECT_EQ(rig.Sent(), 2u);
    EXPECT_EQ(FromEnd(rig.trace.lines), "Save of parset1: Writing canceled");
  }
  {  // no parset in the definitions
    Rig rig(GetParam());
    rig.kiv.SetZestaw1Length(238);
    rig.kiv.Defs.Zns1Adres = 0;
    rig.comm.WriteZestaw(1, 1);
    EXPECT_EQ(rig.Sent(), 0u);
    EXPECT_EQ(FromEnd(rig.trace.lines),
              "Save of parset1: Parset not in the device definitions - command aborted");
  }
  {  // a longer image parset sends only ZNS_SIZE registers
    Rig rig(GetParam());
    rig.kiv.SetZestaw1Length(512);
    rig.comm.WriteZestaw(1, 1);
    ASSERT_EQ(rig.Sent(), 2u);
    EXPECT_EQ(rig.RequestCount(1), 119);
    EXPECT_EQ(FromEnd(rig.trace.lines), "Save of parset1: OK");
  }
}

// A write identifies the device first and sends nothing to one of another type than the
// registration's; the registration stays as it was (its identification, its type).
TEST_P(Dialogues, WriteGoesOnlyToADeviceOfTheRegistrationsType) {
  const std::string nothing = ": nothing written";
  struct Case {
    std::string ident;
    TKivType registration;
    std::string line;  // empty: written
  };
  const Case cases[] = {
      {"13345678", kivtKivs2,
       "The device at slave 5 is a KIVS-3; this registration is for a KIVS-2"},
      {"12345678", kivtKivs3,
       "The device at slave 5 is a KIVS-2; this registration is for a KIVS-3"},
      {"1X345678", kivtKivs2,
       "The device at slave 5 is a device of unknown type; this registration is for a KIVS-2"},
      {"12345678", kivtUnknown,
       "The device at slave 5 is a KIVS-2; this registration is for a device of unknown type"},
      {"1X345678", kivtUnknown, ""},
      {"13345678", kivtKivs3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ident + " / " + std::to_string(c.registration));
    const TSimContent content = SampleContent(c.ident, 0);
    Rig rig(GetParam(), content);
    rig.kiv.SetKivType(c.registration);
    rig.Use(content);
    rig.deviceAddress = 5;
    TReadOptions options = rig.kiv.GetReadOptions();
    options.SlaveNo = 5;
    rig.kiv.SetReadOptions(options);
    for (int i = 0; i < 238; ++i) rig.kiv.Zestaw1()[i] = static_cast<uint8_t>(200 - i);
    rig.kiv.SetZestaw1Length(238);
    const kivcomm::TWriteOutcome outcome = rig.comm.WriteZestaw(1, 1);
    EXPECT_EQ(rig.kiv.Identification(), "");
    EXPECT_EQ(rig.kiv.GetKivType(), c.registration);
    EXPECT_FALSE(rig.kiv.IsReading);
    ASSERT_GE(rig.Sent(), 1u);
    EXPECT_EQ(rig.RequestRegister(0), 0x0E78 + 1);
    if (c.line.empty()) {
      EXPECT_EQ(outcome, kivcomm::TWriteOutcome::Written);
      EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"Save of parset1: OK"});
      EXPECT_EQ(0, std::memcmp(rig.device->Content().Zestaw1.data(), rig.kiv.Zestaw1(), 238));
      continue;
    }
    EXPECT_EQ(outcome, kivcomm::TWriteOutcome::WrongDevice);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.Sent(), 1u);
    EXPECT_EQ(rig.trace.lines, (std::vector<std::string>{"Save of parset1", c.line + nothing}));
    EXPECT_EQ(rig.device->Content().Zestaw1, content.Zestaw1);
  }

  {  // a device that does not answer the identification gets nothing either
    Rig rig(GetParam());
    rig.kiv.SetZestaw1Length(238);
    rig.tcp.respond = [](const Bytes&) { return Bytes{}; };
    rig.serial.respond = [](const Bytes&) { return std::vector<Chunk>{}; };
    EXPECT_EQ(rig.comm.WriteZestaw(1, 1), kivcomm::TWriteOutcome::NotIdentified);
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.Sent(), 1u);
    ASSERT_GE(rig.trace.lines.size(), 3u);
    EXPECT_EQ(rig.trace.lines[1], "TimeOut, cancel reading");
    EXPECT_EQ(FromEnd(rig.trace.lines), "Save of parset1: Device not identified - nothing written");
  }
  {  // nor one that refuses it
    Rig rig(GetParam());
    rig.kiv.SetZestaw1Length(238);
    rig.tcp.respond = [](const Bytes&) { return Bytes{0x83, 0x04}; };
    rig.serial.respond = [](const Bytes&) {
      return std::vector<Chunk>{{10, WithCrc({0x1F, 0x83, 0x04})}};
    };
    EXPECT_EQ(rig.comm.WriteZestaw(1, 1), kivcomm::TWriteOutcome::NotIdentified);
    EXPECT_EQ(rig.Sent(), 1u);
    EXPECT_EQ(rig.trace.lines, (std::vector<std::string>{
                                   "Save of parset1", "Command refused - cancel reading",
                                   "Save of parset1: Device not identified - nothing written"}));
  }
}

TEST_P(Dialogues, EventsReadingEndsAtTheDeviceException) {
  Rig rig(GetParam(), SampleContent("12345678", 500));
  rig.kiv.TraceMessages = true;
  int fired = 0;
  rig.kiv.OnEvRegCompleted = [&] { fired += !rig.kiv.IsReading; };
  rig.comm.ReadEventRegister();
  EXPECT_FALSE(rig.kiv.Error);
  ASSERT_EQ(rig.Sent(), 3u);
  EXPECT_EQ(rig.RequestRegister(0), 4001);
  EXPECT_EQ(rig.RequestRegister(2), 4003);
  EXPECT_EQ(rig.RequestCount(0), 125);
  EXPECT_EQ(rig.kiv.EventBufferLength(), 500);
  EXPECT_EQ(0, std::memcmp(rig.kiv.EventBuffer(), rig.device->Content().Events.data(), 500));
  EXPECT_GT(rig.kiv.EventsReadDate(), 0.0);
  EXPECT_TRUE(rig.kiv.Modified);
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(rig.Traced(Progress(250)));
  // The exception reply gives no progress line: the last one shows the two blocks.
  std::string lastProgress;
  for (const std::string& l : rig.trace.lines)
    if (l.rfind("Event register reading: ", 0) == 0) lastProgress = l;
  EXPECT_EQ(lastProgress, Progress(500));
  // One silence per block read (and, serially, one inside each exchange).
  const int inside = GetParam() ? 0 : 3;
  EXPECT_EQ(rig.clock.Count(300), 2 + inside);

  Rig quiet(GetParam(), SampleContent("12345678", 300));
  quiet.comm.ReadEventRegister();
  EXPECT_EQ(quiet.trace.lines, std::vector<std::string>{Progress(300)});
  EXPECT_EQ(quiet.kiv.EventBufferLength(), 300);
}

TEST_P(Dialogues, EventsReadingFailures) {
  {  // refused at the first block: nothing stored, Error stays
    Rig rig(GetParam(), SampleContent("12345678", 0));
    rig.kiv.SetEventBufferLength(7);
    rig.comm.ReadEventRegister();
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(rig.kiv.EventBufferLength(), 7);
    EXPECT_FALSE(rig.kiv.Modified);
  }
  {  // a time-out is no end of data, even after an exception-looking stale reply; the
     // block read before it is kept
    Rig rig(GetParam(), SampleContent("12345678", 600));
    int n = 0;
    auto inner = rig.tcp.respond;
    rig.tcp.respond = [&](const Bytes& p) { return n++ == 1 ? Bytes{} : inner(p); };
    auto innerSerial = rig.serial.respond;
    rig.serial.respond = [&](const Bytes& r) {
      return n++ == 1 ? std::vector<Chunk>{} : innerSerial(r);
    };
    rig.comm.ReadEventRegister();
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(FromEnd(rig.trace.lines, 2), "TimeOut, cancel reading");
    EXPECT_EQ(FromEnd(rig.trace.lines), "Events buffer incomplete: 250 bytes kept");
    EXPECT_EQ(rig.kiv.EventBufferLength(), 250);
    EXPECT_EQ(rig.comm.EventsKept(), 250);
  }
  if (!GetParam()) {  // an exception frame with a bad CRC does not end the reading well
    Rig rig(false, SampleContent("12345678", 250));
    rig.serial.respond = [&rig](const Bytes& r) {
      Bytes reply = RtuReply(*rig.device, r, 31);
      if (reply[1] & 0x80) reply.back() ^= 1;
      return std::vector<Chunk>{{10, reply}};
    };
    rig.comm.ReadEventRegister();
    EXPECT_TRUE(rig.kiv.Error);
    EXPECT_EQ(FromEnd(rig.trace.lines, 2), "CRC error, cancel reading");
    EXPECT_EQ(rig.kiv.EventBufferLength(), 250);
  }
  {  // cancelled during the pause after a block
    Rig rig(GetParam(), SampleContent("12345678", 1000));
    rig.clock.onWait = [&] {
      if (rig.clock.waits.size() >= 2) rig.comm.CancelReading();
    };
    rig.comm.ReadEventRegister();
    EXPECT_TRUE(rig.kiv.Cancel);
    EXPECT_LT(rig.Sent(), 4u);
  }
}

TEST_P(Dialogues, EventsReadingStopsAtTheEndMarkerAndAtAFullBuffer) {
  TSimContent content = SampleContent("12345678", 0);
  Rig probe(GetParam(), content);
  probe.kiv.SetKivType(kivtKivs2);
  // A kind-5 code: its record with count 127 is the end marker.
  int code = -1;
  for (int c = 0; c < 256 && code < 0; ++c)
    if (probe.kiv.EventDefs[static_cast<size_t>(c) * 157 + 1] == 5) code = c;
  ASSERT_GE(code, 0);
  content.Events.assign(1000, 0);
  content.Events[0] = static_cast<uint8_t>(code);
  content.Events[1] = 3;
  content.Events[5] = static_cast<uint8_t>(code);
  content.Events[6] = 127;
  Rig rig(GetParam(), content);
  rig.kiv.SetKivType(kivtKivs2);
  rig.Use(content);
  TReadOptions options = rig.kiv.GetReadOptions();
  options.ShowAllEvents = 1;
  rig.kiv.SetReadOptions(options);
  rig.comm.ReadEventRegister();
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(rig.Sent(), 1u);
  EXPECT_EQ(rig.kiv.EventBufferLength(), 250);

  TSimContent large = SampleContent("12345678", 12000);
  large.EvBufLastReg = 4100;
  Rig full(GetParam(), large);
  full.comm.ReadEventRegister();
  EXPECT_FALSE(full.kiv.Error);
  EXPECT_EQ(full.Sent(), 41u);
  EXPECT_EQ(full.kiv.EventBufferLength(), 10240);
  EXPECT_EQ(0, std::memcmp(full.kiv.EventBuffer(), full.device->Content().Events.data(), 10240));
  EXPECT_EQ(full.trace.lines, std::vector<std::string>{Progress(10240)});

  // The last block address of the definitions ends the reading too.
  Rig limited(GetParam(), SampleContent("12345678", 2000));
  limited.kiv.Defs.EvBufLastReg = 4002;
  limited.comm.ReadEventRegister();
  EXPECT_EQ(limited.Sent(), 2u);
  EXPECT_EQ(limited.kiv.EventBufferLength(), 500);
}

TEST_P(Dialogues, ReadAllFollowsTheReadOptions) {
  Rig rig(GetParam());
  TReadOptions options = rig.kiv.GetReadOptions();
  options.ReadZestaw1 = 0;
  rig.kiv.SetReadOptions(options);
  std::vector<std::string> events;
  bool readingThroughout = true;
  rig.kiv.OnBeginRead = [&] { events.push_back("begin"); };
  rig.kiv.OnCompleteZestawNastaw2 = [&] { events.push_back("zns2"); };
  rig.kiv.OnEvRegCompleted = [&] {
    events.push_back("events");
    readingThroughout = readingThroughout && rig.kiv.IsReading;
  };
  rig.kiv.OnCompleteAll = [&] { events.push_back(rig.kiv.IsReading ? "all-busy" : "all"); };
  rig.comm.ReadAll();
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(events, (std::vector<std::string>{"begin", "zns2", "events", "all"}));
  EXPECT_TRUE(readingThroughout);
  ASSERT_EQ(rig.Sent(), 1u + 1u + 4u);  // identification, parset 2, 3 blocks + the refusal
  EXPECT_EQ(rig.RequestRegister(1), 2433);
  EXPECT_EQ(rig.kiv.Zestaw1Length(), 0);
  EXPECT_EQ(rig.kiv.Zestaw2Length(), 238);
  EXPECT_EQ(rig.kiv.EventBufferLength(), 600);
  EXPECT_EQ(rig.trace.lines, (std::vector<std::string>{"Identification of device:KIVS-2",
                                                       "Read parset 2 :OK", Progress(600)}));
  EXPECT_TRUE(rig.kiv.Modified);
  // One silence per parset request and per block, none twice.
  EXPECT_EQ(rig.comm.SilenceCount(), 1 + 3);
}

TEST_P(Dialogues, ReadAllCancelledAndOneDialogueAtATime) {
  Rig rig(GetParam());
  rig.clock.onWait = [&] { rig.comm.CancelReading(); };
  rig.comm.ReadAll();
  EXPECT_TRUE(rig.kiv.Cancel);
  EXPECT_EQ(FromEnd(rig.trace.lines), "Reading canceled");
  EXPECT_EQ(rig.kiv.Zestaw1Length(), 0);

  // Another registration holds the link: nothing starts.
  Rig other(GetParam());
  int dummy = 0;
  other.settings.BusyOwner = &dummy;
  other.comm.ReadAll();
  EXPECT_EQ(other.Sent(), 0u);
  EXPECT_TRUE(other.kiv.Error);
  EXPECT_EQ(other.trace.lines,
            std::vector<std::string>{"Port is used by another registration - command aborted"});

  // A second dialogue started while one waits is refused and leaves the first alone.
  Rig nested(GetParam());
  bool tried = false;
  nested.clock.onWait = [&] {
    if (tried) return;
    tried = true;
    nested.kiv.SetZestaw1Length(238);
    TKivComm second(nested.kiv, nested.settings);
    second.WriteZestaw(1, 1);
  };
  nested.comm.ReadAll();
  EXPECT_TRUE(tried);
  EXPECT_FALSE(nested.kiv.Error);
  EXPECT_EQ(nested.Sent(), 1u + 2u + 4u);  // no write request among them
  for (size_t i = 0; i < nested.Sent(); ++i) EXPECT_EQ(nested.RequestPdu(i)[0], 3);
  EXPECT_EQ(nested.trace.lines,
            (std::vector<std::string>{"Identification of device:KIVS-2", "Read parset 1 :OK",
                                      "Read parset 2 :OK", Progress(600)}));
  EXPECT_EQ(nested.settings.BusyOwner, nullptr);
  EXPECT_FALSE(nested.kiv.IsReading);
}

// Only code 2 past the data ends the events reading normally; every other code refuses
// it with a line naming the code, and the blocks read before are kept.
TEST_P(Dialogues, EventsReadingExceptionCodesAndKeptBytes) {
  for (int code : {1, 2, 3, 4, 5, 6, 7, 10, 11}) {
    SCOPED_TRACE(code);
    Rig rig(GetParam(), SampleContent("12345678", 600));
    int n = 0;
    auto inner = rig.tcp.respond;
    rig.tcp.respond = [&](const Bytes& p) {
      return n++ == 1 ? Bytes{0x83, static_cast<uint8_t>(code)} : inner(p);
    };
    rig.serial.respond = [&](const Bytes& r) {
      const Bytes frame = n++ == 1 ? WithCrc({0x1F, 0x83, static_cast<uint8_t>(code)})
                                   : RtuReply(*rig.device, r, 31);
      return std::vector<Chunk>{{10, frame}};
    };
    rig.comm.ReadEventRegister();
    EXPECT_EQ(rig.kiv.EventBufferLength(), 250);
    EXPECT_TRUE(rig.kiv.Modified);
    EXPECT_TRUE(std::equal(rig.device->Content().Events.begin(),
                           rig.device->Content().Events.begin() + 250, rig.kiv.EventBuffer()));
    if (code == 2) {
      EXPECT_FALSE(rig.kiv.Error);
      EXPECT_EQ(FromEnd(rig.trace.lines), Progress(250));
      EXPECT_EQ(rig.comm.EventsKept(), 0);
      continue;
    }
    EXPECT_TRUE(rig.kiv.Error);
    const std::string name = modbus::ExceptionName(code);
    ASSERT_GE(rig.trace.lines.size(), 3u);
    EXPECT_EQ(FromEnd(rig.trace.lines, 3), "Command refused - cancel reading");
    EXPECT_EQ(FromEnd(rig.trace.lines, 2),
              "Exception code " + std::to_string(code) + (name.empty() ? "" : ": " + name));
    EXPECT_EQ(FromEnd(rig.trace.lines), "Events buffer incomplete: 250 bytes kept");
    EXPECT_EQ(rig.comm.EventsKept(), 250);
  }
  EXPECT_EQ(modbus::ExceptionName(6), "Server device busy");
  EXPECT_EQ(modbus::ExceptionName(11), "Gateway target device failed to respond");

  // Cancelled after two blocks: both are kept, newest events first as read.
  Rig rig(GetParam(), SampleContent("12345678", 1000));
  rig.clock.onWait = [&] {
    if (!rig.trace.lines.empty() && FromEnd(rig.trace.lines) == Progress(500))
      rig.comm.CancelReading();
  };
  rig.comm.ReadEventRegister();
  EXPECT_TRUE(rig.kiv.Cancel);
  EXPECT_EQ(rig.kiv.EventBufferLength(), 500);
  EXPECT_EQ(FromEnd(rig.trace.lines), "Events buffer incomplete: 500 bytes kept");
  EXPECT_TRUE(std::equal(rig.device->Content().Events.begin(),
                         rig.device->Content().Events.begin() + 500, rig.kiv.EventBuffer()));
}

// Function 16 carries at most 123 registers whatever ZNS_SEND_STEP says; reads 125.
TEST_P(Dialogues, RequestSizesKeepTheModbusLimits) {
  TSimContent content = SampleContent("12345678", 0, 250);
  content.Zns2Adres = 2177 + 250;
  Rig rig(GetParam(), content);
  for (int i = 0; i < 500; ++i) rig.kiv.Zestaw1()[i] = static_cast<uint8_t>(i * 3);
  rig.kiv.SetZestaw1Length(500);
  for (int step : {0, 125, 124}) {
    SCOPED_TRACE(step);
    const size_t before = rig.Sent();
    rig.kiv.Defs.ZnsSendStep = step;
    rig.comm.WriteZestaw(1, 1);
    EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
    ASSERT_EQ(rig.Sent() - before, 4u);  // the identification, then the registers
    EXPECT_EQ(rig.RequestCount(before + 1), 123);
    EXPECT_EQ(rig.RequestCount(before + 2), 123);
    EXPECT_EQ(rig.RequestCount(before + 3), 4);
    EXPECT_EQ(0, std::memcmp(rig.device->Content().Zestaw1.data(), rig.kiv.Zestaw1(), 500));
  }
  const size_t before = rig.Sent();
  rig.comm.ReadZestaw(2);
  ASSERT_EQ(rig.Sent() - before, 2u);
  EXPECT_EQ(rig.RequestCount(before), 125);
  EXPECT_EQ(rig.RequestCount(before + 1), 125);
}

// The link's own account of a failure follows the time-out line; the TCP connection is
// closed when a dialogue ends, not between its requests.
TEST_P(Dialogues, LinkFailureReasonAndConnectionPerDialogue) {
  Rig rig(GetParam());
  rig.tcp.refusedPort = 1502;
  rig.serial.Vanish("Serial port ttyUSB0 lost: No such device");
  rig.comm.Identify();
  EXPECT_TRUE(rig.kiv.Error);
  ASSERT_GE(rig.trace.lines.size(), 2u);
  EXPECT_EQ(FromEnd(rig.trace.lines, 2), "TimeOut, cancel reading");
  EXPECT_EQ(FromEnd(rig.trace.lines),
            GetParam() ? "Connection refused: 10.1.2.3:1502" : rig.serial.LastFailure());

  Rig ok(GetParam());
  ok.comm.ReadAll();
  EXPECT_FALSE(ok.kiv.Error);
  EXPECT_GT(ok.Sent(), 3u);
  EXPECT_EQ(ok.tcp.disconnects, GetParam() ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Links, Dialogues, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Tcp" : "Serial";
                         });

// Replies that are well framed but wrong: each ends its dialogue with a line of its own and
// leaves what the registration held.
TEST_P(Dialogues, WrongRepliesEndTheDialogueAndKeepTheData) {
  // mend(n, pdu): the n-th reply PDU (0-based) as the device sends it.
  auto rigWith = [this](std::function<void(int, Bytes&)> mend,
                        TSimContent content = SampleContent("12345678", 600)) {
    auto rig = std::make_unique<Rig>(GetParam(), content);
    auto count = std::make_shared<int>(0);
    rig->tcp.respond = [r = rig.get(), mend, count](const Bytes& p) {
      Bytes reply = r->device->Handle(p);
      mend((*count)++, reply);
      return reply;
    };
    rig->serial.respond = [r = rig.get(), mend, count](const Bytes& request) {
      Bytes pdu = r->device->Handle(Bytes(request.begin() + 1, request.end() - 2));
      mend((*count)++, pdu);
      Bytes frame{0x1F};
      frame.insert(frame.end(), pdu.begin(), pdu.end());
      return std::vector<Chunk>{{10, WithCrc(frame)}};
    };
    return rig;
  };
  {  // another function code
    auto rig = rigWith([](int, Bytes& pdu) { pdu[0] = 4; });
    rig->comm.ReadZestaw(1);
    EXPECT_TRUE(rig->kiv.Error);
    EXPECT_EQ(FromEnd(rig->trace.lines), "Answer with different function code, cancel reading");
    EXPECT_EQ(rig->kiv.Zestaw1Length(), 0);
  }
  for (int count : {0, 7, 255}) {  // byte counts that cannot be right
    SCOPED_TRACE(count);
    auto rig = rigWith([count](int, Bytes& pdu) { pdu[1] = static_cast<uint8_t>(count); });
    rig->settings.Time_Out = 20;
    // Over RTU the frame is taken once the line is quiet and its count judged; the TCP
    // client refuses a PDU whose length its count contradicts, as no reply.
    auto expectRefused = [&](int pduBytes) {
      EXPECT_TRUE(rig->kiv.Error);
      ASSERT_GE(rig->trace.lines.size(), 2u);
      if (!GetParam()) {
        EXPECT_EQ(FromEnd(rig->trace.lines), "Wrong byte count, cancel reading");
        EXPECT_EQ(rig->comm.LastTransact().Outcome, kivcomm::TTransactOutcome::WrongByteCount);
        return;
      }
      EXPECT_EQ(rig->comm.LastTransact().Outcome, kivcomm::TTransactOutcome::TimeOut);
      EXPECT_EQ(FromEnd(rig->trace.lines, 2), "TimeOut, cancel reading");
      EXPECT_EQ(FromEnd(rig->trace.lines), "Reply of " + std::to_string(pduBytes) +
                                               " PDU bytes where its function 3 announces " +
                                               std::to_string(2 + count) + ", connection dropped");
    };
    rig->comm.ReadZestaw(1);
    expectRefused(2 + 238);
    rig->trace.lines.clear();
    rig->comm.Identify();
    expectRefused(2 + 16);
    EXPECT_EQ(rig->kiv.Identification(), "");
  }
  {  // a refused parset reading says so
    auto rig = rigWith([](int, Bytes& pdu) { pdu = {0x83, 0x04}; });
    rig->comm.ReadZestaw(2);
    EXPECT_TRUE(rig->kiv.Error);
    EXPECT_EQ(FromEnd(rig->trace.lines), "Command refused - cancel reading");
  }
  {  // a write echo naming other registers is no success
    auto rig = rigWith([](int, Bytes& pdu) {
      if (pdu[0] == 16) pdu[4] ^= 1;
    });
    for (int i = 0; i < 238; ++i) rig->kiv.Zestaw1()[i] = static_cast<uint8_t>(i);
    rig->kiv.SetZestaw1Length(238);
    rig->comm.WriteZestaw(1, 1);
    EXPECT_TRUE(rig->kiv.Error);
    EXPECT_EQ(FromEnd(rig->trace.lines), "Save of parset1: Settings rejected by device");
    EXPECT_EQ(FromEnd(rig->trace.lines, 2), "Wrong echo of the written registers, cancel reading.");
  }
  {  // a short block with more data after it: the reading breaks off after the short block
    auto rig = rigWith([](int n, Bytes& pdu) {
      if (n == 1) {
        pdu.resize(2 + 100);
        pdu[1] = 100;
      }
    });
    rig->comm.ReadEventRegister();
    EXPECT_TRUE(rig->kiv.Error);
    const std::vector<uint8_t>& events = rig->device->Content().Events;
    ASSERT_EQ(rig->kiv.EventBufferLength(), 350);
    EXPECT_EQ(rig->comm.EventsKept(), 350);
    EXPECT_TRUE(std::equal(events.begin(), events.begin() + 350, rig->kiv.EventBuffer()));
    EXPECT_EQ(rig->Sent(), 3u);
    ASSERT_GE(rig->trace.lines.size(), 2u);
    EXPECT_EQ(FromEnd(rig->trace.lines, 2),
              "Event register reading: Incomplete answer - cancel reading");
    EXPECT_EQ(FromEnd(rig->trace.lines), "Events buffer incomplete: 350 bytes kept");
  }
  {  // a short last block is the device's end of data
    auto rig = rigWith([](int, Bytes&) {}, SampleContent("12345678", 620));
    rig->comm.ReadEventRegister();
    EXPECT_FALSE(rig->kiv.Error);
    ASSERT_EQ(rig->kiv.EventBufferLength(), 620);
    EXPECT_EQ(rig->trace.lines, std::vector<std::string>{Progress(620)});
  }
  // A block refused after its bytes arrived adds none of them: an odd count the data agrees
  // with, and a count of nothing.
  for (int count : {7, 0}) {
    SCOPED_TRACE(count);
    auto rig = rigWith([count](int n, Bytes& pdu) {
      if (n == 1) {
        pdu.resize(static_cast<size_t>(2 + count));
        pdu[1] = static_cast<uint8_t>(count);
      }
    });
    rig->comm.ReadEventRegister();
    EXPECT_TRUE(rig->kiv.Error);
    EXPECT_EQ(rig->kiv.EventBufferLength(), 250);
    EXPECT_EQ(rig->comm.EventsKept(), 250);
    EXPECT_TRUE(rig->Traced("Wrong byte count, cancel reading"));
    EXPECT_EQ(FromEnd(rig->trace.lines), "Events buffer incomplete: 250 bytes kept");
  }
  {  // the first block refused: a line naming the code, and the earlier buffer stays
    auto rig = rigWith([](int, Bytes& pdu) { pdu = {0x83, 0x02}; });
    rig->kiv.SetEventBufferLength(9);
    rig->comm.ReadEventRegister();
    EXPECT_TRUE(rig->kiv.Error);
    EXPECT_EQ(FromEnd(rig->trace.lines, 2), "Command refused - cancel reading");
    EXPECT_EQ(FromEnd(rig->trace.lines), "Exception code 2: Illegal data address");
    EXPECT_EQ(rig->kiv.EventBufferLength(), 9);
  }
}

// A reply with bit 7 set that is no refusal of this request ends the identification with
// its own line only.
TEST_P(Dialogues, ForeignExceptionLookingReplyIsNoRefusal) {
  Rig rig(GetParam());
  rig.tcp.respond = [](const Bytes&) { return Bytes{0x84, 0x01}; };
  rig.serial.respond = [](const Bytes&) {
    return std::vector<Chunk>{{10, WithCrc({0x1F, 0x84, 0x01})}};
  };
  rig.comm.Identify();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(rig.trace.lines,
            (std::vector<std::string>{"Identification of device:",
                                      "Answer with different function code, cancel reading"}));
}

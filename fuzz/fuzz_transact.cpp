// Transact and the device dialogues over the dialogue tests' fake links, answering every
// request with bytes of the input, on the serial path (in chunks arriving at chosen moments of a
// fake clock) and on the TCP path. Whatever the replies: nothing is read or written outside the
// buffers, a reply taken as valid has the right address, function and (serial) CRC, a reading that
// fails leaves the registration's data as it was, and the dialogue ends with the link free again.
#include <optional>
#include <vector>

#include "fakelinks.h"
#include "fuzz_common.h"
#include "fuzz_input.h"
#include "kivbase.h"
#include "kivcomm.h"
#include "messages.h"
#include "modbusframe.h"
#include "textcodec.h"

namespace {

// The replies, request by request, taken from the input as the dialogue asks for them.
class TScript {
 public:
  TScript(TFuzzInput& in, uint8_t slave) : in_(in), slave_(slave) {}

  // Up to three chunks of a serial reply; with fixFrame the whole reply gets the slave
  // address and a right CRC, so the fuzzer reaches what follows those checks.
  std::vector<Chunk> Serial() {
    std::vector<Chunk> chunks;
    if (in_.Remaining() == 0) return chunks;
    const bool fixFrame = in_.Bool();
    const int count = in_.IntegerInRange<int>(0, 3);
    for (int i = 0; i < count; ++i) {
      Chunk c;
      c.delayMs = in_.IntegerInRange<int>(0, 1200);
      c.bytes = in_.Bytes(in_.IntegerInRange<size_t>(0, 300));
      chunks.push_back(c);
    }
    if (fixFrame && !chunks.empty()) {
      Bytes whole;
      for (const Chunk& c : chunks) whole.insert(whole.end(), c.bytes.begin(), c.bytes.end());
      if (whole.size() >= 1) whole[0] = slave_;
      whole.resize(whole.size() + 2);
      modbus::AppendCrc(whole.data(), whole.size() - 2);
      chunks.back().bytes.push_back(whole[whole.size() - 2]);
      chunks.back().bytes.push_back(whole[whole.size() - 1]);
      if (!chunks.front().bytes.empty()) chunks.front().bytes[0] = slave_;
    }
    return chunks;
  }
  // A TCP reply PDU, or none; never longer than the client library delivers.
  bool Tcp(Bytes& pdu) {
    if (in_.Remaining() == 0 || !in_.Bool()) return false;
    pdu = in_.Bytes(in_.IntegerInRange<size_t>(0, kivcomm::kMaxTcpPdu));
    return true;
  }

 private:
  TFuzzInput& in_;
  uint8_t slave_;
};

// What a reply taken as good must be.
void CheckTransact(const TKiv& kiv, const kivcomm::TTransactResult& result, bool tcp,
                   uint8_t slave) {
  FUZZ_CHECK(kiv.ReplyLength <= modbus::kMaxReplyRead);
  // The flags and the outcome tell the same story.
  FUZZ_CHECK(kiv.Cancel == (result.Outcome == kivcomm::TTransactOutcome::NotSent));
  FUZZ_CHECK(kiv.Error != (result.Ok() || kiv.Cancel));
  if (result.Outcome == kivcomm::TTransactOutcome::Exception) {
    FUZZ_CHECK(kiv.Reply[0] == slave && (kiv.Reply[1] & modbus::kExceptionBit) &&
               result.ExceptionCode == kiv.Reply[2]);
  }
  if (result.FrameEnd > 0) FUZZ_CHECK(result.FrameEnd >= 3 && result.FrameEnd <= kiv.ReplyLength);
  if (kiv.Error || kiv.Cancel) return;
  FUZZ_CHECK(kiv.ReplyLength >= 3);
  FUZZ_CHECK(kiv.Reply[0] == slave && kiv.Reply[1] == kiv.Request[1]);
  if (!tcp) FUZZ_CHECK(modbus::CrcValid(kiv.Reply.data(), kiv.ReplyLength));
}

Bytes Area(const uint8_t* p, size_t n) {
  return Bytes(p, p + n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const bool tcp = in.Bool();
  const uint8_t slave = in.Integer<uint8_t>();
  const int mode = in.IntegerInRange<int>(0, 6);

  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  TStringTraceList trace;
  TKiv kiv;
  kiv.DefsDir = KIVSVC_DEFS_DIR;
  kiv.SetTraceList(&trace);
  kiv.TraceMessages = in.Bool();
  TReadOptions options = kiv.GetReadOptions();
  options.SlaveNo = slave;
  options.ReadZestaw1 = in.Bool();
  options.ReadZestaw2 = in.Bool();
  options.ReadEventRegister = in.Bool();
  options.ShowAllEvents = in.Bool();
  kiv.SetReadOptions(options);

  FakeClock clock;
  clock.onWait = [&clock] { FUZZ_CHECK(clock.waits.back() >= 0); };
  TScript script(in, slave);
  FakeSerial serial(clock);
  serial.baud = 9600;
  serial.respond = [&script](const Bytes& request) {
    FUZZ_CHECK(request.size() >= 4 && request.size() <= 300);
    FUZZ_CHECK(modbus::CrcValid(request.data(), request.size()));
    return script.Serial();
  };
  FakeTcp tcpLink;
  tcpLink.handOver = [&script](const Bytes& request) -> std::optional<Bytes> {
    FUZZ_CHECK(!request.empty() && request.size() <= kivcomm::kMaxTcpPdu);
    Bytes pdu;
    if (!script.Tcp(pdu)) return std::nullopt;
    return pdu;
  };
  TCommSettings settings;
  settings.MBTCPComm = tcp;
  settings.Time_Out = in.IntegerInRange<int>(0, 1000);
  settings.TimeSilence = in.IntegerInRange<int>(0, 400);
  settings.SerialPort = &serial;
  settings.TcpLink = &tcpLink;
  settings.Waiter = &clock;
  TKivComm comm(kiv, settings);

  // Definitions as a file may give them, within bounds that keep a reading short.
  auto fuzzDefs = [&] {
    kiv.SetKivType(in.IntegerInRange<TKivType>(1, 2));
    kiv.Defs.ZnsSize = in.IntegerInRange<int32_t>(-2, 300);
    kiv.Defs.ZnsSendStep = in.IntegerInRange<int32_t>(-2, 300);
    kiv.Defs.Zns1Adres = in.Integer<uint16_t>();
    kiv.Defs.Zns2Adres = in.Integer<uint16_t>();
    kiv.Defs.EvBufFirstReg = in.Integer<uint16_t>();
    kiv.Defs.EvBufLastReg =
        static_cast<uint16_t>(kiv.Defs.EvBufFirstReg + in.IntegerInRange<int>(-1, 40));
  };

  const Bytes events = Area(kiv.EventBuffer(), kivimg::kEventBufferCapacity);
  switch (mode) {
    case 0: {  // one exchange of any request
      kiv.RequestLength = in.IntegerInRange<uint16_t>(0, 300);
      kiv.Request[1] = in.Integer<uint8_t>();
      const Bytes body = in.Bytes(kiv.Request.size() - 2);
      std::copy(body.begin(), body.end(), kiv.Request.begin() + 2);
      const kivcomm::TTransactResult result = comm.Transact();
      CheckTransact(kiv, result, tcp, slave);
      break;
    }
    case 1:
      comm.ReadAll();
      break;
    case 2: {
      fuzzDefs();
      const int n = in.IntegerInRange<int>(1, 2);
      const Bytes before = Area(kiv.Zestaw(n), kivimg::kZestawCapacity);
      const uint16_t lengthBefore = kiv.ZestawLength(n);
      comm.ReadZestaw(n);
      if (kiv.Error || kiv.Cancel) {
        FUZZ_CHECK(Area(kiv.Zestaw(n), kivimg::kZestawCapacity) == before);
        FUZZ_CHECK(kiv.ZestawLength(n) == lengthBefore);
      } else {
        FUZZ_CHECK(kiv.ZestawLength(n) == 2 * std::clamp<int32_t>(kiv.Defs.ZnsSize, 0, 256));
      }
      break;
    }
    case 3:
      fuzzDefs();
      comm.ReadEventRegister();
      if (kiv.Error || kiv.Cancel) {
        // A broken reading keeps only the blocks it read, and says so; with none read,
        // nothing changes.
        if (comm.EventsKept() == 0) {
          FUZZ_CHECK(Area(kiv.EventBuffer(), kivimg::kEventBufferCapacity) == events);
          FUZZ_CHECK(kiv.EventBufferLength() == 0);
        } else {
          FUZZ_CHECK(kiv.EventBufferLength() == comm.EventsKept());
          FUZZ_CHECK(!trace.lines.empty() &&
                     trace.lines.back() == "Events buffer incomplete: " +
                                               std::to_string(comm.EventsKept()) + " bytes kept");
        }
      }
      break;
    case 4: {
      fuzzDefs();
      const int s = in.IntegerInRange<int>(1, 2);
      kiv.SetZestawLength(s, in.IntegerInRange<uint16_t>(0, kivimg::kZestawCapacity));
      const Bytes fill = in.Bytes(kivimg::kZestawCapacity);
      std::copy(fill.begin(), fill.end(), kiv.Zestaw(s));
      const std::string ident = kiv.Identification();
      const TKivType type = kiv.GetKivType();
      const kivcomm::TWriteOutcome outcome = comm.WriteZestaw(s, in.IntegerInRange<int>(1, 2));
      // A write asks the device what it is but never takes that over.
      FUZZ_CHECK(kiv.Identification() == ident && kiv.GetKivType() == type);
      FUZZ_CHECK((outcome == kivcomm::TWriteOutcome::Written) ==
                 (!kiv.Error && !kiv.Cancel && kiv.ZestawLength(s) >= 2));
      break;
    }
    case 5: {  // into a destination of exactly the size asked for
      const int first = in.IntegerInRange<int>(0, 0x10000);
      const int count = in.IntegerInRange<int>(0, 300);
      Bytes dest(static_cast<size_t>(count) * 2);
      const int got = comm.ReadRegisters(first, dest.empty() ? nullptr : dest.data(), count);
      FUZZ_CHECK(got >= 0 && got <= 2 * count);
      break;
    }
    default:
      comm.Identify();
      FUZZ_CHECK(kiv.GetKivType() <= kivtKivs3);
      break;
  }

  FUZZ_CHECK(!kiv.IsReading && settings.BusyOwner == nullptr);
  FUZZ_CHECK(kiv.EventBufferLength() <= kivcomm::kEventWorkBufferSize);
  FUZZ_CHECK(kiv.Zestaw1Length() <= kivimg::kZestawCapacity);
  FUZZ_CHECK(kiv.Zestaw2Length() <= kivimg::kZestawCapacity);
  // KIVSVC_FUZZ_VERBOSE=1 shows the dialogue of an input replayed alone.
  static const bool verbose = std::getenv("KIVSVC_FUZZ_VERBOSE") != nullptr;
  for (const std::string& line : trace.lines) {
    FUZZ_CHECK(IsValidUtf8(line));
    if (verbose) std::fprintf(stderr, "%s\n", line.c_str());
  }
  FUZZ_CHECK(messages.shown.empty());
  return 0;
}

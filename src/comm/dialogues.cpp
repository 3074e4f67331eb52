#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "kivcomm.h"
#include "kivdate.h"
#include "modbusframe.h"
#include "textcodec.h"

namespace {

int ClampZestawSize(int32_t size) {
  return std::clamp<int32_t>(size, 0, kivcomm::kMaxZestawRegisters);
}

void PutU16(uint8_t* p, int value) {
  p[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
  p[1] = static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

// Marks the registration busy for one dialogue. Dialogues nest (ReadAll runs the others);
// only the outermost takes and gives back the busy state and the shared link.
class TKivComm::TBusy {
 public:
  explicit TBusy(TKivComm& comm) : comm_(comm), ok_(comm.BeginDialogue()) {}
  ~TBusy() { End(); }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;
  bool Ok() const { return ok_; }
  void End() {
    if (ok_) comm_.EndDialogue();
    ok_ = false;
  }

 private:
  TKivComm& comm_;
  bool ok_;
};

bool TKivComm::BeginDialogue() {
  if (depth_ == 0) {
    if (kiv_.IsReading) {
      // A dialogue of this registration runs already (started from a window event
      // handled while it waits). Its flags, buffers and trace lines stay untouched: a
      // line added here would be taken for its progress line and dropped in its place.
      return false;
    }
    if (settings_.BusyOwner && settings_.BusyOwner != &kiv_) {
      kiv_.Trace("Port is used by another registration - command aborted");
      kiv_.Error = true;
      return false;
    }
    settings_.BusyOwner = &kiv_;
    kiv_.IsReading = true;
  }
  ++depth_;
  return true;
}

void TKivComm::EndDialogue() {
  if (--depth_ == 0) {
    kiv_.IsReading = false;
    if (settings_.BusyOwner == &kiv_) settings_.BusyOwner = nullptr;
    // A gateway may admit only one or two masters: the connection is not held between
    // dialogues.
    if (settings_.MBTCPComm && settings_.TcpLink) settings_.TcpLink->Disconnect();
  }
}

void TKivComm::BuildReadRequest(uint16_t protocolAddress, uint16_t count) {
  kiv_.Request[1] = modbus::kReadHoldingRegisters;
  PutU16(&kiv_.Request[2], protocolAddress);
  PutU16(&kiv_.Request[4], count);
  kiv_.RequestLength = 8;
}

TKivComm::TReadResult TKivComm::ReadRegs(int r, uint8_t* p, int c, int room, bool waitAfterLast) {
  TReadResult result;
  result.complete = true;
  while (c > 0) {
    const int k = std::min(c, modbus::kMaxRegistersPerRequest);
    BuildReadRequest(static_cast<uint16_t>(r - 1), static_cast<uint16_t>(k));
    const kivcomm::TTransactResult t = Transact();
    // Ok is this device's function-3 answer.
    if (t.Ok() && !kiv_.Cancel) {
      const int arrived = t.FrameEnd - 3;
      const int byteCount = kiv_.Reply[2];
      // A reply whose byte count its data or the request contradicts adds nothing.
      if (!modbus::ByteCountFits(byteCount, k, arrived)) {
        Finish(kivcomm::TTransactOutcome::WrongByteCount);
        result.complete = false;
        break;
      }
      // Only what arrived is copied (the count fits both the request and the data), as far
      // as the destination has room.
      const int n = std::max(0, std::min(byteCount, room));
      std::memcpy(p, kiv_.Reply.data() + 3, static_cast<size_t>(n));
      result.copied += n;
      if (n < 2 * k) result.complete = false;
      if (byteCount < 2 * k) result.shortReply = true;
      c -= k;
      r += k;
      p += 2 * k;
      room = std::max(0, room - 2 * k);
    }
    if (kiv_.Error || kiv_.Cancel) {
      result.complete = false;
      break;
    }
    if (c == 0 && !waitAfterLast) break;
    Silence();
    // Transact clears Cancel, so a cancel pressed during the pause must end it here.
    if (c > 0 && kiv_.Cancel) {
      result.complete = false;
      break;
    }
  }
  return result;
}

int TKivComm::ReadRegisters(int firstRegister, uint8_t* dest, int count) {
  if (!dest || count <= 0) return 0;
  return ReadRegs(firstRegister, dest, count, count * 2, true).copied;
}

bool TKivComm::WriteRegisters(int r, const uint8_t* p, int t, int c) {
  bool allAnswered = true;
  while (c > 0) {
    int k = t > 0 ? t : c;
    k = std::min({k, modbus::kMaxWriteRegisters, c});
    kiv_.Request[1] = modbus::kWriteMultipleRegisters;
    PutU16(&kiv_.Request[2], r - 1);
    PutU16(&kiv_.Request[4], k);
    kiv_.Request[6] = static_cast<uint8_t>(2 * k);
    std::memcpy(kiv_.Request.data() + 7, p, static_cast<size_t>(2 * k));
    kiv_.RequestLength = static_cast<uint16_t>(2 * k + 9);
    c -= k;
    r += k;
    p += 2 * k;
    const kivcomm::TTransactResult reply = Transact();
    // The device echoes the start address and count it wrote; another echo means the
    // registers written are not the ones asked for.
    if (reply.Ok() && !kiv_.Cancel &&
        (reply.FrameEnd < 6 ||
         !std::equal(kiv_.Reply.begin() + 2, kiv_.Reply.begin() + 6, kiv_.Request.begin() + 2)))
      Finish(kivcomm::TTransactOutcome::WrongEcho);
    if (ITraceList* list = kiv_.TraceList()) list->AppendToLast(".");
    if (kiv_.Error || kiv_.Cancel) allAnswered = false;
    if (kiv_.Error || kiv_.Cancel) break;
    Silence();
    if (c > 0 && kiv_.Cancel) {
      allAnswered = false;
      break;
    }
  }
  return allAnswered;
}

namespace kivcomm {

TKivType IdentifiedType(const std::string& identification) {
  const char second = identification.size() >= 2 ? identification[1] : '\0';
  if (second == '2') return kivtKivs2;
  if (second == '3') return kivtKivs3;
  return kivtUnknown;
}

std::string DeviceTypeName(TKivType type) {
  if (type == kivtKivs2) return "KIVS-2";
  if (type == kivtKivs3) return "KIVS-3";
  return "device of unknown type";
}

}  // namespace kivcomm

bool TKivComm::QueryIdentification(std::string& text) {
  BuildReadRequest(modbus::kIdentAddress, modbus::kIdentRegisters);
  std::fill(kiv_.Reply.begin(), kiv_.Reply.begin() + 20, uint8_t{0});
  const kivcomm::TTransactResult t = Transact();
  // Only the device's own refusal: a foreign or damaged reply has its own line already.
  if (t.Outcome == kivcomm::TTransactOutcome::Exception) {
    TraceRefusal();
    return false;
  }
  if (!t.Ok() || kiv_.Cancel) return false;
  if (!modbus::ByteCountFits(kiv_.Reply[2], modbus::kIdentRegisters, t.FrameEnd - 3)) {
    Finish(kivcomm::TTransactOutcome::WrongByteCount);
    return false;
  }
  // The text is the reply's data bytes up to the first NUL; the CRC (serial) or the end
  // of the PDU (TCP) bounds it, so both paths give the same text.
  const int end = std::min(t.FrameEnd, 3 + int{kiv_.Reply[2]});
  text.clear();
  for (int i = 3; i < end && kiv_.Reply[i] != 0; ++i) text += static_cast<char>(kiv_.Reply[i]);
  return true;
}

void TKivComm::Identify() {
  TBusy busy(*this);
  if (!busy.Ok()) return;
  kiv_.Error = false;
  kiv_.Cancel = false;
  kiv_.Trace("Identification of device:");
  std::string raw;
  if (!QueryIdentification(raw)) return;
  kiv_.SetIdentification(Cp1250ToUtf8(raw));
  if (!kiv_.TraceMessages) kiv_.DropLastTrace();
  const TKivType type = kivcomm::IdentifiedType(raw);
  if (type == kivtUnknown) {
    kiv_.Trace("Identification of device:?");
    kiv_.Cancel = false;
    return;
  }
  kiv_.Trace("Identification of device:" + kivcomm::DeviceTypeName(type));
  kiv_.SetKivType(type);
}

void TKivComm::ReadEventRegister() {
  TBusy busy(*this);
  if (!busy.Ok()) return;
  kiv_.Error = false;
  kiv_.Cancel = false;
  kiv_.Trace("Event register reading: ");
  const TReadOptions options = kiv_.GetReadOptions();
  int b = kiv_.Defs.EvBufFirstReg;
  int total = 0;
  std::vector<uint8_t> work(kivcomm::kEventWorkBufferSize, 0);
  bool done = false;
  bool shortBlockRead = false;
  eventsKept_ = 0;
  for (;;) {
    const int room = kivcomm::kEventWorkBufferSize - total;
    // One silence between blocks: the one after the progress line below.
    const TReadResult block =
        ReadRegs(b, work.data() + total, modbus::kMaxRegistersPerRequest, room, false);
    if (!kiv_.Error && !kiv_.Cancel && shortBlockRead) {
      // A block shorter than asked ends the device's data only when nothing follows it.
      // Data after it would be stored at the wrong place and misalign every later record:
      // the reading breaks off, keeping the short block, whose bytes stand where they
      // belong.
      kiv_.Trace("Event register reading: Incomplete answer - cancel reading");
      kiv_.Error = true;
    }
    if (!kiv_.Error && !kiv_.Cancel) {
      total += block.copied;
      shortBlockRead = block.shortReply;
      const std::string line =
          "Event register reading: " + std::to_string(total) + " bajt\xC3\xB3w";
      if (!kiv_.TraceMessages) kiv_.DropLastTrace();
      ++b;
      if (!done)
        done = (options.ShowAllEvents && kiv_.EndMarkerFound(work.data(), total)) ||
               total >= kivcomm::kEventWorkBufferSize;
      kiv_.Trace(line);
      Silence();
    }
    if (kiv_.Error || kiv_.Cancel || done || b > kiv_.Defs.EvBufLastReg) break;
  }
  // The device answers a block address past its data with exception code 2: that is the
  // normal end of the buffer, provided something was read before it. Any other code (a
  // busy device, a gateway that lost its target) refuses the reading.
  if (last_.Outcome == kivcomm::TTransactOutcome::Exception && !kiv_.Cancel) {
    const int code = last_.ExceptionCode;
    if (total > 0 && code == modbus::kIllegalDataAddress) {
      kiv_.Error = false;
    } else {
      TraceRefusal();
      const std::string name = modbus::ExceptionName(code);
      kiv_.Trace("Exception code " + std::to_string(code) + (name.empty() ? "" : ": " + name));
    }
  }
  // The bytes read are the newest events: a failed or cancelled reading keeps them too.
  if (total > 0) {
    std::memcpy(kiv_.EventBuffer(), work.data(), static_cast<size_t>(total));
    kiv_.SetEventBufferLength(static_cast<uint16_t>(total));
    kiv_.SetEventsReadDate(TodayDays());
    kiv_.Modified = true;
    if (kiv_.Error || kiv_.Cancel) {
      eventsKept_ = total;
      kiv_.Trace("Events buffer incomplete: " + std::to_string(total) + " bytes kept");
    }
  }
  busy.End();
  TKiv::Fire(kiv_.OnEvRegCompleted);
}

void TKivComm::ReadZestaw(int n) {
  if (n != 1 && n != 2) return;
  const std::string cancelLine = "Reading of parset " + std::to_string(n) + ": Reading canceled";
  if (kiv_.Cancel) {
    kiv_.Trace(cancelLine);
    return;
  }
  TBusy busy(*this);
  if (!busy.Ok()) return;
  const std::string title = "Read parset " + std::to_string(n);
  kiv_.Trace(title);
  const int size = ClampZestawSize(kiv_.Defs.ZnsSize);
  // The parset changes only when every request of the reading succeeded.
  std::vector<uint8_t> scratch(kivimg::kZestawCapacity, 0);
  const TReadResult result =
      size > 0 ? ReadRegs(kiv_.Defs.ZestawAdres(n), scratch.data(), size, size * 2, true)
               : TReadResult{0, true};
  if (kiv_.Cancel) {
    kiv_.Trace(cancelLine);
    return;
  }
  if (kiv_.Error) {
    // Transact traces every failure but a device's refusal.
    if (last_.Outcome == kivcomm::TTransactOutcome::Exception) TraceRefusal();
    return;
  }
  if (!result.complete) {
    kiv_.Trace(title + ": Incomplete answer - cancel reading");
    kiv_.Error = true;
    return;
  }
  std::memcpy(kiv_.Zestaw(n), scratch.data(), static_cast<size_t>(size * 2));
  kiv_.SetZestawLength(n, static_cast<uint16_t>(size * 2));
  kiv_.Modified = true;
  if (!kiv_.TraceMessages) kiv_.DropLastTrace();
  kiv_.Trace(title + " :OK");
  if (n == 1) {
    kiv_.SetZestaw1ReadDate(TodayDays());
    busy.End();
    TKiv::Fire(kiv_.OnCompleteZestawNastaw1);
  } else {
    kiv_.SetZestaw2ReadDate(TodayDays());
    busy.End();
    TKiv::Fire(kiv_.OnCompleteZestawNastaw2);
  }
}

int TKivComm::ReadZestawCopy(int n, uint8_t* dest, int room) {
  if ((n != 1 && n != 2) || dest == nullptr || kiv_.Cancel) return -1;
  TBusy busy(*this);
  if (!busy.Ok()) return -1;
  const int size = std::min(ClampZestawSize(kiv_.Defs.ZnsSize), room / 2);
  const int first = kiv_.Defs.ZestawAdres(n);
  if (size <= 0 || first == 0) return -1;
  const TReadResult result = ReadRegs(first, dest, size, size * 2, true);
  if (kiv_.Error || kiv_.Cancel || !result.complete) return -1;
  return size * 2;
}

std::optional<kivcomm::TWriteOutcome> TKivComm::RefuseOtherDevice(const std::string& message) {
  std::string raw;
  if (!QueryIdentification(raw)) {
    if (kiv_.Cancel) {
      kiv_.Trace(message + ": Writing canceled");
      return kivcomm::TWriteOutcome::Canceled;
    }
    kiv_.Trace(message + ": Device not identified - nothing written");
    kiv_.Error = true;
    return kivcomm::TWriteOutcome::NotIdentified;
  }
  // A parset of one type means other things in the other: the registration's type must be
  // the device's, whatever definitions the registration holds.
  const TKivType device = kivcomm::IdentifiedType(raw);
  const TKivType registration = kiv_.GetKivType();
  if (device == registration) return std::nullopt;
  kiv_.Trace("The device at slave " + std::to_string(kiv_.GetReadOptions().SlaveNo) + " is a " +
             kivcomm::DeviceTypeName(device) + "; this registration is for a " +
             kivcomm::DeviceTypeName(registration) + ": nothing written");
  kiv_.Error = true;
  return kivcomm::TWriteOutcome::WrongDevice;
}

kivcomm::TWriteOutcome TKivComm::WriteZestaw(int s, int d) {
  using kivcomm::TWriteOutcome;
  if ((s != 1 && s != 2) || (d != 1 && d != 2)) return TWriteOutcome::NotStarted;
  std::string message = "Save of parset" + std::to_string(s);
  if (d != s) message += " do " + std::to_string(d);
  TBusy busy(*this);
  if (!busy.Ok()) return TWriteOutcome::NotStarted;
  const int size = ClampZestawSize(kiv_.Defs.ZnsSize);
  const int count = std::min(kiv_.ZestawLength(s) / 2, size);
  if (kiv_.ZestawLength(s) / 2 == 0) {
    kiv_.Trace(message + ": Parset " + std::to_string(s) + " is empty - command aborted");
    return TWriteOutcome::NotStarted;
  }
  const int first = kiv_.Defs.ZestawAdres(d);
  if (first == 0 || count == 0) {
    kiv_.Trace(message + ": Parset not in the device definitions - command aborted");
    kiv_.Error = true;
    return TWriteOutcome::NotStarted;
  }
  kiv_.Error = false;
  kiv_.Cancel = false;
  kiv_.Trace(message);
  if (const auto refused = RefuseOtherDevice(message)) return *refused;
  Silence();
  if (kiv_.Cancel) {
    kiv_.Trace(message + ": Writing canceled");
    return TWriteOutcome::Canceled;
  }
  const int step = kiv_.Defs.ZnsSendStep > 0 ? kiv_.Defs.ZnsSendStep : 0;
  const bool allAnswered = WriteRegisters(first, kiv_.Zestaw(s), step, count);
  if (allAnswered && !kiv_.Error && !kiv_.Cancel) {
    if (!kiv_.TraceMessages) kiv_.DropLastTrace();
    kiv_.Trace(message + ": OK");
    return TWriteOutcome::Written;
  }
  if (kiv_.Cancel) {
    kiv_.Trace(message + ": Writing canceled");
    return TWriteOutcome::Canceled;
  }
  kiv_.Trace(message + ": Settings rejected by device");
  kiv_.Error = true;
  return TWriteOutcome::Rejected;
}

void TKivComm::ReadAll() {
  TBusy busy(*this);
  if (!busy.Ok()) return;
  TKiv::Fire(kiv_.OnBeginRead);
  Identify();
  const TReadOptions options = kiv_.GetReadOptions();
  auto going = [this] { return !kiv_.Error && !kiv_.Cancel; };
  if (going() && options.ReadZestaw1) ReadZestaw(1);
  if (going() && options.ReadZestaw2) ReadZestaw(2);
  if (going() && options.ReadEventRegister) ReadEventRegister();
  if (kiv_.Cancel) kiv_.Trace("Reading canceled");
  busy.End();
  TKiv::Fire(kiv_.OnCompleteAll);
}

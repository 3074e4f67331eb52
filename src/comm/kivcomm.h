// The device dialogues of one registration: Modbus transactions over the serial port or
// TCP, identification, register reading and writing, the events buffer and parsets, and
// the whole reading. They fill the registration's TKiv, report through its trace list
// and flags, and never raise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "commlink.h"
#include "kivbase.h"

namespace kivcomm {
// The events reading collects the device's blocks in a buffer of this size; a reading
// stores at most this much.
constexpr int kEventWorkBufferSize = 10240;
// A parset image holds 512 bytes: 256 registers.
constexpr int kMaxZestawRegisters = 256;
// The longest PDU Modbus over TCP carries (an ADU of 260 bytes less the 7-byte header).
constexpr int kMaxTcpPdu = 253;
// While a serial reply is awaited, the port is polled this often.
constexpr int kSerialPollMs = 2;
// What a serial frame may lag behind its wire time: a USB adapter hands received bytes on
// every few milliseconds (16 ms by default), and the system adds its own delay. A line
// quiet this long in the middle of a frame has lost it.
constexpr int kSerialLatencyMarginMs = 100;
// The bytes kept while a serial reply is awaited: an echo of the longest request, junk and
// the longest reply.
constexpr int kSerialScanBuffer = 1024;

// What one exchange came to. Each failure has one trace line (TraceLine), and the
// dialogues decide from the outcome, not from flags left behind.
enum class TTransactOutcome {
  Ok,               // this device answered this request's function
  NotSent,          // an empty request: Cancel is set and nothing goes out
  WrongRequest,     // a request shorter than a frame or longer than its buffer
  TooLongForTcp,    // a request PDU over the Modbus TCP limit
  IncompleteWrite,  // the port took only part of the request; the reply was read all the same
  TimeOut,          // no reply, or none the link could believe
  CrcError,
  ShortReply,  // fewer bytes than address, function code and one byte of data
  OtherAddress,
  OtherFunction,
  Exception,  // the device refused: bit 7 of the function code, the code in ExceptionCode
  // Found by the dialogue that knows what it asked for:
  WrongByteCount,
  WrongEcho,  // a write reply naming other registers than were written
};

// The line the message list shows for an outcome (empty for those that show none).
std::string TraceLine(TTransactOutcome outcome);

// What a parset write came to. Callers decide from it, never from the trace's wording.
enum class TWriteOutcome {
  Written,        // every request answered with function 16 and its own echo: ": OK"
  NotStarted,     // nothing to write (no such parset, an empty one, none in the
                  // definitions) or another dialogue runs: nothing sent
  WrongDevice,    // the device is of another type than the registration: nothing written
  NotIdentified,  // the device did not say what it is: nothing written
  Rejected,       // a request failed or was refused: the device may hold part of it
  Canceled,
};

// The device type an identification text names: its second character.
TKivType IdentifiedType(const std::string& identification);
// "KIVS-2", "KIVS-3", or "device of unknown type".
std::string DeviceTypeName(TKivType type);

struct TTransactResult {
  TTransactOutcome Outcome = TTransactOutcome::NotSent;
  int FrameEnd = 0;           // reply bytes before the CRC; 0 when no reply was taken
  uint8_t ExceptionCode = 0;  // with Outcome Exception
  bool Ok() const { return Outcome == TTransactOutcome::Ok; }
};
}  // namespace kivcomm

class TKivComm {
 public:
  // Both must outlive this object; settings is shared by every registration.
  TKivComm(TKiv& kiv, TCommSettings& settings) : kiv_(kiv), settings_(settings) {}
  TKivComm(const TKivComm&) = delete;
  TKivComm& operator=(const TKivComm&) = delete;

  // One exchange: the request in kiv.Request (RequestLength counts the CRC) goes out with
  // the slave address and CRC put in; the reply lands in kiv.Reply / ReplyLength. A
  // failure sets kiv.Error and traces its line.
  kivcomm::TTransactResult Transact();
  void Wait(int ms);

  void Identify();
  // Register numbers are 1-based. ReadRegisters returns the number of data bytes stored
  // at dest (never more than count * 2).
  int ReadRegisters(int firstRegister, uint8_t* dest, int count);
  // True when every request was answered with function 16 and no flag was set.
  bool WriteRegisters(int firstRegister, const uint8_t* source, int perRequest, int count);
  void ReadEventRegister();
  void ReadZestaw(int n);
  // Identifies the device first and writes only into one of the registration's own type.
  kivcomm::TWriteOutcome WriteZestaw(int source, int target);
  // Reads parset n of the device into dest (room bytes) without touching the
  // registration, for a check after a write. The bytes read (2 x ZNS_SIZE, at most room),
  // or -1 when a request failed, was incomplete or the dialogue could not start.
  int ReadZestawCopy(int n, uint8_t* dest, int room);
  void ReadAll();
  void CancelReading() { kiv_.Cancel = true; }

  // The outcome of the last exchange, or of the dialogue's check of its reply.
  const kivcomm::TTransactResult& LastTransact() const { return last_; }
  // Number of Wait(TimeSilence) pauses the dialogues kept since construction.
  int SilenceCount() const { return silenceCount_; }
  // Bytes the last events reading stored although it failed or was cancelled (0 when it
  // ended normally or stored nothing).
  int EventsKept() const { return eventsKept_; }

 private:
  class TBusy;
  struct TReadResult {
    int copied = 0;           // data bytes stored
    bool complete = false;    // every request answered by function 3 with all its registers
    bool shortReply = false;  // a reply held fewer registers than asked, its count and data
                              // agreeing
  };

  TReadResult ReadRegs(int firstRegister, uint8_t* dest, int count, int room, bool waitAfterLast);
  void BuildReadRequest(uint16_t protocolAddress, uint16_t count);
  // The identification exchange; false (the failure traced) when no text came.
  bool QueryIdentification(std::string& text);
  // Before a write: nothing when the device is of the registration's type, else why not.
  std::optional<kivcomm::TWriteOutcome> RefuseOtherDevice(const std::string& message);
  // Returns the reply frame's length; wholeRequestSent tells whether the port took it all.
  int SerialExchange(bool& wholeRequestSent);
  void KeepFrameGap(ISerialLink& port, double charMs);
  void TraceFrame(const char* title, const uint8_t* data, int n);
  kivcomm::TTransactResult Finish(kivcomm::TTransactOutcome outcome);
  void TraceRefusal();
  void Silence();
  bool BeginDialogue();
  void EndDialogue();

  TKiv& kiv_;
  TCommSettings& settings_;
  kivcomm::TTransactResult last_;
  int depth_ = 0;
  int silenceCount_ = 0;
  int eventsKept_ = 0;
  int64_t lastLineTick_ = -1;  // when a byte last went out or came in on the serial line
};

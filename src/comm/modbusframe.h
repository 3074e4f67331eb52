// Modbus RTU framing: the CRC-16, the lengths a reply header announces, and the hex text
// of a frame as the message list shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace modbus {

// Function codes the device dialogues use.
constexpr uint8_t kReadHoldingRegisters = 3;
constexpr uint8_t kWriteMultipleRegisters = 16;
constexpr uint8_t kExceptionBit = 0x80;
// Exception code a device sends for an address it does not hold.
constexpr uint8_t kIllegalDataAddress = 2;

// A read request carries at most 125 registers, a write request at most 123: the Modbus
// limits of functions 3 and 16 (a function-16 RTU frame of 123 registers is 255 bytes).
constexpr int kMaxRegistersPerRequest = 125;
constexpr int kMaxWriteRegisters = 123;
// The longest reply frame read into the device object's Reply buffer.
constexpr int kMaxReplyRead = 256;
// The CRC that ends every RTU frame, low byte first.
constexpr int kCrcSize = 2;

// The identification: function 3 at protocol address 0x0E78, 8 registers.
constexpr uint16_t kIdentAddress = 0x0E78;
constexpr uint16_t kIdentRegisters = 8;

// Modbus CRC-16 (start 0xFFFF, polynomial 0xA001 reflected) over n bytes.
uint16_t Crc16(const uint8_t* data, size_t n);
// Writes the CRC of the first n bytes into data[n] (low byte) and data[n + 1].
void AppendCrc(uint8_t* data, size_t n);
// True when the CRC computed over all n bytes, the received CRC included, is 0.
bool CrcValid(const uint8_t* data, size_t n);

// Length of a reply PDU (function code onward) as its first n bytes announce it: an
// exception 2 bytes, function 3 two plus its byte count, function 16 five. > 0 the length;
// 0 when more bytes are needed to tell; -1 when the function code gives no length.
int ReplyPduLength(const uint8_t* pdu, int n);
// The same for a whole RTU reply frame (address to CRC); -1 means the frame is taken as
// it arrived.
int RtuReplyLength(const uint8_t* data, int n);
// Whether a function-3 reply's byte count is whole registers, no more than were asked for
// and exactly the data bytes that arrived: anything else is a damaged or foreign reply,
// whose data would land in the wrong registers.
bool ByteCountFits(int byteCount, int registersAsked, int dataArrived);

// Where a reply frame lies in what the line delivered after a request.
enum class TRtuScanState {
  Complete,  // a whole frame with a valid CRC at Start, Length bytes long
  NeedMore,  // a frame has begun at Start; Length is what it announces (0: not known yet)
  NoFrame,   // nothing after the echo looks like the start of a reply
};
struct TRtuScan {
  TRtuScanState State = TRtuScanState::NoFrame;
  int Start = 0;
  int Length = 0;
  int Echo = 0;  // bytes at the start that are the line's echo of the request
  // Characters still expected for the frame begun at Start (at least 1 when NeedMore).
  int Missing(int n) const;
};
// Finds the reply to `request` (a whole RTU frame, CRC included) in the n bytes received.
// A copy of the request at the start is the line's echo and is skipped. The frame right
// after it is taken whatever its address and function code when its CRC holds; otherwise
// the search moves on to a later byte that, with the next one, could start a reply to this
// request (its function code, with or without the exception bit): bytes before the frame
// are skipped, bytes after it are never looked at.
TRtuScan ScanRtuReply(const uint8_t* data, int n, const uint8_t* request, int requestLength);

// The meaning of a Modbus exception code ("Server device busy"); empty for codes the
// protocol does not name.
std::string ExceptionName(int code);

// The hex text of a frame: lines of at most 16 bytes, each byte two upper-case digits
// followed by one blank.
std::vector<std::string> HexLines(const uint8_t* data, size_t n);

}  // namespace modbus

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

// A request carries at most 125 registers: the Modbus limit for function 3, and the one
// the device accepts for function 16.
constexpr int kMaxRegistersPerRequest = 125;
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

// Length of a whole RTU reply frame (address to CRC) as its first n bytes announce it:
// > 0 the length; 0 when more bytes are needed to tell; -1 when the function code gives
// no length (the frame is taken as it arrived).
int RtuReplyLength(const uint8_t* data, int n);

// The hex text of a frame: lines of at most 16 bytes, each byte two upper-case digits
// followed by one blank.
std::vector<std::string> HexLines(const uint8_t* data, size_t n);

}  // namespace modbus

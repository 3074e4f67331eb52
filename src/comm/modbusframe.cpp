#include "modbusframe.h"

namespace modbus {

uint16_t Crc16(const uint8_t* data, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      if (crc & 1u)
        crc = static_cast<uint16_t>((crc >> 1) ^ 0xA001u);
      else
        crc = static_cast<uint16_t>(crc >> 1);
    }
  }
  return crc;
}

void AppendCrc(uint8_t* data, size_t n) {
  const uint16_t crc = Crc16(data, n);
  data[n] = static_cast<uint8_t>(crc & 0xFF);
  data[n + 1] = static_cast<uint8_t>(crc >> 8);
}

bool CrcValid(const uint8_t* data, size_t n) {
  return n >= 2 && Crc16(data, n) == 0;
}

int RtuReplyLength(const uint8_t* data, int n) {
  if (n < 2) return 0;
  const uint8_t fc = data[1];
  if (fc & kExceptionBit) return 5;  // address, code, exception code, CRC
  switch (fc) {
    case kReadHoldingRegisters:
      if (n < 3) return 0;
      return 3 + data[2] + kCrcSize;
    case kWriteMultipleRegisters:
      return 8;  // address, code, start, count, CRC
    default:
      return -1;
  }
}

std::vector<std::string> HexLines(const uint8_t* data, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::vector<std::string> lines;
  for (size_t i = 0; i < n; i += 16) {
    std::string line;
    for (size_t j = i; j < n && j < i + 16; ++j) {
      line += kDigits[data[j] >> 4];
      line += kDigits[data[j] & 0x0F];
      line += ' ';
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace modbus

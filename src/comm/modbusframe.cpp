#include "modbusframe.h"

#include <algorithm>
#include <cstring>

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

int ReplyPduLength(const uint8_t* pdu, int n) {
  if (n < 1) return 0;
  const uint8_t fc = pdu[0];
  if (fc & kExceptionBit) return 2;  // code, exception code
  switch (fc) {
    case kReadHoldingRegisters:
      if (n < 2) return 0;
      return 2 + pdu[1];
    case kWriteMultipleRegisters:
      return 5;  // code, start, count
    default:
      return -1;
  }
}

int RtuReplyLength(const uint8_t* data, int n) {
  if (n < 2) return 0;
  const int pdu = ReplyPduLength(data + 1, n - 1);
  return pdu > 0 ? 1 + pdu + kCrcSize : pdu;
}

bool ByteCountFits(int byteCount, int registersAsked, int dataArrived) {
  return byteCount > 0 && byteCount % 2 == 0 && byteCount <= 2 * registersAsked &&
         byteCount == dataArrived;
}

int TRtuScan::Missing(int n) const {
  if (State != TRtuScanState::NeedMore) return 0;
  const int held = n - Start;
  // Until the header tells the length, the header's own bytes are what is expected.
  if (Length <= 0) return std::max(1, 3 - held);
  return std::max(1, Length - held);
}

TRtuScan ScanRtuReply(const uint8_t* data, int n, const uint8_t* request, int requestLength) {
  TRtuScan scan;
  if (n <= 0 || requestLength < 2) return scan;
  const int echoCompare = std::min(n, requestLength);
  const bool echoPrefix = std::memcmp(data, request, static_cast<size_t>(echoCompare)) == 0;
  if (echoPrefix && n >= requestLength) {
    scan.Echo = requestLength;
  }
  const uint8_t function = static_cast<uint8_t>(request[1] & ~kExceptionBit);
  bool pending = false;
  for (int s = scan.Echo; s < n; ++s) {
    const int held = n - s;
    if (s > scan.Echo) {
      // Resynchronising: only a byte followed by this request's function code can start
      // its reply.
      if (held < 2 || (data[s + 1] & ~kExceptionBit) != function) continue;
    }
    const int length = RtuReplyLength(data + s, held);
    if (length == 0) {
      if (!pending) scan = {TRtuScanState::NeedMore, s, 0, scan.Echo};
      pending = true;
      continue;
    }
    if (length < 0) {
      // A function code that announces no length: the frame is what arrived, if its CRC
      // says so and it fits an RTU frame (more would overrun the reply area).
      if (held <= kMaxReplyRead && CrcValid(data + s, static_cast<size_t>(held)))
        return {TRtuScanState::Complete, s, held, scan.Echo};
      continue;
    }
    // No RTU frame is longer than 256 bytes: a header announcing more starts none.
    if (length > kMaxReplyRead) continue;
    if (length <= held) {
      if (CrcValid(data + s, static_cast<size_t>(length)))
        return {TRtuScanState::Complete, s, length, scan.Echo};
      continue;
    }
    if (!pending) scan = {TRtuScanState::NeedMore, s, length, scan.Echo};
    pending = true;
  }
  // The start of the request's echo still arriving: more is expected.
  if (!pending && scan.Echo == 0 && echoPrefix && n < requestLength)
    return {TRtuScanState::NeedMore, 0, requestLength, 0};
  return scan;
}

std::string ExceptionName(int code) {
  switch (code) {
    case 1:
      return "Illegal function";
    case 2:
      return "Illegal data address";
    case 3:
      return "Illegal data value";
    case 4:
      return "Server device failure";
    case 5:
      return "Acknowledge";
    case 6:
      return "Server device busy";
    case 10:
      return "Gateway path unavailable";
    case 11:
      return "Gateway target device failed to respond";
    default:
      return {};
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

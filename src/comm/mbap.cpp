#include "mbap.h"

#include <cstring>

#include "modbusframe.h"

namespace mbap {

std::vector<uint8_t> BuildRequest(uint16_t transaction, uint8_t unit, const uint8_t* pdu,
                                  int pduLength) {
  const int length = pduLength + 1;
  std::vector<uint8_t> adu(static_cast<size_t>(kHeaderSize + pduLength));
  adu[0] = static_cast<uint8_t>(transaction >> 8);
  adu[1] = static_cast<uint8_t>(transaction & 0xFF);
  adu[2] = 0;
  adu[3] = 0;
  adu[4] = static_cast<uint8_t>(length >> 8);
  adu[5] = static_cast<uint8_t>(length & 0xFF);
  adu[6] = unit;
  if (pduLength > 0) std::memcpy(adu.data() + kHeaderSize, pdu, static_cast<size_t>(pduLength));
  return adu;
}

THeader ParseHeader(const uint8_t* h) {
  THeader header;
  header.Transaction = static_cast<uint16_t>((h[0] << 8) | h[1]);
  header.Protocol = static_cast<uint16_t>((h[2] << 8) | h[3]);
  header.Length = static_cast<uint16_t>((h[4] << 8) | h[5]);
  header.Unit = h[6];
  return header;
}

std::string HeaderFault(const THeader& header, uint16_t transaction) {
  if (header.Transaction != transaction)
    return "Reply of transaction " + std::to_string(header.Transaction) + " to request " +
           std::to_string(transaction) + ", connection dropped";
  if (header.Protocol != 0)
    return "Reply with protocol id " + std::to_string(header.Protocol) + ", connection dropped";
  if (header.Length < kMinLength || header.Length > kMaxLength)
    return "Reply with length " + std::to_string(header.Length) + ", connection dropped";
  return {};
}

std::string PduFault(const uint8_t* pdu, int n) {
  if (n < 1) return "Empty reply, connection dropped";
  // A function-3 PDU too short to carry its byte count is left to the caller, which names
  // it a reply too short.
  const int expected = modbus::ReplyPduLength(pdu, n);
  if (expected <= 0 || expected == n) return {};
  return "Reply of " + std::to_string(n) + " PDU bytes where its function " +
         std::to_string(pdu[0]) + " announces " + std::to_string(expected) + ", connection dropped";
}

}  // namespace mbap

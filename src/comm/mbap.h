// Modbus over TCP framing: the MBAP header of a request, and the checks a reply's header
// and PDU must pass before their bytes are believed. Qt-free, so the checks are tested
// without a socket.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mbap {

constexpr int kHeaderSize = 7;  // transaction id, protocol id, length, unit id
// The length field counts the unit id and the PDU: at least a function code and one byte,
// at most the 253-byte PDU.
constexpr int kMinLength = 2;
constexpr int kMaxLength = 254;

struct THeader {
  uint16_t Transaction = 0;
  uint16_t Protocol = 0;
  uint16_t Length = 0;
  uint8_t Unit = 0;
};

// The request ADU: header (protocol 0, length = PDU + 1) and the PDU.
std::vector<uint8_t> BuildRequest(uint16_t transaction, uint8_t unit, const uint8_t* pdu,
                                  int pduLength);
THeader ParseHeader(const uint8_t* header);

// Why a reply's header cannot belong to the request, as a trace line; empty when it can.
// Another unit id is not judged here: the reply is read whole and reported as an answer
// of another device.
std::string HeaderFault(const THeader& header, uint16_t transaction);
// Why a reply PDU's length does not fit its function code, as a trace line; empty when it
// fits (modbus::ReplyPduLength tells what each function announces; other function codes
// are left to the caller).
std::string PduFault(const uint8_t* pdu, int n);

}  // namespace mbap

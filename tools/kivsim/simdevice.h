// The register map of a simulated KIVS-2 / KIVS-3: identification, both parsets and the
// events buffer by block, as a Modbus PDU in, PDU out function. Qt-free, so the dialogue
// tests drive the same device as the simulator serves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TSimContent {
  std::string Identification;  // at most 16 bytes are served
  int ZnsSize = 119;           // registers per parset
  uint16_t Zns1Adres = 2177;   // 1-based register numbers, as in the definition file
  uint16_t Zns2Adres = 2433;
  uint16_t EvBufFirstReg = 4001;
  uint16_t EvBufLastReg = 4032;
  std::vector<uint8_t> Zestaw1;  // ZnsSize * 2 bytes, high byte first
  std::vector<uint8_t> Zestaw2;
  std::vector<uint8_t> Events;  // the events buffer in reply order
};

namespace simdev {
// Registers in one events block.
constexpr int kBlockRegisters = 125;
constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalDataAddress = 2;
constexpr uint8_t kIllegalDataValue = 3;
}  // namespace simdev

class TSimDevice {
 public:
  explicit TSimDevice(TSimContent content);

  // The reply PDU to one request PDU (function code onward); an exception reply is the
  // function code with bit 7 set and the exception code.
  std::vector<uint8_t> Handle(const uint8_t* pdu, size_t n);
  std::vector<uint8_t> Handle(const std::vector<uint8_t>& pdu) {
    return Handle(pdu.data(), pdu.size());
  }

  // What a request is for, for the simulator's log and failure switches.
  enum class TArea { Identification, Zestaw1, Zestaw2, EventBlock, Other };
  TArea AreaOf(const uint8_t* pdu, size_t n) const;
  // The events block a request addresses (0-based), -1 when none.
  int BlockOf(const uint8_t* pdu, size_t n) const;

  const TSimContent& Content() const { return content_; }

 private:
  std::vector<uint8_t>* ZestawAt(uint16_t protocolAddress, int count);
  std::vector<uint8_t> ReadHolding(uint16_t address, int count);
  std::vector<uint8_t> WriteMultiple(const uint8_t* pdu, size_t n);

  TSimContent content_;
};

std::vector<uint8_t> SimException(uint8_t function, uint8_t code);

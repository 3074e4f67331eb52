#include "simdevice.h"

#include <algorithm>
#include <utility>

namespace {
constexpr uint8_t kRead = 3;
constexpr uint8_t kWrite = 16;
constexpr uint16_t kIdentAddress = 0x0E78;
constexpr int kIdentRegisters = 8;
constexpr int kMaxRegisters = 125;

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
}  // namespace

std::vector<uint8_t> SimException(uint8_t function, uint8_t code) {
  return {static_cast<uint8_t>(function | 0x80), code};
}

TSimDevice::TSimDevice(TSimContent content) : content_(std::move(content)) {
  const size_t bytes = static_cast<size_t>(std::max(0, content_.ZnsSize)) * 2;
  content_.Zestaw1.resize(bytes, 0);
  content_.Zestaw2.resize(bytes, 0);
}

int TSimDevice::BlockOf(const uint8_t* pdu, size_t n) const {
  if (n < 5 || pdu[0] != kRead) return -1;
  const int reg = U16(pdu + 1) + 1;
  if (reg < content_.EvBufFirstReg || reg > content_.EvBufLastReg) return -1;
  return reg - content_.EvBufFirstReg;
}

TSimDevice::TArea TSimDevice::AreaOf(const uint8_t* pdu, size_t n) const {
  if (n < 5) return TArea::Other;
  const uint16_t address = U16(pdu + 1);
  if (pdu[0] == kRead && address == kIdentAddress) return TArea::Identification;
  if (BlockOf(pdu, n) >= 0) return TArea::EventBlock;
  const int reg = address + 1;
  if (reg >= content_.Zns1Adres && reg < content_.Zns1Adres + content_.ZnsSize)
    return TArea::Zestaw1;
  if (reg >= content_.Zns2Adres && reg < content_.Zns2Adres + content_.ZnsSize)
    return TArea::Zestaw2;
  return TArea::Other;
}

std::vector<uint8_t>* TSimDevice::ZestawAt(uint16_t address, int count) {
  const int reg = address + 1;
  auto inside = [&](int first) { return reg >= first && reg + count <= first + content_.ZnsSize; };
  if (inside(content_.Zns1Adres)) return &content_.Zestaw1;
  if (inside(content_.Zns2Adres)) return &content_.Zestaw2;
  return nullptr;
}

std::vector<uint8_t> TSimDevice::ReadHolding(uint16_t address, int count) {
  if (count < 1 || count > kMaxRegisters) return SimException(kRead, simdev::kIllegalDataValue);
  std::vector<uint8_t> reply{kRead, 0};
  if (address == kIdentAddress) {
    if (count > kIdentRegisters) return SimException(kRead, simdev::kIllegalDataAddress);
    std::string text = content_.Identification.substr(0, 2 * kIdentRegisters);
    text.resize(static_cast<size_t>(2 * count), '\0');
    reply.insert(reply.end(), text.begin(), text.end());
  } else if (address + 1 >= content_.EvBufFirstReg && address + 1 <= content_.EvBufLastReg) {
    // The device answers a block address with the next part of its events buffer, as
    // many registers as remain (up to the count asked), and refuses past its data.
    const size_t offset =
        static_cast<size_t>(address + 1 - content_.EvBufFirstReg) * simdev::kBlockRegisters * 2;
    if (offset >= content_.Events.size()) return SimException(kRead, simdev::kIllegalDataAddress);
    const size_t n = std::min(content_.Events.size() - offset, static_cast<size_t>(2 * count));
    reply.insert(reply.end(), content_.Events.begin() + static_cast<std::ptrdiff_t>(offset),
                 content_.Events.begin() + static_cast<std::ptrdiff_t>(offset + n));
  } else if (std::vector<uint8_t>* zestaw = ZestawAt(address, count)) {
    const auto begin =
        zestaw->begin() +
        static_cast<std::ptrdiff_t>(
            2 * (address + 1 -
                 (zestaw == &content_.Zestaw1 ? content_.Zns1Adres : content_.Zns2Adres)));
    reply.insert(reply.end(), begin, begin + 2 * count);
  } else {
    return SimException(kRead, simdev::kIllegalDataAddress);
  }
  reply[1] = static_cast<uint8_t>(reply.size() - 2);
  return reply;
}

std::vector<uint8_t> TSimDevice::WriteMultiple(const uint8_t* pdu, size_t n) {
  if (n < 6) return SimException(kWrite, simdev::kIllegalDataValue);
  const uint16_t address = U16(pdu + 1);
  const int count = U16(pdu + 3);
  const int bytes = pdu[5];
  if (count < 1 || count > kMaxRegisters || bytes != 2 * count ||
      n < static_cast<size_t>(6 + bytes))
    return SimException(kWrite, simdev::kIllegalDataValue);
  std::vector<uint8_t>* zestaw = ZestawAt(address, count);
  if (!zestaw) return SimException(kWrite, simdev::kIllegalDataAddress);
  const int first = zestaw == &content_.Zestaw1 ? content_.Zns1Adres : content_.Zns2Adres;
  std::copy(pdu + 6, pdu + 6 + bytes, zestaw->begin() + 2 * (address + 1 - first));
  return {kWrite, pdu[1], pdu[2], pdu[3], pdu[4]};
}

std::vector<uint8_t> TSimDevice::Handle(const uint8_t* pdu, size_t n) {
  if (n < 1) return SimException(0, simdev::kIllegalFunction);
  switch (pdu[0]) {
    case kRead:
      if (n < 5) return SimException(kRead, simdev::kIllegalDataValue);
      return ReadHolding(U16(pdu + 1), U16(pdu + 3));
    case kWrite:
      return WriteMultiple(pdu, n);
    default:
      return SimException(pdu[0], simdev::kIllegalFunction);
  }
}

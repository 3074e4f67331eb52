// The built-in event definition tables of the two device types: 256 records of 157 bytes,
// indexed by event code, exactly as the devices define them.
#pragma once

#include <array>
#include <cstdint>

constexpr int kEventDefSize = 157;
constexpr int kEventDefCount = 256;
constexpr int kEventDefsBytes = kEventDefSize * kEventDefCount;  // 40192

// Offsets inside one record.
constexpr int kEvDefLength = 0;
constexpr int kEvDefKind = 1;
constexpr int kEvDefName = 2;  // length byte, then up to 150 characters
constexpr int kEvDefShown = 153;
constexpr int kEvDefGroup = 154;
constexpr int kEvDefSignal = 155;
constexpr int kEvDefValue = 156;

using TEventDefTable = std::array<uint8_t, kEventDefsBytes>;

const TEventDefTable& Kivs2EventDefs();
const TEventDefTable& Kivs3EventDefs();

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

// The event codes and decoder kinds the program treats specially, the same on both device
// types. Every other code is an ordinary input/output event whose meaning lies in its
// definition record alone.
constexpr uint8_t kCodeJump = 0xF0;             // skip a count of bytes; count 127 ends the buffer
constexpr uint8_t kCodeClockTime = 0xF3;        // minute, hour, day, month, year: starts a sequence
constexpr uint8_t kCodeRestart = 0xF5;          // the device restarted; bytes 1-2 the cause
constexpr uint8_t kCodeVoltagesState = 0xF6;    // voltage range of every measured voltage
constexpr uint8_t kCodeBlockingState = 0xF7;    // blocking of the synchronic switches
constexpr uint8_t kCodeSwitchgearState = 0xFB;  // every breaker's position and the inputs
constexpr uint8_t kCodeClockTimeChange = 0xFD;  // the clock was set (KIVS-3 only)

// The count byte of a jump that marks the end of the events buffer (bytes F0 7F).
constexpr uint8_t kEndMarkerCount = 127;

// Decoder kinds (byte kEvDefKind of a definition record).
constexpr uint8_t kKindSysLogA = 2;
constexpr uint8_t kKindSysLogB = 3;
constexpr uint8_t kKindClockTime = 4;  // no delay bytes: the event's time is its sequence's base
constexpr uint8_t kKindJump = 5;       // variable length: count byte + count bytes
constexpr uint8_t kKindRestart2 = 7;
constexpr uint8_t kKindRestart3 = 8;
constexpr uint8_t kKindKivs2Voltages = 9;
constexpr uint8_t kKindKivs2Blocking = 10;
constexpr uint8_t kKindKivs2Switchgear = 11;
constexpr uint8_t kKindClockChangeA = 12;
constexpr uint8_t kKindKivs3Voltages = 14;
constexpr uint8_t kKindKivs3Blocking = 15;
constexpr uint8_t kKindKivs3Switchgear = 16;
constexpr uint8_t kKindSerialCommand = 17;
constexpr uint8_t kKindClockChangeB = 18;

using TEventDefTable = std::array<uint8_t, kEventDefsBytes>;

const TEventDefTable& Kivs2EventDefs();
const TEventDefTable& Kivs3EventDefs();

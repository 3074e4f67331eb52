// Generated registrations that look like what a device in service records: transfers
// between the supplies, their returns, operator actions, blockings and restarts, each in
// its own sequence opened by a clock-time event. They feed the device simulator, the
// benchmarks and the example registration; the same seed always gives the same bytes.
#pragma once

#include <cstdint>

#include "kivbase.h"

struct TScenarioOptions {
  // Bytes of events buffer at most, end marker included (at most the image's capacity).
  // The events reading of a device holds 10240 bytes, so a simulated device that is read
  // back whole keeps to that.
  uint32_t MaxBytes = kivimg::kEventBufferCapacity;
  // Day count of the oldest sequence's start; 0 lets the seed choose one in 2023.
  double FirstStart = 0;
  // One "Jump in buffer" record between two events, as the device leaves at the wrap of
  // its ring memory.
  bool JumpRecord = true;
  // A few events older than the oldest clock-time event, as a ring memory keeps the tail
  // of a sequence whose beginning it has overwritten.
  bool OrphanTail = true;
  // Both parsets filled (from the loaded definitions' settings where there are any).
  bool FillParsets = true;
};

struct TScenarioResult {
  int Sequences = 0;   // sequences in the buffer
  int Events = 0;      // records in the buffer, clock-time events included, end marker not
  uint32_t Bytes = 0;  // events buffer length
};

// Replaces the identification ("K2SV0104" or "K3SV0207", type from its second character),
// the device type, the events buffer (newest first, then the end marker and erased 0xFF bytes up to
// the end of its 250-byte reading block), the reading dates and, with FillParsets, both parsets of
// kiv. sequences <= 0 fills the buffer with as many sequences as fit; otherwise the newest of the
// requested ones that fit are kept. A type other than KIVS-2 or KIVS-3 leaves kiv as it was and
// returns nothing.
TScenarioResult GenerateScenario(TKiv& kiv, TKivType type, uint32_t seed, int sequences,
                                 const TScenarioOptions& options = {});

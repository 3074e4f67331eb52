// What a reading that breaks off (Cancel, a lost link, a refusal) leaves of what the
// registration held before it. A parset is taken only whole, so a broken parset reading
// leaves the previous one. A broken events reading has stored the blocks it read (the
// newest events); when the registration held a buffer before, the user chooses which of
// the two to keep. Either way the trace says what each part the reading was asked for
// holds now.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kivbase.h"

class IMessageService;

// What the registration held when the reading started.
struct TReadingSnapshot {
  TKivType Type = kivtUnknown;
  std::vector<uint8_t> Events;  // the whole events area of the image
  uint16_t EventsLength = 0;
  double EventsReadDate = 0.0;
  int Sequences = 0;  // of the events buffer, as its window listed them
  uint16_t ParsetLength[2] = {0, 0};
  double ParsetReadDate[2] = {0.0, 0.0};
  bool Modified = false;
};

TReadingSnapshot SnapshotBeforeReading(const TKiv& kiv, int sequences);

// How the reading ended.
struct TReadingEnd {
  bool Broken = false;                  // by a cancel or a failure
  bool ParsetRead[2] = {false, false};  // parset n was replaced by a whole reading
  int EventsKept = 0;                   // bytes a broken events reading stored
  int PartialSequences = 0;             // the sequences in those bytes
};

enum class TEventsSettled {
  Untouched,     // the reading did not break off in the events, or stored nothing of them
  PartialTaken,  // the partial buffer stays (there was none before, or the user chose it)
  PreviousKept,  // the previous buffer is back
};

// The user is asked only when a broken events reading stored something over a buffer of
// the same device type.
bool AsksAboutPartialEvents(const TReadingSnapshot& before, const TReadingEnd& end,
                            TKivType typeNow);
std::string PartialEventsQuestion(const TReadingSnapshot& before, const TReadingEnd& end);
// The answers of the question, in the box's order; the first is the default and the escape.
const std::vector<std::string>& PartialEventsChoices();

// Gives the previous events buffer back: its bytes, length and reading date.
void RestoreEvents(TKiv& kiv, const TReadingSnapshot& before);

// After a reading of kiv: asks (through messages) when AsksAboutPartialEvents, applies the
// answer and traces what the parsets and the events buffer the options asked for hold now.
// A reading that did not break off changes nothing here.
TEventsSettled SettleReading(TKiv& kiv, const TReadingSnapshot& before, const TReadingEnd& end,
                             IMessageService& messages);

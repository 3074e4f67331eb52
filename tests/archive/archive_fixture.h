// Histories of one simulated device for the archive's tests: a stream of sequences and
// readings of its ring memory at different moments.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "archivecore.h"
#include "eventtables.h"
#include "kivbase.h"
#include "kivdate.h"
#include "scenario.h"

namespace archtest {

// The sequences of a generated KIVS-2 history (seed chooses the device's life).
inline std::vector<TRecords> SequenceStream(uint32_t seed, int count, TKivType type = kivtKivs2) {
  TKiv kiv;
  TScenarioOptions o;
  o.OrphanTail = false;
  o.JumpRecord = false;
  o.FillParsets = false;
  GenerateScenario(kiv, type, seed, count, o);
  std::vector<TRecords> out;
  for (TArchSequence& s : ExtractSequences(kiv)) out.push_back(std::move(s.Records));
  return out;
}

// An events buffer holding the given sequences (oldest first), newest first, with the
// end marker; a few stray events in front of the oldest clock-time record when orphans.
inline std::vector<uint8_t> BufferOf(const std::vector<TRecords>& seqs, bool orphans = false) {
  std::vector<uint8_t> buf;
  for (auto s = seqs.rbegin(); s != seqs.rend(); ++s)
    for (auto r = s->rbegin(); r != s->rend(); ++r) buf.insert(buf.end(), r->begin(), r->end());
  if (orphans) {
    // Tails of an overwritten sequence: key off / on events of the KIVS-2 (3 bytes each).
    for (uint8_t code : {0x05, 0x04}) buf.insert(buf.end(), {code, 0x01, 0x10});
  }
  buf.push_back(0xF0);
  buf.push_back(0x7F);
  return buf;
}

// A registration of a KIVS-2 whose events buffer holds the sequences.
inline void MakeReading(TKiv& kiv, const std::vector<TRecords>& seqs, const std::string& station,
                        double readDate, bool orphans = false) {
  kiv.SetIdentification("K2SV0104");
  kiv.SetKivType(kiv.GetKivType());
  kiv.SetStationInfo(station);
  const std::vector<uint8_t> buf = BufferOf(seqs, orphans);
  std::fill(kiv.EventBuffer(), kiv.EventBuffer() + kivimg::kEventBufferCapacity, 0);
  std::copy(buf.begin(), buf.end(), kiv.EventBuffer());
  kiv.SetEventBufferLength(static_cast<uint16_t>(buf.size()));
  kiv.SetEventsReadDate(readDate);
}

// The copy of a sequence with its last n records not yet written (it grew later).
inline TRecords Cut(const TRecords& s, size_t n) {
  return TRecords(s.begin(), s.end() - static_cast<std::ptrdiff_t>(std::min(n, s.size() - 1)));
}

}  // namespace archtest

// The texts of an archived sequence as the registration window's views give them.
#include <algorithm>
#include <set>

#include "archivecore.h"
#include "lister.h"
#include "listersinks.h"

TSequenceTexts SequenceTexts(TKiv& kiv) {
  TEvLister lister;
  TMemorySequenceList list;
  TMemoryListing listing;
  lister.SetDevice(&kiv);
  lister.SetSequenceList(&list);
  lister.SetEventListing(&listing);
  lister.BuildSequences();
  TSequenceTexts t;
  if (lister.SequenceCount() < 1) return t;
  t.Header = lister.SequenceHeader(1);
  lister.SelectSequence(1);
  t.Listing = listing.Texts();
  return t;
}

bool SetSequenceBuffer(TKiv& kiv, const TRecords& records) {
  std::vector<uint8_t> buf;
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    buf.insert(buf.end(), it->begin(), it->end());
  buf.push_back(kCodeJump);
  buf.push_back(kEndMarkerCount);
  if (buf.size() > kivimg::kEventBufferCapacity) return false;
  std::fill(kiv.EventBuffer(), kiv.EventBuffer() + kivimg::kEventBufferCapacity, 0);
  std::copy(buf.begin(), buf.end(), kiv.EventBuffer());
  kiv.SetEventBufferLength(static_cast<uint16_t>(buf.size()));
  return true;
}

std::string ListingWords(const std::vector<std::string>& lines) {
  std::set<std::string> words;
  for (const std::string& line : lines) {
    for (const std::string& w : SplitWords(LowerAscii(line))) {
      // Times and values ("12,500", "0.9") say nothing a date or code filter would not.
      if (w.find_first_not_of("0123456789,.:-+") == std::string::npos) continue;
      words.insert(w);
    }
  }
  std::string text;
  for (const std::string& w : words) text += w + " ";
  return text;
}

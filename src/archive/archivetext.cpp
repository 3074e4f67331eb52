// The texts of an archived sequence as the registration window's views give them.
#include <algorithm>
#include <set>

#include "archivecore.h"
#include "lister.h"
#include "listersinks.h"

namespace {

class TTextSink : public ISequenceList, public IEventListing {
 public:
  std::vector<std::string> headers, lines;
  void Clear() override { lines.clear(); }
  void Append(const std::string& line) override { headers.push_back(line); }
  int Count() const override { return static_cast<int>(headers.size()); }
  void SetMultiSelect(bool) override {}
  void SetSelected(int, bool) override {}
  void RunClick(void*) override {}
  void BeginUpdate() override {}
  void EndUpdate() override {}
  void AppendLine(const std::string& line, bool) override { lines.push_back(line); }
};

}  // namespace

TSequenceTexts SequenceTexts(TKiv& kiv) {
  TEvLister lister;
  TTextSink sink;
  lister.SetDevice(&kiv);
  lister.SetSequenceList(&sink);
  lister.SetEventListing(&sink);
  lister.BuildSequences();
  TSequenceTexts t;
  if (lister.SequenceCount() < 1) return t;
  t.Header = lister.SequenceHeader(1);
  lister.SelectSequence(1);
  t.Listing = std::move(sink.lines);
  return t;
}

bool SetSequenceBuffer(TKiv& kiv, const TRecords& records) {
  std::vector<uint8_t> buf;
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    buf.insert(buf.end(), it->begin(), it->end());
  buf.push_back(0xF0);
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

// Where the event decoders put their text: the event listing and the printout each
// provide one; tools and tests collect it in memory.
#pragma once

#include <string>
#include <vector>

class ILineSink {
 public:
  virtual ~ILineSink() = default;
  // bold is true for an event's first line, false for its detail lines.
  virtual void Line(const std::string& text, bool bold) = 0;
};

// One line of a listing with its style.
struct TListedLine {
  std::string text;
  bool bold = false;
  bool operator==(const TListedLine&) const = default;
};

// The texts of lines, without their styles.
inline std::vector<std::string> LineTexts(const std::vector<TListedLine>& lines) {
  std::vector<std::string> texts;
  texts.reserve(lines.size());
  for (const TListedLine& l : lines) texts.push_back(l.text);
  return texts;
}

// A plain in-memory line sink, for tools and tests.
class TLineCollector : public ILineSink {
 public:
  std::vector<TListedLine> lines;
  void Line(const std::string& text, bool bold) override { lines.push_back({text, bold}); }
  std::vector<std::string> Texts() const { return LineTexts(lines); }
};

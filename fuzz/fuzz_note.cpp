// The note text area: any bytes read as lines without reading past the area; the lines
// written back into an area of the same size read back as the same lines, or a first part
// of them when they no longer fit; any lines written never run past the area.
#include <vector>

#include "fuzz_common.h"
#include "fuzz_input.h"
#include "kivfiles.h"
#include "textcodec.h"

namespace {

// Bytes a line takes in the area: its characters and a NUL, or CR LF when empty.
size_t Need(const std::string& line) {
  const size_t n = Utf8ToCp1250(line).size();
  return n == 0 ? 2 : n + 1;
}

bool IsPrefix(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const size_t areaSize = in.IntegerInRange<size_t>(0, 2100);
  const bool typed = in.Bool();

  std::vector<std::string> lines;
  if (typed) {
    // Lines as the file properties dialog gives them: any UTF-8 text, no line breaks.
    while (in.Remaining() > 0 && lines.size() < 200) {
      std::string line = in.String(80);
      std::string clean;
      for (char c : line)
        if (c != 0 && c != '\r' && c != '\n') clean += c;
      lines.push_back(Cp1250ToUtf8(clean));
    }
  } else {
    std::vector<uint8_t> area = in.Bytes(areaSize);
    area.resize(areaSize, 0);
    NoteToLines(area.empty() ? nullptr : area.data(), area.size(), lines);
    for (const std::string& l : lines) {
      FUZZ_CHECK(IsValidUtf8(l));
      FUZZ_CHECK(l.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    }
  }

  std::vector<uint8_t> note(areaSize, 0xEE);
  LinesToNote(lines, note.empty() ? nullptr : note.data(), note.size());
  std::vector<std::string> back;
  NoteToLines(note.empty() ? nullptr : note.data(), note.size(), back);
  FUZZ_CHECK(IsPrefix(back, lines));
  size_t total = 1;
  for (const std::string& l : lines) total += Need(l);
  if (areaSize > 0 && total <= areaSize) FUZZ_CHECK(back == lines);
  return 0;
}

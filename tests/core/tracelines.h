// Reading a trace from its end without reading past it: a test whose dialogue wrote
// fewer lines than expected then fails on a comparison instead of crashing its binary.
#pragma once

#include <string>
#include <vector>

// Line k from the end (1 is the last line), or a text naming how short the trace is.
inline std::string FromEnd(const std::vector<std::string>& lines, size_t k = 1) {
  if (k == 0 || k > lines.size())
    return "<no line " + std::to_string(k) + " from the end: the trace has " +
           std::to_string(lines.size()) + " lines>";
  return lines[lines.size() - k];
}

// The first line, or a text saying the trace is empty.
inline std::string First(const std::vector<std::string>& lines) {
  return lines.empty() ? std::string("<the trace is empty>") : lines.front();
}

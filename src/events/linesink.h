// Where the event decoders put their text: the event listing and the printout each
// provide one.
#pragma once

#include <string>

class ILineSink {
 public:
  virtual ~ILineSink() = default;
  // bold is true for an event's first line, false for its detail lines.
  virtual void Line(const std::string& text, bool bold) = 0;
};

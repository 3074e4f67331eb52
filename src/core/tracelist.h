// The list of text lines into which the device dialogues write progress, errors and
// frames; the registration window shows it as its message list.
#pragma once

#include <string>
#include <vector>

class ITraceList {
 public:
  virtual ~ITraceList() = default;
  virtual int Count() const = 0;
  virtual void Append(const std::string& line) = 0;
  virtual void DeleteFirst() = 0;
  virtual void DeleteLast() = 0;
  // Adds text at the end of the last line (a new line when the list is empty); the
  // progress dots of a parset write.
  virtual void AppendToLast(const std::string& text) = 0;
};

// A plain in-memory trace list, for tools and tests.
class TStringTraceList : public ITraceList {
 public:
  std::vector<std::string> lines;
  int Count() const override { return static_cast<int>(lines.size()); }
  void Append(const std::string& line) override { lines.push_back(line); }
  void DeleteFirst() override {
    if (!lines.empty()) lines.erase(lines.begin());
  }
  void DeleteLast() override {
    if (!lines.empty()) lines.pop_back();
  }
  void AppendToLast(const std::string& text) override {
    if (lines.empty())
      lines.push_back(text);
    else
      lines.back() += text;
  }
};

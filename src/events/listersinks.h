// The window controls the event lister fills, seen through the little the lister needs of
// them: the sequence list, the event listing and the printer. The Qt window implements
// them; tests and kivtool implement them over plain containers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "linesink.h"

// The list box of sequence header lines; its line n - 1 is sequence n.
class ISequenceList {
 public:
  virtual ~ISequenceList() = default;
  virtual void Clear() = 0;
  virtual void Append(const std::string& line) = 0;
  virtual int Count() const = 0;
  virtual void SetMultiSelect(bool on) = 0;
  // index counts from 0.
  virtual void SetSelected(int index, bool selected) = 0;
  // Runs the list's click handler as if the user had clicked, with the given sender; the
  // window's handler selects the sequences of the selected lines.
  virtual void RunClick(void* sender) = 0;
};

// The rich-text memo of the event listing. Each line keeps its own style: the widget sets
// its current text style to the wanted one before appending when they differ.
class IEventListing {
 public:
  virtual ~IEventListing() = default;
  // Lock and unlock the widget for a batch of changes (no repaint in between).
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void Clear() = 0;
  virtual void AppendLine(const std::string& line, bool bold) = 0;
};

// A print job with the printer as a text device. Begin opens the job under its title,
// End closes it (which sends the pages); a job the user aborted reports Aborted() and
// takes no more lines.
class IPrintJob {
 public:
  virtual ~IPrintJob() = default;
  virtual void Begin(const std::string& title) = 0;
  virtual bool Aborted() const = 0;
  // One text line in bold or regular; the printer's previous font style is restored after.
  virtual void PrintLine(const std::string& line, bool bold) = 0;
  virtual void End() = 0;
};

// Plain in-memory versions of the three, for tools and tests: they keep what the lister
// gives them and count the calls a window would see.

class TMemorySequenceList : public ISequenceList {
 public:
  std::vector<std::string> lines;
  bool multiSelect = false;
  std::vector<int> selected;  // indexes passed to SetSelected(index, true), in order
  void* clickedBy = nullptr;  // the sender of the last RunClick
  int clicks = 0;
  std::function<void()> onClick;  // the window's click handler, when a test needs one

  void Clear() override { lines.clear(); }
  void Append(const std::string& line) override { lines.push_back(line); }
  int Count() const override { return static_cast<int>(lines.size()); }
  void SetMultiSelect(bool on) override { multiSelect = on; }
  void SetSelected(int index, bool on) override {
    if (on) selected.push_back(index);
  }
  void RunClick(void* sender) override {
    clickedBy = sender;
    ++clicks;
    if (onClick) onClick();
  }
};

class TMemoryListing : public IEventListing {
 public:
  std::vector<TListedLine> lines;
  int locks = 0;   // BeginUpdate calls
  int clears = 0;  // Clear calls
  bool locked = false;

  void BeginUpdate() override {
    ++locks;
    locked = true;
  }
  void EndUpdate() override { locked = false; }
  void Clear() override {
    ++clears;
    lines.clear();
  }
  void AppendLine(const std::string& line, bool bold) override { lines.push_back({line, bold}); }
  std::vector<std::string> Texts() const { return LineTexts(lines); }
};

class TMemoryPrintJob : public IPrintJob {
 public:
  std::string title;
  std::vector<TListedLine> lines;
  int abortAfter = -1;  // Aborted() once this many lines are printed; -1 never
  bool ended = false;

  void Begin(const std::string& t) override { title = t; }
  bool Aborted() const override {
    return abortAfter >= 0 && static_cast<int>(lines.size()) >= abortAfter;
  }
  void PrintLine(const std::string& line, bool bold) override { lines.push_back({line, bold}); }
  void End() override { ended = true; }
};

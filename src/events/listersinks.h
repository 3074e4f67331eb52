// The window controls the event lister fills, seen through the little the lister needs of
// them: the sequence list, the event listing and the printer. The Qt window implements
// them; tests and kivtool implement them over plain containers.
#pragma once

#include <string>

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

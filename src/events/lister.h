// TEvLister: turns the events buffer of a registration into numbered, dated sequences of
// timed events, lists the selected sequence's events through the decoders, builds its
// route into the graph and fills the sequence list, the hexadecimal buffer display, the
// legend and the printout.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decoders.h"
#include "linesink.h"
#include "listersinks.h"
#include "matrix.h"

class TKiv;
class TGraphModel;

// Every event the lister stores in its sequence rows carries its time after the record: a
// day count as a little-endian double of this many bytes.
constexpr int kEventTimeSize = 8;

// Sorts row r of the events matrix ascending by the events' times, giving exactly the order
// of TKivMatrix::SortRow (equal times included) at a fraction of its cost; times and order
// are working storage.
void SortRowByTime(TKivMatrix& m, uint16_t r, std::vector<double>& times,
                   std::vector<uint16_t>& order);

// Start kinds of a sequence.
constexpr uint8_t kStartNone = 0;
constexpr uint8_t kStartNormal = 1;
constexpr uint8_t kStartRestart = 2;
constexpr uint8_t kStartNoRecord = 3;

// Where and why the last walk of the events buffer stopped. The walk cuts the buffer into
// records from its start; whatever lies after the stop is not part of any sequence.
enum class TWalkStop : uint8_t {
  NoBuffer,         // no device, no event definitions or an empty buffer: nothing walked
  BufferEnd,        // the records fill the buffer up to its length exactly
  EndMarker,        // a jump with the end marker's count (F0 7F)
  JumpPastEnd,      // a jump whose skipped bytes reach beyond the buffer's length
  TruncatedRecord,  // a record, or a jump's count byte, lies partly beyond the length
  UndefinedCode,    // a code without a definition in the device's table
};

struct TWalkEnd {
  TWalkStop Reason = TWalkStop::NoBuffer;
  int Offset = 0;   // where the record it stopped at begins; Length for BufferEnd
  int Length = 0;   // the buffer's length the walk used
  int Records = 0;  // records cut (jumps are not records)
};

// "end marker", "truncated record", ...: the reason in words, for tools and logs.
const char* WalkStopText(TWalkStop reason);

// A record of the events buffer: where it begins and its bytes (its definition's length).
struct TBufferRecord {
  int Offset = 0;
  int Length = 0;
};

// The one walk of an events buffer, shared by the lister and the archive so that both
// cut the same records: from the start, jump records skipped, ending at the first of the
// buffer's length (capped at its capacity), the end marker, a jump past the length, a
// truncated record or an undefined code. Nothing after the stop is read: a ring's stale
// contents behind the end marker belong to no sequence.
struct TBufferWalk {
  TWalkEnd End;
  // The undefined code the walk stopped at, when a record or jump came before it; -1 else.
  int32_t FirstUndefinedCode = -1;
  std::vector<TBufferRecord> Records;  // buffer order: newest first
};
// defs: the device type's event definition table (kEventDefsBytes bytes).
TBufferWalk WalkEventBuffer(const uint8_t* buffer, size_t length, const uint8_t* defs);

// The walk's sequences, oldest first, each in the order the device wrote it: its
// clock-time record, then its events. Records older than the oldest clock-time record
// have lost their start and belong to none.
std::vector<std::vector<TBufferRecord>> CutSequences(const uint8_t* buffer,
                                                     const std::vector<TBufferRecord>& records);

struct TSequenceRecord {
  uint8_t StartKind = kStartNoRecord;
  double Start = 0.0;  // day count of the earliest event
  double End = 0.0;    // day count of the latest event (before a closing switchgear state)
};

// One event of a sequence that the listing shows, with what its decoder needs.
struct TShownEvent {
  const uint8_t* Record = nullptr;  // its code first; valid during the visit only
  int Length = 0;                   // the record's bytes, without the time
  int DefLength = 0;                // the length its definition gives
  uint8_t Kind = 0;                 // its decoder kind
  double Time = 0.0;                // the stored day count
  std::string Prefix;               // relative time + " [s] - ": the event line's start
};
using TShownEventVisitor = std::function<void(const TShownEvent&, const TDecodeContext&)>;

class TEvLister {
 public:
  TEvLister();
  ~TEvLister();
  TEvLister(const TEvLister&) = delete;
  TEvLister& operator=(const TEvLister&) = delete;

  // Plain assignments made by the window when it creates the lister; none is owned.
  void SetDevice(TKiv* kiv) { kiv_ = kiv; }
  void SetEventListing(IEventListing* listing) { listing_ = listing; }
  void SetGraph(TGraphModel* graph) { graph_ = graph; }
  void SetSequenceList(ISequenceList* list) { sequenceList_ = list; }
  TKiv* Device() const { return kiv_; }

  // Rebuilds the sequences from the device's buffer and fills the sequence list.
  void BuildSequences();
  // Selects sequence n (0 = none), rebuilds the listing and the route.
  void SelectSequence(uint16_t n);
  // The selected sequence's events through their decoders into sink: bold first lines,
  // regular detail lines.
  void ForEachEvent(ILineSink& sink);
  // Visits the events of sequence n that the listing shows (hidden ones too with "Show all
  // events"), in listing order, with the context for each one's decoder: its EventLine is
  // the prefix and the event's name, its previous blocking state the last one met before
  // it, shown or not. The listing, the printout and the CSV export all list through this.
  void ForEachShownEvent(uint16_t n, const TShownEventVisitor& visit);
  // The first event code met in the buffer that has no definition; -1 when none.
  int32_t FirstUndefinedCode() const { return firstUndefinedCode_; }
  // Where and why the last walk of the buffer (BuildSequences, ShowHexBuffer) stopped.
  TWalkEnd WalkEnd() const { return walkEnd_; }

  // The window's decoding after a reading, after opening a file and when the time
  // correction option changes: rebuild, then select the first sequence through the
  // list's click handler (sender is passed on to it), or empty the listing and graph.
  void Refresh(void* sender);
  // Fills the event listing with the selected sequence's events.
  void ShowEvents();
  // Lists the raw records of the buffer, oldest first, and the first undefined code.
  void ShowHexBuffer();
  // The legend of the route's steps in the graph.
  void ShowLegend();
  // Prints sequence n (selecting it first): its header regular, then its events.
  void PrintSequence(uint16_t n, IPrintJob& job);

  std::string PrintTitle;

  // --- reading the result ---
  uint16_t SelectedSequence() const { return selectedSequence_; }
  // Sequences of the last build, numbered 1..SequenceCount().
  uint16_t SequenceCount() const { return sequenceCount_; }
  // The header line of sequence n as the sequence list shows it ("" outside the range).
  std::string SequenceHeader(uint16_t n) const;
  // Record n of the list (kept across builds; entries are overwritten by later builds).
  TSequenceRecord SequenceRecord(uint16_t n) const;
  TKivMatrix& EventsMatrix() { return events_; }
  TKivMatrix& RouteMatrix() { return route_; }

 private:
  // The device's buffer walked; remembers where it stopped and the first undefined code.
  TBufferWalk WalkBuffer();
  // Sequence row r is complete: header line, sort, switchgear state first, record.
  void CloseSequence(uint16_t r, double start, double end);
  void BuildRoute();
  const uint8_t* Def(uint8_t code) const;
  bool ShowAllEvents() const;
  bool SequenceInRange(uint16_t n) const { return n >= 1 && n <= sequenceCount_; }

  int32_t firstUndefinedCode_ = -1;
  TWalkEnd walkEnd_;
  ISequenceList* sequenceList_ = nullptr;
  uint16_t selectedSequence_ = 0;
  IEventListing* listing_ = nullptr;
  TGraphModel* graph_ = nullptr;
  TKivMatrix route_;
  // Working copy of the element being decoded: a record of up to 255 bytes and its time.
  std::array<uint8_t, 264> currentEvent_{};
  uint16_t currentEventSize_ = 0;
  TKiv* kiv_ = nullptr;
  TKivMatrix events_;
  std::vector<TSequenceRecord> records_;  // index n - 1 is sequence n
  std::vector<std::string> headers_;
  uint16_t sequenceCount_ = 0;
  std::vector<double> sortTimes_;
  std::vector<uint16_t> sortOrder_;
};

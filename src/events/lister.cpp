#include "lister.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "decoders.h"
#include "eventtables.h"
#include "evtext.h"
#include "kivbase.h"
#include "kivdate.h"
#include "route.h"

namespace {

constexpr double kMsPerDay = 86400000.0;

std::string Hex2(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02X", v);
  return buf;
}

// Every byte of a record as two hexadecimal digits and a blank.
std::string RawLine(const uint8_t* rec, int len) {
  std::string line;
  line.reserve(static_cast<size_t>(len) * 3);
  for (int i = 0; i < len; ++i) line += Hex2(rec[i]) + " ";
  return line;
}

// Base time of a clock-time record (code, minute, hour, day, month, year). A record whose
// fields are no date or time still starts its sequence, at day 0.
double ClockTimeBase(const uint8_t* rec) {
  const int minute = rec[1];
  const int hour = rec[2];
  const int day = rec[3];
  const int month = rec[4];
  const int year = rec[5] < 99 ? 2000 + rec[5] : 1900 + rec[5];
  double days = 0;
  if (!TryEncodeDate(year, month, day, days) || hour > 23 || minute > 59) return 0.0;
  return days + (hour * 3600000.0 + minute * 60000.0) / kMsPerDay;
}

uint16_t Delay(const uint8_t* rec, int len) {
  return len >= 3 ? static_cast<uint16_t>((rec[1] << 8) | rec[2]) : 0;
}

std::string ThreeDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d", v);
  return buf;
}

// The listing's sink: the widget keeps each line's style.
class TListingSink : public ILineSink {
 public:
  explicit TListingSink(IEventListing& listing) : listing_(listing) {}
  void Line(const std::string& text, bool bold) override { listing_.AppendLine(text, bold); }

 private:
  IEventListing& listing_;
};

// The printout's sink: an aborted job takes no more lines.
class TPrintSink : public ILineSink {
 public:
  explicit TPrintSink(IPrintJob& job) : job_(job) {}
  void Line(const std::string& text, bool bold) override {
    if (!job_.Aborted()) job_.PrintLine(text, bold);
  }

 private:
  IPrintJob& job_;
};

}  // namespace

void SortRowByTime(TKivMatrix& m, uint16_t r, std::vector<double>& times,
                   std::vector<uint16_t>& order) {
  const uint16_t n = m.RowLength(r);
  if (n < 2) return;
  times.resize(n);
  order.resize(n);
  for (uint16_t j = 0; j < n; ++j) {
    const uint8_t* e = m.ElementPtr(r, static_cast<uint16_t>(j + 1));
    const uint16_t size = m.ElementSize(r, static_cast<uint16_t>(j + 1));
    times[j] =
        e != nullptr && size >= kEventTimeSize ? GetDoubleLE(e + size - kEventTimeSize) : 0.0;
    order[j] = j;
  }
  // The matrix's Shell sort step for step (halving gaps, each pass repeated until nothing
  // moves, an exchange when the earlier time exceeds the later), so equal times end in
  // the same order as there.
  for (uint32_t gap = n / 2u; gap > 0; gap /= 2) {
    bool exchanged = true;
    while (exchanged) {
      exchanged = false;
      for (uint32_t i = 0; i + gap < n; ++i) {
        if (times[i] - times[i + gap] > 0) {
          std::swap(times[i], times[i + gap]);
          std::swap(order[i], order[i + gap]);
          exchanged = true;
        }
      }
    }
  }
  // Move the elements into that order: position p receives original element order[p].
  // at[p] is the original element now at p, where[k] the position of original k.
  std::vector<uint16_t> at(n), where(n);
  for (uint16_t j = 0; j < n; ++j) at[j] = where[j] = j;
  for (uint16_t p = 0; p < n; ++p) {
    const uint16_t k = order[p];
    const uint16_t j = where[k];
    if (j == p) continue;
    m.SwapElements(r, static_cast<uint16_t>(p + 1), r, static_cast<uint16_t>(j + 1));
    const uint16_t displaced = at[p];
    at[p] = k;
    at[j] = displaced;
    where[k] = p;
    where[displaced] = j;
  }
}

TEvLister::TEvLister() = default;
TEvLister::~TEvLister() = default;

const uint8_t* TEvLister::Def(uint8_t code) const {
  return kiv_->EventDefs.data() + code * kEventDefSize;
}

bool TEvLister::ShowAllEvents() const {
  return kiv_ != nullptr && kiv_->GetReadOptions().ShowAllEvents != 0;
}

std::string TEvLister::SequenceHeader(uint16_t n) const {
  return n >= 1 && n <= headers_.size() ? headers_[n - 1] : std::string();
}

TSequenceRecord TEvLister::SequenceRecord(uint16_t n) const {
  return n >= 1 && n <= records_.size() ? records_[n - 1] : TSequenceRecord{};
}

const char* WalkStopText(TWalkStop reason) {
  // In the order of TWalkStop.
  static constexpr const char* kTexts[] = {"no buffer",        "buffer end",
                                           "end marker",       "jump past the end",
                                           "truncated record", "undefined code"};
  const auto i = static_cast<size_t>(reason);
  return i < std::size(kTexts) ? kTexts[i] : "";
}

TBufferWalk WalkEventBuffer(const uint8_t* buffer, size_t length, const uint8_t* defs) {
  TBufferWalk walk;
  const int count = static_cast<int>(std::min<size_t>(length, kivimg::kEventBufferCapacity));
  if (buffer == nullptr || defs == nullptr || count <= 0) return walk;

  walk.End = TWalkEnd{TWalkStop::BufferEnd, count, count, 0};
  const auto stop = [&walk](TWalkStop reason, int at) {
    walk.End.Reason = reason;
    walk.End.Offset = at;
  };
  int p = 0;
  while (p < count) {
    const uint8_t* def = defs + buffer[p] * kEventDefSize;
    if (def[kEvDefLength] == 0) {
      stop(TWalkStop::UndefinedCode, p);
      // A buffer that begins with an undefined code holds nothing worth naming.
      if (p > 0) walk.FirstUndefinedCode = buffer[p];
      break;
    }
    if (def[kEvDefKind] == kKindJump) {
      // A jump whose count byte lies past the end ends the walk like a truncated record.
      if (p + 1 >= count) {
        stop(TWalkStop::TruncatedRecord, p);
        break;
      }
      const uint8_t n = buffer[p + 1];
      if (n == kEndMarkerCount) {
        stop(TWalkStop::EndMarker, p);
        break;
      }
      if (p + n + 2 > count) {
        stop(TWalkStop::JumpPastEnd, p);
        break;
      }
      p += n + 2;
      continue;
    }
    const int len = def[kEvDefLength];
    if (p + len > count) {
      stop(TWalkStop::TruncatedRecord, p);
      break;
    }
    walk.Records.push_back(TBufferRecord{p, len});
    p += len;
  }
  walk.End.Records = static_cast<int>(walk.Records.size());
  return walk;
}

std::vector<std::vector<TBufferRecord>> CutSequences(const uint8_t* buffer,
                                                     const std::vector<TBufferRecord>& records) {
  std::vector<std::vector<TBufferRecord>> sequences;
  // Chronological order is backward through the buffer.
  for (size_t i = records.size(); i-- > 0;) {
    if (buffer[records[i].Offset] == kCodeClockTime) {
      sequences.emplace_back();
    } else if (sequences.empty()) {
      continue;
    }
    sequences.back().push_back(records[i]);
  }
  return sequences;
}

TBufferWalk TEvLister::WalkBuffer() {
  TBufferWalk walk;
  if (kiv_ != nullptr && kiv_->EventDefs.size() >= static_cast<size_t>(kEventDefsBytes)) {
    walk = WalkEventBuffer(kiv_->EventBuffer(), static_cast<size_t>(kiv_->EventBufferLength()),
                           kiv_->EventDefs.data());
  }
  firstUndefinedCode_ = walk.FirstUndefinedCode;
  walkEnd_ = walk.End;
  return walk;
}

void TEvLister::BuildSequences() {
  headers_.clear();
  sequenceCount_ = 0;
  if (sequenceList_ != nullptr) sequenceList_->Clear();
  events_.SetRowCount(0);
  const TBufferWalk walk = WalkBuffer();
  const uint8_t* buf = kiv_ != nullptr ? kiv_->EventBuffer() : nullptr;
  const std::vector<std::vector<TBufferRecord>> sequences = CutSequences(buf, walk.Records);
  if (sequences.empty()) return;
  const auto rows = static_cast<uint16_t>(std::min<size_t>(sequences.size(), UINT16_MAX));
  // Every sequence has its row, even one without events.
  if (events_.RowCapacity < rows) events_.SetCapacity(rows);
  events_.SetRowCount(rows);

  const bool correct = kiv_->GetReadOptions().CorrectIOTimes != 0;
  for (uint16_t row = 1; row <= rows; ++row) {
    const std::vector<TBufferRecord>& records = sequences[row - 1];
    // The clock-time record dates the sequence and each event follows the one before it.
    const double clock = ClockTimeBase(buf + records.front().Offset);
    double base = clock, start = 0, end = 0;
    uint16_t col = 0;
    for (size_t i = 1; i < records.size(); ++i) {
      const auto size = static_cast<uint16_t>(records[i].Length);
      std::memcpy(currentEvent_.data(), buf + records[i].Offset, size);
      const uint8_t* rec = currentEvent_.data();
      const uint8_t* def = Def(rec[0]);
      const int d = def[kEvDefKind] == kKindClockTime ? 0 : Delay(rec, size);
      const double t = base + d * 0.001 / 86400 * 2.5;
      base = t;
      double stored = t;
      if (correct) stored = t + kiv_->Defs.Correction(def[kEvDefGroup]) * 0.001 / 86400;
      PutDoubleLE(currentEvent_.data() + size, stored);
      currentEventSize_ = static_cast<uint16_t>(size + kEventTimeSize);
      events_.SetElement(currentEvent_.data(), row, ++col, currentEventSize_);
      if (start == 0 || stored < start) start = stored;
      if (stored > end) end = stored;
    }
    // A sequence without events is dated by its clock-time event.
    if (col == 0) start = end = clock;
    CloseSequence(row, start, end);
  }
}

void TEvLister::CloseSequence(uint16_t r, double start, double end) {
  const uint8_t* first = events_.ElementPtr(r, 1);
  const uint8_t* second = events_.ElementPtr(r, 2);
  const uint8_t c1 = first != nullptr ? first[0] : 0;
  const uint8_t c2 = second != nullptr ? second[0] : 0;
  uint8_t kind = kStartNone;
  if (c1 == kCodeRestart && c2 == kCodeSwitchgearState) {
    kind = kStartRestart;
  } else if (c1 == kCodeSwitchgearState) {
    kind = kStartNormal;
  }

  TDateParts date;
  TTimeParts time;
  DecodeDateTime(start, date, time);
  std::string header = "Sequence no." + std::to_string(r) + " ";
  if (kind == kStartNormal) header += "(Normal) ";
  if (kind == kStartRestart) header += "(Restart) ";
  header +=
      "Date: " + DateToStr(start) + " hour: " + TimeToStr(start) + ":" + ThreeDigits(time.msec);
  headers_.push_back(header);
  if (sequenceList_ != nullptr) sequenceList_->Append(header);

  // Events of a sequence arrive in time order unless a time correction moved one; a row
  // already in order is what the sort would leave, so only a disordered one is sorted.
  const uint16_t n = events_.RowLength(r);
  bool ordered = true;
  for (uint16_t j = 2; j <= n && ordered; ++j) {
    ordered = CompareTrailingDouble(events_.ElementPtr(r, j - 1), events_.ElementSize(r, j - 1),
                                    events_.ElementPtr(r, j), events_.ElementSize(r, j)) <= 0;
  }
  if (!ordered) SortRowByTime(events_, r, sortTimes_, sortOrder_);

  for (uint16_t j = 1; j <= n; ++j) {
    const uint8_t* e = events_.ElementPtr(r, j);
    if (e != nullptr && e[0] == kCodeSwitchgearState) {
      events_.SwapElements(r, 1, r, j);
      break;
    }
  }
  const uint8_t* last = events_.ElementPtr(r, n);
  if (n >= 2 && last != nullptr && last[0] == kCodeSwitchgearState) {
    end = events_.ElementDouble(r, static_cast<uint16_t>(n - 1));
  }

  if (records_.size() < r) records_.resize(r);
  records_[r - 1] = TSequenceRecord{kind, start, end};
  sequenceCount_ = r;
}

void TEvLister::SelectSequence(uint16_t n) {
  selectedSequence_ = n;
  ShowEvents();
  BuildRoute();
}

void TEvLister::ForEachEvent(ILineSink& sink) {
  if (!SequenceInRange(selectedSequence_)) return;
  const bool showAll = ShowAllEvents();
  ForEachShownEvent(selectedSequence_, [&](const TShownEvent& ev, const TDecodeContext& ctx) {
    if (showAll) sink.Line(RawLine(ev.Record, std::min(ev.DefLength, ev.Length)), false);
    DecodeEvent(ev.Kind, ev.Record, ev.Length, ctx, sink);
  });
}

void TEvLister::ForEachShownEvent(uint16_t row, const TShownEventVisitor& visit) {
  if (kiv_ == nullptr || !SequenceInRange(row) ||
      kiv_->EventDefs.size() < static_cast<size_t>(kEventDefsBytes))
    return;
  const uint16_t n = events_.RowLength(row);
  const double start = records_[row - 1].Start;
  const bool showAll = ShowAllEvents();

  TDecodeContext ctx;
  ctx.ColumnCount = n;
  ctx.ImplementsSysLogick = kiv_->Defs.ImplementsSysLogick;
  ctx.ShowAllEvents = showAll;
  std::array<uint8_t, 256> previousBlocking{};

  for (uint16_t j = 1; j <= n; ++j) {
    const uint16_t size = events_.ElementSize(row, j);
    const uint8_t* e = events_.ElementPtr(row, j);
    if (e == nullptr || size <= kEventTimeSize || size > currentEvent_.size()) continue;
    std::memcpy(currentEvent_.data(), e, size);
    currentEventSize_ = size;
    const uint8_t* rec = currentEvent_.data();
    const int recLen = size - kEventTimeSize;
    const uint8_t* def = Def(rec[0]);
    const int len = def[kEvDefLength];

    if (len != 0 && (def[kEvDefShown] == 1 || showAll)) {
      TShownEvent ev;
      ev.Record = rec;
      ev.Length = recLen;
      ev.DefLength = len;
      ev.Kind = def[kEvDefKind];
      ev.Time = GetDoubleLE(rec + recLen);
      ev.Prefix = FixedText(SecondsSinceStart(ev.Time, start), 3, 3) + " [s] - ";
      const int nameLen = std::min<int>(def[kEvDefName], kEvDefShown - kEvDefName - 1);
      ctx.EventLine = ev.Prefix + std::string(reinterpret_cast<const char*>(def + kEvDefName + 1),
                                              static_cast<size_t>(nameLen));
      ctx.Column = j;
      visit(ev, ctx);
    }
    // The repeat test compares with the last blocking state met, listed or not.
    if (rec[0] == kCodeBlockingState) {
      std::memcpy(previousBlocking.data(), rec, static_cast<size_t>(recLen));
      ctx.PreviousBlocking = previousBlocking.data();
      ctx.PreviousBlockingLength = recLen;
    }
  }
}

void TEvLister::Refresh(void* sender) {
  BuildSequences();
  if (kiv_ != nullptr && kiv_->EventBufferLength() > 0 && sequenceList_ != nullptr &&
      sequenceList_->Count() > 0) {
    sequenceList_->SetMultiSelect(true);
    sequenceList_->SetSelected(0, true);
    sequenceList_->RunClick(sender);
  } else {
    if (listing_ != nullptr) listing_->Clear();
    if (graph_ != nullptr) graph_->Clear();
  }
}

void TEvLister::ShowEvents() {
  if (listing_ == nullptr || !SequenceInRange(selectedSequence_)) return;
  listing_->BeginUpdate();
  listing_->Clear();
  TListingSink sink(*listing_);
  ForEachEvent(sink);
  listing_->EndUpdate();
}

void TEvLister::BuildRoute() {
  if (graph_ == nullptr || kiv_ == nullptr || !SequenceInRange(selectedSequence_)) return;
  TRouteInput in;
  in.Events = &events_;
  in.Row = selectedSequence_;
  in.Start = records_[selectedSequence_ - 1].Start;
  in.EventDefs = kiv_->EventDefs.data();
  in.Kivs3 = kiv_->GetKivType() == kivtKivs3;
  in.ImplementsSysLogick = kiv_->Defs.ImplementsSysLogick;
  in.ShowAllEvents = ShowAllEvents();
  ::BuildRoute(in, route_, *graph_);
}

void TEvLister::ShowHexBuffer() {
  if (listing_ == nullptr) return;
  const TBufferWalk walk = WalkBuffer();
  const uint8_t* buf = kiv_ != nullptr ? kiv_->EventBuffer() : nullptr;
  listing_->BeginUpdate();
  listing_->Clear();
  for (const std::vector<TBufferRecord>& sequence : CutSequences(buf, walk.Records)) {
    for (const TBufferRecord& r : sequence)
      listing_->AppendLine(RawLine(buf + r.Offset, r.Length), false);
  }
  if (firstUndefinedCode_ > 0)
    listing_->AppendLine("First undefined event code:" + Hex2(firstUndefinedCode_) + "h", false);
  listing_->EndUpdate();
}

void TEvLister::ShowLegend() {
  if (graph_ != nullptr) ::ShowLegend(*graph_);
}

void TEvLister::PrintSequence(uint16_t n, IPrintJob& job) {
  SelectSequence(n);
  job.Begin(PrintTitle);
  if (!job.Aborted()) job.PrintLine(SequenceHeader(n), false);
  TPrintSink sink(job);
  ForEachEvent(sink);
  job.End();
}

#include "readingguard.h"

#include <algorithm>

#include "kivdate.h"
#include "messages.h"

namespace {

constexpr int kKeepPrevious = 0;
constexpr int kTakePartial = 1;

std::string ReadOn(double date) {
  return date != 0.0 ? "read " + DateTimeToStr(date) : "no reading date";
}

std::string PreviousBuffer(const TReadingSnapshot& before) {
  return std::to_string(before.Sequences) + " sequences, " + ReadOn(before.EventsReadDate);
}

std::string PartialBuffer(const TReadingEnd& end) {
  return std::to_string(end.PartialSequences) + " sequences";
}

// The line for parset n (1 or 2) that a broken reading did not replace.
std::string ParsetLine(const TReadingSnapshot& before, int n) {
  const std::string name = "Parset " + std::to_string(n);
  const size_t i = static_cast<size_t>(n - 1);
  if (before.ParsetLength[i] == 0) return name + ": not read";
  return name + ": the previous one kept (" + ReadOn(before.ParsetReadDate[i]) + ")";
}

}  // namespace

TReadingSnapshot SnapshotBeforeReading(const TKiv& kiv, int sequences) {
  TReadingSnapshot s;
  s.Type = kiv.GetKivType();
  s.Events.assign(kiv.EventBuffer(), kiv.EventBuffer() + kivimg::kEventBufferCapacity);
  s.EventsLength = kiv.EventBufferLength();
  s.EventsReadDate = kiv.EventsReadDate();
  s.Sequences = sequences;
  s.ParsetLength[0] = kiv.ZestawLength(1);
  s.ParsetLength[1] = kiv.ZestawLength(2);
  s.ParsetReadDate[0] = kiv.Zestaw1ReadDate();
  s.ParsetReadDate[1] = kiv.Zestaw2ReadDate();
  s.Modified = kiv.Modified;
  return s;
}

bool AsksAboutPartialEvents(const TReadingSnapshot& before, const TReadingEnd& end,
                            TKivType typeNow) {
  // A buffer of another device type would be decoded with the wrong table: not offered.
  return end.Broken && end.EventsKept > 0 && before.EventsLength > 0 && before.Type == typeNow;
}

std::string PartialEventsQuestion(const TReadingSnapshot& before, const TReadingEnd& end) {
  return "The events reading broke off.\nKeep the previous buffer (" + PreviousBuffer(before) +
         ") or take the partial one (" + PartialBuffer(end) + ")?";
}

const std::vector<std::string>& PartialEventsChoices() {
  static const std::vector<std::string> choices = {"Keep previous", "Take partial"};
  return choices;
}

void RestoreEvents(TKiv& kiv, const TReadingSnapshot& before) {
  const size_t n = std::min<size_t>(before.Events.size(), kivimg::kEventBufferCapacity);
  std::copy(before.Events.begin(), before.Events.begin() + static_cast<std::ptrdiff_t>(n),
            kiv.EventBuffer());
  kiv.SetEventBufferLength(before.EventsLength);
  kiv.SetEventsReadDate(before.EventsReadDate);
}

TEventsSettled SettleReading(TKiv& kiv, const TReadingSnapshot& before, const TReadingEnd& end,
                             IMessageService& messages) {
  if (!end.Broken) return TEventsSettled::Untouched;
  const TReadOptions options = kiv.GetReadOptions();
  if (options.ReadZestaw1 && !end.ParsetRead[0]) kiv.Trace(ParsetLine(before, 1));
  if (options.ReadZestaw2 && !end.ParsetRead[1]) kiv.Trace(ParsetLine(before, 2));
  if (!options.ReadEventRegister) return TEventsSettled::Untouched;
  if (end.EventsKept <= 0) {
    kiv.Trace(before.EventsLength > 0
                  ? "Events buffer: the previous one kept (" + PreviousBuffer(before) + ")"
                  : std::string("Events buffer: not read"));
    return TEventsSettled::Untouched;
  }
  if (!AsksAboutPartialEvents(before, end, kiv.GetKivType())) {
    kiv.Trace("Events buffer: the partial one taken (" + PartialBuffer(end) + ")");
    return TEventsSettled::PartialTaken;
  }
  const int choice =
      messages.Choose(MsgIcon::Warning, "Reading broken off", PartialEventsQuestion(before, end),
                      PartialEventsChoices(), kKeepPrevious, kKeepPrevious);
  if (choice == kTakePartial) {
    kiv.Trace("Events buffer: the partial one taken (" + PartialBuffer(end) +
              "); the previous one (" + PreviousBuffer(before) + ") dropped");
    return TEventsSettled::PartialTaken;
  }
  RestoreEvents(kiv, before);
  // Only what the reading replaced whole still makes the registration differ from its file.
  kiv.Modified = before.Modified || end.ParsetRead[0] || end.ParsetRead[1];
  kiv.Trace("Events buffer: the previous one kept (" + PreviousBuffer(before) +
            "); the partial one (" + PartialBuffer(end) + ") dropped");
  return TEventsSettled::PreviousKept;
}

// A reading that breaks off against what the registration held before it: the dialogues
// over the fake TCP link and a simulated device, the question answered by a recording
// message service.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kivdate.h"
#include "messages.h"
#include "readingguard.h"
#include "rig.h"

namespace {

constexpr double kPreviousDate = 46000.0;  // 2025-12-09
constexpr int kPreviousLength = 1200;

// A registration that holds a complete buffer and both parsets from an earlier reading, and
// remembers which parts the next reading completes, as the window does.
struct GuardRig : Rig {
  bool parsetRead[2] = {false, false};
  bool eventsEnded = false;
  std::vector<uint8_t> previous;

  GuardRig() : Rig(true, SampleContent("12345678", 1000)) {
    kiv.SetKivType(kivtKivs2);  // what the device identifies as
    Use(SampleContent("12345678", 1000));
    for (int i = 0; i < kPreviousLength; ++i) previous.push_back(static_cast<uint8_t>(i * 3 + 1));
    std::copy(previous.begin(), previous.end(), kiv.EventBuffer());
    kiv.SetEventBufferLength(kPreviousLength);
    kiv.SetEventsReadDate(kPreviousDate);
    for (int n : {1, 2}) {
      std::fill(kiv.Zestaw(n), kiv.Zestaw(n) + 238, static_cast<uint8_t>(0x50 + n));
      kiv.SetZestawLength(n, 238);
    }
    kiv.SetZestaw1ReadDate(kPreviousDate);
    kiv.SetZestaw2ReadDate(kPreviousDate + 1);
    kiv.OnCompleteZestawNastaw1 = [this] { parsetRead[0] = true; };
    kiv.OnCompleteZestawNastaw2 = [this] { parsetRead[1] = true; };
    kiv.OnEvRegCompleted = [this] { eventsEnded = true; };
  }
  // Reads with a cancel once the trace holds a line starting with text; what the
  // registration held before.
  TReadingSnapshot ReadCancelledAt(const std::string& text, int sequencesBefore = 106) {
    const TReadingSnapshot before = SnapshotBeforeReading(kiv, sequencesBefore);
    clock.onWait = [this, text] {
      for (const std::string& l : trace.lines)
        if (l.rfind(text, 0) == 0) comm.CancelReading();
    };
    comm.ReadAll();
    return before;
  }
  TReadingEnd End(int partialSequences) const {
    TReadingEnd end;
    end.Broken = kiv.Error || kiv.Cancel;
    end.ParsetRead[0] = parsetRead[0];
    end.ParsetRead[1] = parsetRead[1];
    end.EventsKept = eventsEnded ? comm.EventsKept() : 0;
    end.PartialSequences = partialSequences;
    return end;
  }
  bool HoldsPrevious() const {
    return kiv.EventBufferLength() == kPreviousLength && kiv.EventsReadDate() == kPreviousDate &&
           std::equal(previous.begin(), previous.end(), kiv.EventBuffer());
  }
};

std::string PreviousText() {
  return "106 sequences, read " + DateTimeToStr(kPreviousDate);
}

}  // namespace

TEST(ReadingGuard, ABrokenEventsReadingAsksAndKeepsThePreviousBuffer) {
  GuardRig r;
  const TReadingSnapshot before = r.ReadCancelledAt("Event register reading: 500");
  ASSERT_TRUE(r.kiv.Cancel);
  ASSERT_EQ(r.kiv.EventBufferLength(), 500);  // the dialogue stored the partial buffer
  TRecordingMessages messages;
  messages.choices = {0};
  EXPECT_EQ(SettleReading(r.kiv, before, r.End(40), messages), TEventsSettled::PreviousKept);
  ASSERT_EQ(messages.asked.size(), 1u);
  EXPECT_EQ(messages.asked[0].text, "The events reading broke off.\nKeep the previous buffer (" +
                                        PreviousText() +
                                        ") or take the partial one (40 sequences)?");
  EXPECT_EQ(messages.asked[0].buttons, PartialEventsChoices());
  EXPECT_EQ(messages.asked[0].enterButton, "Keep previous");
  EXPECT_TRUE(r.HoldsPrevious());
  // Both parsets were read whole before the cancel: they stay, and so does the mark.
  EXPECT_TRUE(r.kiv.Modified);
  EXPECT_EQ(r.kiv.Zestaw1()[0], r.device->Content().Zestaw1[0]);
  EXPECT_EQ(r.trace.lines.back(), "Events buffer: the previous one kept (" + PreviousText() +
                                      "); the partial one (40 sequences) dropped");
}

TEST(ReadingGuard, ThePartialBufferIsTakenWhenChosen) {
  GuardRig r;
  const TReadingSnapshot before = r.ReadCancelledAt("Event register reading: 250");
  TRecordingMessages messages;
  messages.choices = {1};
  EXPECT_EQ(SettleReading(r.kiv, before, r.End(40), messages), TEventsSettled::PartialTaken);
  ASSERT_EQ(messages.asked.size(), 1u);
  EXPECT_EQ(r.kiv.EventBufferLength(), 250);
  EXPECT_TRUE(std::equal(r.device->Content().Events.begin(),
                         r.device->Content().Events.begin() + 250, r.kiv.EventBuffer()));
  EXPECT_EQ(r.kiv.EventsReadDate(), TodayDays());
  EXPECT_EQ(r.trace.lines.back(),
            "Events buffer: the partial one taken (40 sequences); the "
            "previous one (" +
                PreviousText() + ") dropped");
}

TEST(ReadingGuard, EscapeOrAServiceThatCannotAskKeepsThePrevious) {
  GuardRig r;
  r.kiv.Modified = false;
  r.kiv.SetReadOptions([] {
    TReadOptions o;
    o.ReadZestaw1 = o.ReadZestaw2 = 0;
    return o;
  }());
  const TReadingSnapshot before = r.ReadCancelledAt("Event register reading: 250");
  TRecordingMessages messages;  // no answer queued: the escape
  EXPECT_EQ(SettleReading(r.kiv, before, r.End(20), messages), TEventsSettled::PreviousKept);
  EXPECT_TRUE(r.HoldsPrevious());
  // Nothing else was read: the registration is as unmodified as before.
  EXPECT_FALSE(r.kiv.Modified);
}

TEST(ReadingGuard, ABrokenParsetReadingKeepsThePreviousAndSaysSo) {
  GuardRig r;
  const TReadingSnapshot before = r.ReadCancelledAt("Read parset 2");
  ASSERT_TRUE(r.kiv.Cancel);
  TRecordingMessages messages;
  EXPECT_EQ(SettleReading(r.kiv, before, r.End(0), messages), TEventsSettled::Untouched);
  EXPECT_TRUE(messages.asked.empty());
  EXPECT_EQ(r.kiv.Zestaw2()[0], 0x52);
  EXPECT_TRUE(r.HoldsPrevious());
  ASSERT_GE(r.trace.lines.size(), 2u);
  EXPECT_EQ(r.trace.lines.end()[-2],
            "Parset 2: the previous one kept (read " + DateTimeToStr(kPreviousDate + 1) + ")");
  EXPECT_EQ(r.trace.lines.back(), "Events buffer: the previous one kept (" + PreviousText() + ")");
}

TEST(ReadingGuard, NothingIsAskedWithoutAPreviousBufferOrABreak) {
  {
    // No buffer before: the partial one is all there is.
    GuardRig r;
    r.kiv.SetEventBufferLength(0);
    const TReadingSnapshot before = r.ReadCancelledAt("Event register reading: 250", 0);
    TRecordingMessages messages;
    EXPECT_EQ(SettleReading(r.kiv, before, r.End(12), messages), TEventsSettled::PartialTaken);
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_EQ(r.kiv.EventBufferLength(), 250);
    EXPECT_EQ(r.trace.lines.back(), "Events buffer: the partial one taken (12 sequences)");
  }
  {
    // A whole reading replaces everything and adds no line.
    GuardRig r;
    const TReadingSnapshot before = SnapshotBeforeReading(r.kiv, 106);
    r.comm.ReadAll();
    ASSERT_FALSE(r.kiv.Error || r.kiv.Cancel) << r.trace.lines.back();
    const size_t lines = r.trace.lines.size();
    TRecordingMessages messages;
    EXPECT_EQ(SettleReading(r.kiv, before, r.End(9), messages), TEventsSettled::Untouched);
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_EQ(r.trace.lines.size(), lines);
    EXPECT_EQ(r.kiv.EventBufferLength(), 1000);
  }
}

TEST(ReadingGuard, WhenToAsk) {
  TReadingSnapshot before;
  before.Type = kivtKivs2;
  before.EventsLength = 100;
  TReadingEnd end;
  end.Broken = true;
  end.EventsKept = 50;
  EXPECT_TRUE(AsksAboutPartialEvents(before, end, kivtKivs2));
  // A buffer of another device type would be decoded by the wrong table.
  EXPECT_FALSE(AsksAboutPartialEvents(before, end, kivtKivs3));
  end.EventsKept = 0;
  EXPECT_FALSE(AsksAboutPartialEvents(before, end, kivtKivs2));
  end.EventsKept = 50;
  end.Broken = false;
  EXPECT_FALSE(AsksAboutPartialEvents(before, end, kivtKivs2));
  end.Broken = true;
  before.EventsLength = 0;
  EXPECT_FALSE(AsksAboutPartialEvents(before, end, kivtKivs2));
}

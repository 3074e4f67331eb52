#include <gtest/gtest.h>

#include <cstring>

#include "graphmodel.h"
#include "kivdate.h"
#include "lister.h"
#include "lister_fixture.h"

using namespace evtest;

namespace {

struct TListerSetup {
  TKiv kiv;
  TEvLister lister;
  TMemoryListing listing;
  TMemorySequenceList list;
  TGraphModel graph;
  explicit TListerSetup(TKivType type, bool correct = false, bool showAll = false) {
    SetupDevice(kiv, type, correct, showAll);
    lister.SetDevice(&kiv);
    lister.SetEventListing(&listing);
    lister.SetSequenceList(&list);
    lister.SetGraph(&graph);
  }
  void Build(const TEventBuffer& b, bool endMarker = true) {
    LoadBuffer(kiv, b.Bytes(endMarker));
    lister.BuildSequences();
  }
  std::vector<std::string> Listing(uint16_t n) {
    lister.SelectSequence(n);
    return listing.Texts();
  }
  std::vector<std::string> Hex() {
    lister.ShowHexBuffer();
    return listing.Texts();
  }
};

using Lines = std::vector<std::string>;

TEST(Lister, SplitsTimesAndLabelsSequences) {
  TListerSetup s(kivtKivs2);
  TEventBuffer b;
  b.Event(0x00, 5);  // older than every clock-time event: belongs to no sequence
  b.Clock(23, 5, 17, 10, 30).Switchgear(400).Event(0x24, 40).Event(0x00, 8);
  b.Clock(98, 1, 2, 3, 4).Event(0xF5, 0, {0x00, 0x22}).Switchgear(0);
  b.Clock(99, 12, 31, 23, 59).Event(0x04, 0);
  s.Build(b);

  EXPECT_EQ(s.list.lines, (Lines{
                              "Sequence no.1 (Normal) Date: 2023-05-17 hour: 10:30:01:000",
                              "Sequence no.2 (Restart) Date: 2098-01-02 hour: 03:04:00:000",
                              "Sequence no.3 Date: 1999-12-31 hour: 23:59:00:000",
                          }));
  ASSERT_EQ(s.lister.SequenceCount(), 3);
  ASSERT_EQ(s.list.lines.size(), 3u);
  EXPECT_EQ(s.lister.SequenceHeader(2), s.list.lines[1]);
  TKivMatrix& m = s.lister.EventsMatrix();
  EXPECT_EQ(m.RowCount, 3);
  EXPECT_EQ(m.RowLength(1), 3);
  EXPECT_EQ(m.RowLength(2), 2);
  EXPECT_EQ(m.RowLength(3), 1);
  // Stored events are the record and its time; 400 ticks of 2.5 ms are one second.
  EXPECT_EQ(m.ElementSize(1, 1), 16 + 8);
  double day = 0;
  ASSERT_TRUE(TryEncodeDate(2023, 5, 17, day));
  const double base = day + (10 * 3600000.0 + 30 * 60000.0) / 86400000.0;
  EXPECT_EQ(m.ElementDouble(1, 1), base + 400 * 0.001 / 86400 * 2.5);
  const TSequenceRecord r1 = s.lister.SequenceRecord(1);
  EXPECT_EQ(r1.StartKind, kStartNormal);
  EXPECT_EQ(r1.Start, m.ElementDouble(1, 1));
  EXPECT_EQ(r1.End, m.ElementDouble(1, 3));
  EXPECT_EQ(s.lister.SequenceRecord(2).StartKind, kStartRestart);
  EXPECT_EQ(s.lister.SequenceRecord(3).StartKind, kStartNone);
  EXPECT_EQ(s.lister.FirstUndefinedCode(), -1);

  // A rebuild starts afresh: fewer sequences leave no old rows or headers behind.
  TEventBuffer one;
  one.Clock(23, 1, 1, 0, 0).Event(0x04, 0);
  s.Build(one);
  EXPECT_EQ(s.list.lines.size(), 1u);
  EXPECT_EQ(s.lister.SequenceCount(), 1);
  EXPECT_EQ(s.lister.EventsMatrix().RowCount, 1);

  // No clock-time event: no sequences at all.
  TEventBuffer none;
  none.Event(0x04, 0).Event(0x05, 4);
  s.Build(none);
  EXPECT_TRUE(s.list.lines.empty());
  EXPECT_EQ(s.lister.SequenceCount(), 0);
  EXPECT_EQ(s.lister.EventsMatrix().RowCount, 0);
}

TEST(Lister, CorrectionSortingSwitchgearFirstAndEndTime) {
  TEventBuffer b;
  // Relay output (group 2) 5 ms after the state, then a digital input (group 1) 5 ms later.
  b.Clock(23, 5, 17, 10, 30).Switchgear(0).Event(0x80, 2).Event(0x24, 2);
  // The state comes second in time and the sequence closes with one.
  b.Clock(23, 5, 17, 11, 0).Event(0x00, 0).Switchgear(4).Event(0x04, 400).Switchgear(400);

  TListerSetup plain(kivtKivs2, false);
  plain.Build(b);
  plain.lister.SelectSequence(1);
  Lines firstLines;
  for (const TListedLine& l : plain.listing.lines)
    if (l.bold) firstLines.push_back(l.text);
  EXPECT_EQ(firstLines,
            (Lines{"STATR STATUS SWITCHGEAR", "0,005 [s] - Turn on relay V<t st. 2 (F5-F6)",
                   "0,010 [s] - Signal CBM close (C1) turn up"}));

  TListerSetup corrected(kivtKivs2, true);
  corrected.kiv.Defs.DiCorrection = -5;
  corrected.kiv.Defs.DoCorrection = 15;
  corrected.Build(b);
  corrected.lister.SelectSequence(1);
  firstLines.clear();
  for (const TListedLine& l : corrected.listing.lines)
    if (l.bold) firstLines.push_back(l.text);
  EXPECT_EQ(firstLines,
            (Lines{"STATR STATUS SWITCHGEAR", "0,005 [s] - Signal CBM close (C1) turn up",
                   "0,020 [s] - Turn on relay V<t st. 2 (F5-F6)"}));
  // The corrected time is t + c x 0.001 / 86400 on top of the uncorrected chain.
  TKivMatrix& m = corrected.lister.EventsMatrix();
  const double t0 = m.ElementDouble(1, 1);
  const double t1 = t0 + 2 * 0.001 / 86400 * 2.5;
  const double t2 = t1 + 2 * 0.001 / 86400 * 2.5;
  EXPECT_EQ(m.ElementDouble(1, 2), t2 + -5 * 0.001 / 86400);
  EXPECT_EQ(m.ElementDouble(1, 3), t1 + 15 * 0.001 / 86400);

  // Sequence 2: labelled from its first two events before sorting (no label), the state
  // moved to the front, the end time is that of the event before the closing state.
  ASSERT_GE(plain.list.lines.size(), 2u);
  EXPECT_EQ(plain.list.lines[1], "Sequence no.2 Date: 2023-05-17 hour: 11:00:00:000");
  TKivMatrix& p = plain.lister.EventsMatrix();
  ASSERT_EQ(p.RowLength(2), 4);
  EXPECT_EQ(p.ElementByte(2, 1), 0xFB);
  EXPECT_EQ(p.ElementByte(2, 2), 0x00);
  EXPECT_EQ(p.ElementByte(2, 4), 0xFB);
  EXPECT_EQ(plain.lister.SequenceRecord(2).End, p.ElementDouble(2, 3));
  EXPECT_LT(plain.lister.SequenceRecord(2).End, p.ElementDouble(2, 4));
  const Lines l2 = plain.Listing(2);
  ASSERT_FALSE(l2.empty());
  EXPECT_EQ(l2.front(), "STATR STATUS SWITCHGEAR");
  EXPECT_NE(std::find(l2.begin(), l2.end(), "0,000 [s] - Auxiliary voltage back(A9-A10)"),
            l2.end());
  EXPECT_NE(std::find(l2.begin(), l2.end(), "END STATUS SWITCHGEAR"), l2.end());
}

TEST(Lister, InvalidClockTimeStartsSequenceAtDayZero) {
  TListerSetup s(kivtKivs2);
  TEventBuffer b;
  b.Clock(23, 13, 1, 10, 0).Event(0x04, 400);  // month 13
  b.Clock(23, 2, 30, 10, 0).Event(0x04, 400);  // 30 February
  b.Clock(23, 2, 3, 24, 0).Event(0x04, 400);   // hour 24
  b.Clock(23, 2, 3, 23, 60);                   // minute 60, and no event at all
  s.Build(b);
  EXPECT_EQ(s.list.lines, (Lines{
                              "Sequence no.1 Date: 1899-12-30 hour: 00:00:01:000",
                              "Sequence no.2 Date: 1899-12-30 hour: 00:00:01:000",
                              "Sequence no.3 Date: 1899-12-30 hour: 00:00:01:000",
                              "Sequence no.4 Date: 1899-12-30 hour: 00:00:00:000",
                          }));
  // An empty last sequence still has its row; selecting it lists nothing.
  EXPECT_EQ(s.lister.EventsMatrix().RowCount, 4);
  EXPECT_TRUE(s.Listing(4).empty());
  EXPECT_EQ(s.Listing(1), (Lines{"0,000 [s] - SA key turn on (B1-B2)"}));
}

TEST(Lister, EmptySequenceIsDatedByItsClockTime) {
  TListerSetup s(kivtKivs2);
  TEventBuffer b;
  b.Clock(24, 3, 5, 10, 7);  // a clock-time event and nothing after it
  b.Clock(24, 3, 5, 11, 0).Event(0x04, 400);
  b.Clock(24, 3, 5, 11, 2);  // the newest, empty too
  s.Build(b);
  EXPECT_EQ(s.list.lines, (Lines{
                              "Sequence no.1 Date: 2024-03-05 hour: 10:07:00:000",
                              "Sequence no.2 Date: 2024-03-05 hour: 11:00:01:000",
                              "Sequence no.3 Date: 2024-03-05 hour: 11:02:00:000",
                          }));
  double clock = 0, time = 0;
  ASSERT_TRUE(TryEncodeDate(2024, 3, 5, clock));
  ASSERT_TRUE(TryEncodeTime(10, 7, 0, 0, time));
  EXPECT_DOUBLE_EQ(s.lister.SequenceRecord(1).Start, clock + time);
  EXPECT_DOUBLE_EQ(s.lister.SequenceRecord(1).End, clock + time);
  EXPECT_TRUE(s.Listing(1).empty());
}

TEST(Lister, ListingCountsWholeHours) {
  // 25 events 150 s apart: the last one 62 minutes 30 seconds after the start.
  TListerSetup s(kivtKivs2);
  TEventBuffer b;
  b.Clock(24, 3, 5, 10, 7).Event(0x04, 0);
  for (int i = 0; i < 25; ++i) b.Event(0x04, 60000);
  s.Build(b);
  const Lines l = s.Listing(1);
  ASSERT_EQ(l.size(), 26u);
  EXPECT_EQ(l[23], "3450,000 [s] - SA key turn on (B1-B2)");
  EXPECT_EQ(l[24], "3600,000 [s] - SA key turn on (B1-B2)");
  EXPECT_EQ(l.back(), "3750,000 [s] - SA key turn on (B1-B2)");
  // The graph counts on alike.
  EXPECT_DOUBLE_EQ(s.graph.DataMaxRange(), 3750.2);
}

TEST(Lister, ListingTimesRawLinesAndRestartCause) {
  TListerSetup s(kivtKivs2, true);
  s.kiv.Defs.DiCorrection = -4;
  TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30).Event(0x50, 0).Event(0x00, 2).Event(0x1E, 4);
  for (int i = 0; i < 22; ++i) b.Event(0x50, 65535);
  b.Event(0xF5, 23030 - 6, {0x12, 0x34});
  b.Clock(23, 5, 17, 11, 30).Event(0xF5, 0, {0x00, 0x22}).Event(0xF5, 0, {0x00, 0x05});
  s.Build(b);

  Lines l = s.Listing(1);
  ASSERT_EQ(l.size(), 2u + 22u + 2u);
  EXPECT_EQ(l[0], "0,000 [s] - \"SA SYS\" Key turn on");
  EXPECT_EQ(l[1], "0,001 [s] - Auxiliary voltage back(A9-A10)");  // 5 ms - 4 ms
  // 61 minutes 2 seconds: the whole hour is counted too, as the graph and the CSV count it.
  EXPECT_EQ(l[24], "3662,000 [s] - RESTART");
  EXPECT_EQ(l[25], "  [1234]h :restart by unit inside error");
  ASSERT_EQ(s.listing.lines.size(), l.size());
  EXPECT_TRUE(s.listing.lines[24].bold);
  EXPECT_FALSE(s.listing.lines[25].bold);
  EXPECT_EQ(s.Listing(2),
            (Lines{"0,000 [s] - RESTART",
                   "  [22]h :restart by auxiliary voltage return, after short fading ",
                   "0,000 [s] - RESTART", "  [05]h :buffer with data from DSP is owerflov"}));

  // Show all events: each listed event gets its raw line first, and hidden events appear.
  TReadOptions o = s.kiv.GetReadOptions();
  o.ShowAllEvents = 1;
  s.kiv.SetReadOptions(o);
  l = s.Listing(1);
  ASSERT_GE(l.size(), 6u);
  EXPECT_EQ(l[0], "50 00 00 ");
  EXPECT_EQ(l[1], "0,000 [s] - \"SA SYS\" Key turn on");
  EXPECT_EQ(l[2], "00 00 02 ");
  EXPECT_EQ(l[4], "1E 00 04 ");
  EXPECT_EQ(l[5], "0,011 [s] - VP2 exceeded value above 22V");
  ASSERT_EQ(s.listing.lines.size(), l.size());
  EXPECT_FALSE(s.listing.lines[0].bold);
  EXPECT_TRUE(s.listing.lines[1].bold);
}

TEST(Lister, SelectionOutOfRangeKeepsViews) {
  TListerSetup s(kivtKivs2);
  TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30).Event(0x04, 0);
  s.Build(b);
  const Lines shown = s.Listing(1);
  ASSERT_EQ(shown.size(), 1u);
  const uint16_t series = s.graph.SeriesCount();
  ASSERT_GT(series, 0);
  for (uint16_t n : {0, 2, 100}) {
    s.lister.SelectSequence(n);
    EXPECT_EQ(s.listing.Texts(), shown);
    EXPECT_EQ(s.graph.SeriesCount(), series);
  }
  TLineCollector sink;
  s.lister.ForEachEvent(sink);
  EXPECT_TRUE(sink.lines.empty());
  EXPECT_EQ(s.listing.locks, 1);
}

TEST(Lister, WalkEndsCleanlyAndHexDisplay) {
  TListerSetup s(kivtKivs2);
  // KIVS-2 code 0x02 is undefined; it follows a complete record, so it is remembered.
  TEventBuffer b;
  b.Raw({0x02, 0x00, 0x00}).Event(0x00, 1).Clock(23, 5, 17, 10, 30).Event(0x04, 2);
  b.Raw({0xF0, 0x02, 0xAA, 0xBB});  // a jump skips its count's bytes
  b.Clock(23, 5, 17, 10, 31).Event(0x05, 3);
  EXPECT_EQ(s.Hex().size(), 0u);  // no buffer yet
  s.Build(b, false);
  EXPECT_EQ(s.lister.FirstUndefinedCode(), 2);
  EXPECT_EQ(s.list.lines.size(), 2u);
  EXPECT_EQ(s.Hex(), (Lines{"F3 1E 0A 11 05 17 ", "04 00 02 ", "F3 1F 0A 11 05 17 ", "05 00 03 ",
                            "First undefined event code:02h"}));
  EXPECT_EQ(s.lister.EventsMatrix().RowCount, 2);  // the display's row is gone again
  EXPECT_EQ(s.Listing(2), (Lines{"0,000 [s] - Sa key turn off (B1-B2)"}));

  // The end marker count ends the walk; what follows it is never read.
  TEventBuffer marker;
  marker.Raw({0x02}).Raw({0xF0, 0x7F}).Clock(23, 5, 17, 10, 30).Event(0x04, 2);
  s.Build(marker, false);
  EXPECT_EQ(s.lister.FirstUndefinedCode(), -1);
  EXPECT_EQ(s.Hex(), (Lines{"F3 1E 0A 11 05 17 ", "04 00 02 "}));

  // A jump whose count byte is missing at the end, and a truncated record at the end,
  // each end the walk keeping every complete event before them.
  std::vector<uint8_t> bytes = TEventBuffer().Clock(23, 5, 17, 10, 30).Event(0x04, 2).Bytes(false);
  for (std::vector<uint8_t> tail :
       {std::vector<uint8_t>{0xF0}, std::vector<uint8_t>{0xFB, 0, 0, 0}}) {
    std::vector<uint8_t> buf = bytes;
    buf.insert(buf.end(), tail.begin(), tail.end());
    LoadBuffer(s.kiv, buf);
    s.kiv.EventBuffer()[buf.size()] = 0x00;  // whatever lies beyond must not matter
    s.lister.BuildSequences();
    EXPECT_EQ(s.lister.SequenceCount(), 1);
    EXPECT_EQ(s.lister.FirstUndefinedCode(), -1);
    EXPECT_EQ(s.Listing(1), (Lines{"0,000 [s] - SA key turn on (B1-B2)"}));
  }

  // No clock-time event: no raw lines, but the undefined code is still reported; a buffer
  // whose very first code is undefined reports nothing.
  TEventBuffer noClock;
  noClock.Raw({0x02}).Event(0x04, 2);
  s.Build(noClock, false);
  EXPECT_EQ(s.Hex(), (Lines{"First undefined event code:02h"}));
  TEventBuffer undefinedFirst;
  undefinedFirst.Clock(23, 5, 17, 10, 30).Raw({0x02});
  s.Build(undefinedFirst, false);
  EXPECT_EQ(s.lister.FirstUndefinedCode(), -1);
  EXPECT_TRUE(s.Hex().empty());
  EXPECT_EQ(s.lister.SequenceCount(), 0);
}

// The shared walk gives each record's place in the buffer and cuts the sequences from
// them; nothing behind the end marker is read, however much it looks like a sequence.
TEST(Lister, OneWalkGivesRecordsAndSequences) {
  TKiv kiv;
  SetupDevice(kiv, kivtKivs2);
  const uint8_t* defs = kiv.EventDefs.data();
  // 0: SA key off (3), 3: a jump over one byte, 6: clock (6), 12: SA key on (3) older than
  // the clock, 15: the end marker, 17: a stale clock and event of the ring's last round.
  const std::vector<uint8_t> buf = {0x05, 0x00, 0x02, 0xF0, 0x01, 0xAA, 0xF3, 0x1E, 0x0A,
                                    0x11, 0x05, 0x17, 0x04, 0x00, 0x01, 0xF0, 0x7F, 0x04,
                                    0x00, 0x01, 0xF3, 0x1E, 0x0A, 0x11, 0x05, 0x16};
  const TBufferWalk walk = WalkEventBuffer(buf.data(), buf.size(), defs);
  EXPECT_EQ(walk.End.Reason, TWalkStop::EndMarker);
  EXPECT_EQ(walk.End.Offset, 15);
  EXPECT_EQ(walk.End.Length, static_cast<int>(buf.size()));
  EXPECT_EQ(walk.End.Records, 3);
  EXPECT_EQ(walk.FirstUndefinedCode, -1);
  const auto at = [](const std::vector<TBufferRecord>& rs) {
    std::vector<std::pair<int, int>> out;
    for (const TBufferRecord& r : rs) out.emplace_back(r.Offset, r.Length);
    return out;
  };
  using Places = std::vector<std::pair<int, int>>;
  EXPECT_EQ(at(walk.Records), (Places{{0, 3}, {6, 6}, {12, 3}}));
  const auto sequences = CutSequences(buf.data(), walk.Records);
  ASSERT_EQ(sequences.size(), 1u);
  EXPECT_EQ(at(sequences[0]), (Places{{6, 6}, {0, 3}}));

  // Without the marker the old round is read on: its clock starts an older sequence.
  std::vector<uint8_t> noMarker = buf;
  noMarker.erase(noMarker.begin() + 15, noMarker.begin() + 17);
  const TBufferWalk all = WalkEventBuffer(noMarker.data(), noMarker.size(), defs);
  EXPECT_EQ(all.End.Reason, TWalkStop::BufferEnd);
  const auto both = CutSequences(noMarker.data(), all.Records);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(at(both[0]), (Places{{18, 6}, {15, 3}, {12, 3}}));
  EXPECT_EQ(at(both[1]), (Places{{6, 6}, {0, 3}}));

  // Cut short: the length caps the walk, and the capacity caps the length.
  EXPECT_EQ(WalkEventBuffer(buf.data(), 11, defs).End.Reason, TWalkStop::TruncatedRecord);
  std::vector<uint8_t> full(kivimg::kEventBufferCapacity + 3, 0xF3);
  for (size_t i = 0; i + 6 <= kivimg::kEventBufferCapacity; i += 6)
    std::copy(buf.begin() + 6, buf.begin() + 12, full.begin() + static_cast<std::ptrdiff_t>(i));
  const TBufferWalk capped = WalkEventBuffer(full.data(), full.size(), defs);
  EXPECT_EQ(capped.End.Reason, TWalkStop::BufferEnd);
  EXPECT_EQ(capped.End.Length, static_cast<int>(kivimg::kEventBufferCapacity));
  EXPECT_EQ(capped.End.Records, static_cast<int>(kivimg::kEventBufferCapacity / 6));
  // An undefined code after a record is named; at the very start, or without a buffer or
  // definitions, nothing is.
  const uint8_t undefinedAfter[] = {0x05, 0x00, 0x02, 0x02, 0x00};
  EXPECT_EQ(WalkEventBuffer(undefinedAfter, sizeof undefinedAfter, defs).FirstUndefinedCode, 2);
  EXPECT_EQ(WalkEventBuffer(undefinedAfter + 3, 2, defs).FirstUndefinedCode, -1);
  EXPECT_EQ(WalkEventBuffer(nullptr, 5, defs).End.Reason, TWalkStop::NoBuffer);
  EXPECT_EQ(WalkEventBuffer(buf.data(), buf.size(), nullptr).End.Reason, TWalkStop::NoBuffer);
  EXPECT_EQ(WalkEventBuffer(buf.data(), 0, defs).End.Reason, TWalkStop::NoBuffer);
}

TEST(Lister, WalkRecordsWhereAndWhyItStopped) {
  TListerSetup s(kivtKivs2);
  EXPECT_EQ(s.lister.WalkEnd().Reason, TWalkStop::NoBuffer);
  s.lister.BuildSequences();
  EXPECT_EQ(s.lister.WalkEnd().Reason, TWalkStop::NoBuffer);

  // Newest first: SA key on (3 bytes), clock time (6 bytes); then each tail in turn.
  const std::vector<uint8_t> head =
      TEventBuffer().Clock(23, 5, 17, 10, 30).Event(0x04, 2).Bytes(false);
  ASSERT_EQ(head.size(), 9u);
  struct {
    std::vector<uint8_t> tail;
    TWalkStop reason;
    int offset;
    int records;
  } rows[] = {
      {{}, TWalkStop::BufferEnd, 9, 2},
      {{0xF0, 0x7F, 0x04, 0x00, 0x01}, TWalkStop::EndMarker, 9, 2},
      {{0xF0, 0x02, 0xAA, 0xBB, 0x04, 0x00, 0x01}, TWalkStop::BufferEnd, 16, 3},
      {{0xF0, 0x05, 0xAA}, TWalkStop::JumpPastEnd, 9, 2},
      {{0xF0}, TWalkStop::TruncatedRecord, 9, 2},
      {{0xFB, 0x00, 0x00, 0x00}, TWalkStop::TruncatedRecord, 9, 2},
      {{0x02, 0x00, 0x00}, TWalkStop::UndefinedCode, 9, 2},
  };
  for (const auto& r : rows) {
    std::vector<uint8_t> buf = head;
    buf.insert(buf.end(), r.tail.begin(), r.tail.end());
    LoadBuffer(s.kiv, buf);
    s.lister.BuildSequences();
    const TWalkEnd built = s.lister.WalkEnd();
    EXPECT_EQ(built.Reason, r.reason) << WalkStopText(r.reason);
    EXPECT_EQ(built.Offset, r.offset) << WalkStopText(r.reason);
    EXPECT_EQ(built.Records, r.records) << WalkStopText(r.reason);
    EXPECT_EQ(built.Length, static_cast<int>(buf.size()));
    // The hex display walks the same bytes to the same place; its lines are unchanged.
    const Lines hex = s.Hex();
    EXPECT_EQ(s.lister.WalkEnd().Reason, r.reason);
    EXPECT_EQ(s.lister.WalkEnd().Offset, r.offset);
    ASSERT_FALSE(hex.empty());
    EXPECT_EQ(hex.front(), "F3 1E 0A 11 05 17 ");
  }
  // A buffer that starts with a jump walks on past it in every walk, the hex display's and
  // a rebuild's included (the matrix's rows of an earlier walk once stopped them there).
  std::vector<uint8_t> jumpFirst = {0xF0, 0x01, 0xFF};
  jumpFirst.insert(jumpFirst.end(), head.begin(), head.end());
  LoadBuffer(s.kiv, jumpFirst);
  for (int pass = 0; pass < 2; ++pass) {
    s.lister.BuildSequences();
    EXPECT_EQ(s.lister.SequenceCount(), 1);
    EXPECT_EQ(s.Hex(), (Lines{"F3 1E 0A 11 05 17 ", "04 00 02 "}));
    EXPECT_EQ(s.lister.WalkEnd().Reason, TWalkStop::BufferEnd);
    EXPECT_EQ(s.lister.WalkEnd().Records, 2);
  }

  EXPECT_STREQ(WalkStopText(TWalkStop::JumpPastEnd), "jump past the end");
  EXPECT_STREQ(WalkStopText(TWalkStop::EndMarker), "end marker");

  // A device without definitions walks nothing.
  s.kiv.EventDefs.clear();
  s.lister.BuildSequences();
  EXPECT_EQ(s.lister.WalkEnd().Reason, TWalkStop::NoBuffer);
  EXPECT_EQ(s.lister.WalkEnd().Records, 0);
}

TEST(Lister, RefreshSelectsFirstSequenceOrEmptiesViews) {
  TListerSetup s(kivtKivs3);
  s.list.onClick = [&] {
    s.lister.SelectSequence(static_cast<uint16_t>(s.list.selected.at(0) + 1));
  };
  TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30).Event(0x04, 0).Clock(23, 5, 17, 10, 40).Event(0x05, 0);
  LoadBuffer(s.kiv, b.Bytes());
  int sender = 0;
  s.lister.Refresh(&sender);
  EXPECT_TRUE(s.list.multiSelect);
  EXPECT_EQ(s.list.selected, (std::vector<int>{0}));
  EXPECT_EQ(s.list.clickedBy, &sender);
  EXPECT_EQ(s.lister.SelectedSequence(), 1);
  EXPECT_EQ(s.listing.Texts(), (Lines{"0,000 [s] - SA key turn on (B1-B2)"}));
  EXPECT_GT(s.graph.SeriesCount(), 0);

  s.kiv.SetEventBufferLength(0);
  s.lister.Refresh(&sender);
  EXPECT_EQ(s.list.clicks, 1);
  EXPECT_TRUE(s.listing.lines.empty());
  EXPECT_EQ(s.graph.SeriesCount(), 0);
  EXPECT_TRUE(s.list.lines.empty());
}

TEST(Lister, PrintSequenceHeaderRegularEventsInListingOrder) {
  TListerSetup s(kivtKivs2);
  TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30).Event(0xF5, 0, {0, 1}).Event(0x04, 400);
  s.Build(b);
  s.lister.PrintTitle = "KIVS-2 events";
  TMemoryPrintJob job;
  s.lister.PrintSequence(1, job);
  EXPECT_EQ(job.title, "KIVS-2 events");
  EXPECT_TRUE(job.ended);
  EXPECT_EQ(job.lines,
            (std::vector<TListedLine>{
                {"Sequence no.1 Date: 2023-05-17 hour: 10:30:00:000", false},
                {"0,000 [s] - RESTART", true},
                {"  [01]h :restart by auxiliary voltage return, after long fading", false},
                {"1,000 [s] - SA key turn on (B1-B2)", true},
            }));
  EXPECT_EQ(s.listing.lines, std::vector<TListedLine>(job.lines.begin() + 1, job.lines.end()));

  TMemoryPrintJob aborted;
  aborted.abortAfter = 2;
  s.lister.PrintSequence(1, aborted);
  EXPECT_EQ(aborted.lines.size(), 2u);
  EXPECT_TRUE(aborted.ended);
}

}  // namespace

namespace {

TEST(Lister, SortByTimeGivesTheMatrixShellSortOrder) {
  // Many equal times and a nearly sorted run, as time corrections leave a sequence: the
  // order of equal elements must be exactly the matrix's.
  uint32_t seed = 11;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  for (int trial = 0; trial < 40; ++trial) {
    TKivMatrix a, b;
    const int n = 2 + static_cast<int>(next(trial < 20 ? 12 : 700));
    for (int j = 1; j <= n; ++j) {
      uint8_t e[10] = {static_cast<uint8_t>(j), static_cast<uint8_t>(j >> 8)};
      const double t = trial % 2 ? j + static_cast<double>(next(5)) - 2 : next(4);
      PutDoubleLE(e + 2, t);
      a.SetElement(e, 1, static_cast<uint16_t>(j), 10);
      b.SetElement(e, 1, static_cast<uint16_t>(j), 10);
    }
    a.SortRow(1);
    std::vector<double> times;
    std::vector<uint16_t> order;
    SortRowByTime(b, 1, times, order);
    for (uint16_t j = 1; j <= n; ++j) {
      ASSERT_EQ(std::memcmp(a.ElementPtr(1, j), b.ElementPtr(1, j), 10), 0)
          << "trial " << trial << " column " << j;
    }
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>

#include "../events/lister_fixture.h"
#include "archive_fixture.h"
#include "archivecore.h"
#include "lister.h"
#include "listersinks.h"

using namespace archtest;

namespace {

std::vector<std::string> ListingOf(TKiv& kiv, uint16_t n) {
  TEvLister lister;
  TMemoryListing out;
  lister.SetDevice(&kiv);
  lister.SetEventListing(&out);
  lister.BuildSequences();
  lister.SelectSequence(n);
  return out.Texts();
}

}  // namespace

// The archive cuts a buffer exactly as the event lister does: the same sequences, the same
// start kinds and start times (without corrections), the same events; and the registration
// rebuilt from one sequence lists it line for line as the whole reading did.
TEST(ArchiveCore, SequencesAsTheListerSeesThem) {
  for (TKivType type : {kivtKivs2, kivtKivs3}) {
    TKiv kiv;
    GenerateScenario(kiv, type, 7, 0);  // with a jump record and an orphan tail
    TReadOptions o = kiv.GetReadOptions();
    o.CorrectIOTimes = 0;
    kiv.SetReadOptions(o);
    const std::vector<TArchSequence> seqs = ExtractSequences(kiv);
    TEvLister lister;
    lister.SetDevice(&kiv);
    lister.BuildSequences();
    ASSERT_GT(seqs.size(), 20u);
    ASSERT_EQ(seqs.size(), lister.SequenceCount());
    for (const TArchSequence& s : seqs) {
      const TSequenceRecord r = lister.SequenceRecord(s.Number);
      EXPECT_EQ(s.StartKind, r.StartKind) << s.Number;
      EXPECT_NEAR(UsToDays(s.StartUs), r.Start, 1e-9) << s.Number;
      EXPECT_EQ(s.Events.size(), lister.EventsMatrix().RowLength(s.Number)) << s.Number;
      ASSERT_FALSE(s.Records.empty()) << s.Number;
      ASSERT_FALSE(s.Records.front().empty()) << s.Number;
      EXPECT_EQ(s.Records.front()[0], 0xF3);
    }
    // Rebuilt: the reading's options (corrections on) and its listing of each sequence.
    o.CorrectIOTimes = 1;
    kiv.SetReadOptions(o);
    const std::vector<uint8_t> reading(kiv.Image(), kiv.Image() + kiv.ImageSize());
    for (size_t i : {size_t{0}, seqs.size() / 2, seqs.size() - 1}) {
      std::vector<uint8_t> image;
      std::string error;
      ASSERT_TRUE(BuildSequenceImage(reading, seqs[i].Records, image, error)) << error;
      TKiv one;
      ASSERT_TRUE(LoadImage(one, image));
      EXPECT_EQ(one.StationInfo(), kiv.StationInfo());
      EXPECT_EQ(ExtractSequences(one).size(), 1u);
      EXPECT_EQ(ListingOf(one, 1), ListingOf(kiv, seqs[i].Number)) << i;
      const TSequenceTexts t = SequenceTexts(one);
      EXPECT_EQ(t.Listing, ListingOf(kiv, seqs[i].Number));
      EXPECT_EQ(t.Header.rfind("Sequence no.1 ", 0), 0u) << t.Header;
    }
  }
}

// The archive keeps the lister's sequences record for record however the buffer ends or a
// sequence starts: stale ring contents behind the end marker (a whole old sequence among
// them), a restart not followed by a switchgear state, a jump, a truncated last record.
TEST(ArchiveCore, CutsSequencesAsTheListerDoes) {
  evtest::TEventBuffer events;
  events.Event(0x04, 1);  // older than every clock-time record
  events.Clock(23, 5, 17, 10, 30).Switchgear(4).Event(0x05, 8);
  events.Clock(23, 5, 17, 11, 0).Event(0xF5, 0, {0x00, 0x22}).Event(0x04, 3).Switchgear(2);
  const std::vector<uint8_t> live = events.Bytes(false);
  const std::vector<uint8_t> marker = {0xF0, 0x7F};
  const std::vector<uint8_t> stale =
      evtest::TEventBuffer().Clock(22, 1, 1, 0, 0).Switchgear(0).Event(0x04, 1).Bytes(false);
  const auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const std::vector<uint8_t> restartThenState = join({evtest::TEventBuffer()
                                                          .Clock(23, 5, 17, 12, 0)
                                                          .Event(0xF5, 0, {0, 1})
                                                          .Switchgear(1)
                                                          .Bytes(false),
                                                      live, marker});
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t sequences;
    uint8_t newestKind;
  } rows[] = {
      {"end marker", join({live, marker}), 2, kStartNone},
      {"stale contents after the end marker", join({live, marker, stale}), 2, kStartNone},
      {"stale contents after a jump to the end marker",
       join({live, {0xF0, 0x01, 0xAA}, marker, stale}), 2, kStartNone},
      {"no end marker", live, 2, kStartNone},
      {"truncated last record", join({live, {0xFB, 0x00}}), 2, kStartNone},
      {"restart followed by a switchgear state", restartThenState, 3, kStartRestart},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    TKiv kiv;
    evtest::SetupDevice(kiv, kivtKivs2);
    std::fill(kiv.EventBuffer(), kiv.EventBuffer() + kivimg::kEventBufferCapacity, 0);
    evtest::LoadBuffer(kiv, r.bytes);
    const std::vector<TArchSequence> seqs = ExtractSequences(kiv);
    TEvLister lister;
    lister.SetDevice(&kiv);
    lister.BuildSequences();
    ASSERT_EQ(seqs.size(), r.sequences);
    ASSERT_EQ(lister.SequenceCount(), r.sequences);
    EXPECT_EQ(seqs.back().StartKind, r.newestKind);
    for (const TArchSequence& s : seqs) {
      const TSequenceRecord rec = lister.SequenceRecord(s.Number);
      EXPECT_EQ(s.StartKind, rec.StartKind) << s.Number;
      EXPECT_NEAR(UsToDays(s.StartUs), rec.Start, 1e-9) << s.Number;
      // The lister keeps the events without their clock-time record, each with its time
      // after it, the switchgear state moved first: compare the records as sets.
      ASSERT_FALSE(s.Records.empty());
      TRecords archived(s.Records.begin() + 1, s.Records.end());
      TRecords listed;
      TKivMatrix& m = lister.EventsMatrix();
      for (uint16_t j = 1; j <= m.RowLength(s.Number); ++j) {
        const uint8_t* e = m.ElementPtr(s.Number, j);
        const uint16_t size = m.ElementSize(s.Number, j);
        ASSERT_TRUE(e != nullptr && size > kEventTimeSize);
        listed.emplace_back(e, e + size - kEventTimeSize);
      }
      std::sort(archived.begin(), archived.end());
      std::sort(listed.begin(), listed.end());
      EXPECT_EQ(archived, listed) << s.Number;
    }
    // The restart of the second sequence is followed by an event, its state comes later.
    EXPECT_EQ(seqs[0].StartKind, kStartNormal);
    EXPECT_EQ(seqs[1].StartKind, kStartNone);
    EXPECT_EQ(seqs[1].Records.size(), 4u);
  }
}

// Jump records and stray events older than the oldest clock do not change what is kept;
// identity survives a reading in which the ring moved on.
TEST(ArchiveCore, IdentityAcrossReadings) {
  const std::vector<TRecords> stream = SequenceStream(11, 30);
  ASSERT_EQ(stream.size(), 30u);
  TKiv a, b;
  MakeReading(a, {stream.begin(), stream.begin() + 20}, "S", 45000);
  MakeReading(b, {stream.begin() + 5, stream.end()}, "S", 45001, true);
  const auto sa = ExtractSequences(a);
  const auto sb = ExtractSequences(b);
  ASSERT_EQ(sa.size(), 20u);
  ASSERT_EQ(sb.size(), 25u);
  for (size_t i = 5; i < 20; ++i) {
    const TArchSequence& x = sa[i];
    const TArchSequence& y = sb[i - 5];
    EXPECT_EQ(x.StartKind, y.StartKind);
    EXPECT_EQ(x.StartUs, y.StartUs);
    EXPECT_EQ(x.FirstRecordHex(), y.FirstRecordHex());
    EXPECT_EQ(x.Hash(), y.Hash());
    EXPECT_EQ(CompareSequences(x.Records, y.Records), TSeqMerge::Same);
  }
  EXPECT_NE(sa[0].Hash(), sa[1].Hash());
}

TEST(ArchiveCore, MergeRules) {
  const TRecords full = SequenceStream(3, 1).front();
  ASSERT_GT(full.size(), 4u);
  const TRecords shorter = Cut(full, 2);
  EXPECT_EQ(CompareSequences(full, full), TSeqMerge::Same);
  EXPECT_EQ(CompareSequences(shorter, full), TSeqMerge::Grown);
  EXPECT_EQ(CompareSequences(full, shorter), TSeqMerge::Prefix);
  TRecords other = full;
  other.back().back() ^= 0x01;
  EXPECT_EQ(CompareSequences(full, other), TSeqMerge::Conflict);
  EXPECT_EQ(CompareSequences(shorter, other), TSeqMerge::Grown);
  TRecords changedEarly = full;
  changedEarly[1].back() ^= 0x80;
  EXPECT_EQ(CompareSequences(shorter, changedEarly), TSeqMerge::Conflict);
  // A grown copy keeps the identity: same start, same first record.
  TKiv a, b;
  MakeReading(a, {shorter}, "S", 1);
  MakeReading(b, {full}, "S", 2);
  EXPECT_EQ(ExtractSequences(a)[0].StartUs, ExtractSequences(b)[0].StartUs);
  EXPECT_EQ(ExtractSequences(a)[0].FirstRecordHex(), ExtractSequences(b)[0].FirstRecordHex());
}

TEST(ArchiveCore, RecordsBlobAndHash) {
  const TRecords full = SequenceStream(5, 1).front();
  const std::vector<uint8_t> blob = SerializeRecords(full);
  TRecords back;
  ASSERT_TRUE(ParseRecords(blob.data(), blob.size(), back));
  EXPECT_EQ(back, full);
  EXPECT_FALSE(ParseRecords(blob.data(), blob.size() - 1, back));  // cut record
  const uint8_t zero[2] = {0, 1};
  EXPECT_FALSE(ParseRecords(zero, 2, back));
  EXPECT_FALSE(ParseRecords(blob.data(), 0, back));
  const std::string abc = "abc";
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(abc.data()), 3),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // two blocks
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(two.data()), two.size()),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(nullptr, 0),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(ArchiveCore, BrokenBuffersEndTheWalk) {
  const std::vector<TRecords> stream = SequenceStream(9, 3);
  std::vector<uint8_t> buf = BufferOf(stream);
  const auto& defs = Kivs2EventDefs();
  EXPECT_EQ(ExtractSequences(buf.data(), buf.size(), defs.data()).size(), 3u);
  // The buffer cut inside the oldest sequence: its clock is gone, it is no sequence.
  EXPECT_EQ(ExtractSequences(buf.data(), buf.size() - 4, defs.data()).size(), 2u);
  // No clock-time record at all.
  const uint8_t stray[] = {0x04, 0, 1, 0x05, 0, 2};
  EXPECT_TRUE(ExtractSequences(stray, sizeof stray, defs.data()).empty());
  EXPECT_TRUE(ExtractSequences(nullptr, 10, defs.data()).empty());
  // An undefined code right at the start ends the walk before anything.
  buf.insert(buf.begin(), 0x02);
  ASSERT_EQ(defs[0x02 * kEventDefSize], 0);
  EXPECT_TRUE(ExtractSequences(buf.data(), buf.size(), defs.data()).empty());
  // A sequence too long for an events buffer is refused, not cut.
  TKiv kiv;
  std::vector<uint8_t> image;
  std::string error;
  const std::vector<uint8_t> reading(kiv.Image(), kiv.Image() + kiv.ImageSize());
  TRecords huge(1, TRecord(6, 0xF3));
  for (int i = 0; i < 1000; ++i) huge.push_back(TRecord(16, 0xFB));
  EXPECT_FALSE(BuildSequenceImage(reading, huge, image, error));
  EXPECT_FALSE(BuildSequenceImage(std::vector<uint8_t>(100), stream[0], image, error));
}

TEST(ArchiveCore, Locations) {
  TArchiveLocation l;
  std::string e;
  ASSERT_TRUE(ParseArchiveLocation("/tmp/a b/archive.sqlite", l, e));
  EXPECT_FALSE(l.Postgres);
  EXPECT_EQ(l.Path, "/tmp/a b/archive.sqlite");
  ASSERT_TRUE(ParseArchiveLocation("postgresql://svc@db.example:5433/kiv", l, e)) << e;
  EXPECT_TRUE(l.Postgres);
  EXPECT_EQ(l.User, "svc");
  EXPECT_EQ(l.Host, "db.example");
  EXPECT_EQ(l.Port, 5433);
  EXPECT_EQ(l.DbName, "kiv");
  ASSERT_TRUE(ParseArchiveLocation("postgresql://svc@/kiv?host=/run/postgresql", l, e)) << e;
  EXPECT_EQ(l.Host, "/run/postgresql");
  EXPECT_EQ(l.Port, 0);
  EXPECT_EQ(l.Text(), "postgresql://svc@/kiv?host=/run/postgresql");
  ASSERT_TRUE(ParseArchiveLocation(
      "postgres://a%40b@[::1]:6000/d%20b?sslmode=require&connect_timeout=5", l, e))
      << e;
  EXPECT_EQ(l.User, "a@b");
  EXPECT_EQ(l.Host, "::1");
  EXPECT_EQ(l.Port, 6000);
  EXPECT_EQ(l.DbName, "d b");
  EXPECT_EQ(l.Options, (std::vector<std::string>{"sslmode=require", "connect_timeout=5"}));
  ASSERT_TRUE(ParseArchiveLocation("postgresql://u:secret@h/d", l, e));
  EXPECT_EQ(l.Password, "secret");
  EXPECT_EQ(l.Text().find("secret"), std::string::npos);
  EXPECT_FALSE(ParseArchiveLocation("postgresql://u@h:99999/d", l, e));
  EXPECT_FALSE(ParseArchiveLocation("postgresql://u@h/", l, e));
  EXPECT_FALSE(ParseArchiveLocation("postgresql://u@h/d?sslmode", l, e));
  EXPECT_FALSE(ParseArchiveLocation("postgresql://u@h/d?options=a;b", l, e));
  EXPECT_FALSE(ParseArchiveLocation("postgresql://u%4@h/d", l, e));
  EXPECT_FALSE(ParseArchiveLocation("", l, e));

  // The environment wins over kiv.ini, which wins over the default; no password from
  // kiv.ini.
  ASSERT_TRUE(ResolveArchiveLocation("/env.sqlite", "/ini.sqlite", "/def.sqlite", l, e));
  EXPECT_EQ(l.Path, "/env.sqlite");
  ASSERT_TRUE(ResolveArchiveLocation("", "postgresql://u@/k?host=/s", "/def.sqlite", l, e));
  EXPECT_TRUE(l.Postgres);
  ASSERT_TRUE(ResolveArchiveLocation("", "", "/def.sqlite", l, e));
  EXPECT_EQ(l.Path, "/def.sqlite");
  EXPECT_FALSE(ResolveArchiveLocation("", "postgresql://u:pw@h/d", "/def.sqlite", l, e));
  EXPECT_NE(e.find("password"), std::string::npos);
  EXPECT_FALSE(ResolveArchiveLocation("", "postgresql://u@h/d?password=pw", "/d", l, e));
  EXPECT_TRUE(ResolveArchiveLocation("postgresql://u:pw@h/d", "", "/def.sqlite", l, e));
}

TEST(ArchiveCore, FilterTexts) {
  int64_t us = 0, us2 = 0;
  ASSERT_TRUE(ParseArchiveDate("2023-05-01", false, us));
  ASSERT_TRUE(ParseArchiveDate("2023-05-01", true, us2));
  EXPECT_EQ(us2 - us, int64_t{86400} * 1000000);
  ASSERT_TRUE(ParseArchiveDate("2023-05-01 12:30", false, us2));
  EXPECT_EQ(us2 - us, int64_t{45000} * 1000000);
  EXPECT_FALSE(ParseArchiveDate("2023-02-30", false, us));
  EXPECT_FALSE(ParseArchiveDate("01.05.2023", false, us));
  EXPECT_FALSE(ParseArchiveDate("2023-05-01 25:00", false, us));
  uint8_t c = 0;
  ASSERT_TRUE(ParseEventCode("FB", c));
  EXPECT_EQ(c, 0xFB);
  ASSERT_TRUE(ParseEventCode("0x0f", c));
  EXPECT_EQ(c, 0x0F);
  ASSERT_TRUE(ParseEventCode("24h", c));
  EXPECT_EQ(c, 0x24);
  EXPECT_FALSE(ParseEventCode("1FF", c));
  EXPECT_FALSE(ParseEventCode("G1", c));
  EXPECT_FALSE(ParseEventCode("", c));
  EXPECT_EQ(SplitWords("  cbr  ON\tx "), (std::vector<std::string>{"cbr", "ON", "x"}));
  EXPECT_EQ(LowerAscii("CBR On"), "cbr on");
  TKiv kiv;
  kiv.SetIdentification("K2SV0104");
  EXPECT_EQ(DefaultDeviceName(kiv), "K2SV0104 #31");
  kiv.SetStationInfo("  Station North ");
  EXPECT_EQ(DefaultDeviceName(kiv), "Station North");
}

TEST(ArchiveCore, ListingWords) {
  EXPECT_EQ(ListingWords({"0,000 [s] - RESTART", "  [01]h :restart by auxiliary voltage",
                          "12,500 [s] - CBR ON", "  V<Vlt 0.9 -"}),
            ":restart [01]h [s] auxiliary by cbr on restart v<vlt voltage ");
  EXPECT_EQ(ListingWords({}), "");
}

// The archive over real engines: an SQLite file in a temporary folder always, and the
// PostgreSQL server that run_with_postgres.sh starts when KIVSVC_TEST_PG names it. Every
// case runs the same on both.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "../core/tempdir.h"
#include "archive_fixture.h"
#include "archivedb.h"

using namespace archtest;

namespace {

std::string Defs() {
  return std::string(KIVSVC_SOURCE_DIR) + "/defs";
}

// A raw connection beside the archive's own, for looking at and tampering with tables.
class TRaw {
 public:
  explicit TRaw(const TArchiveLocation& loc) {
    name_ = QString("raw-%1").arg(++counter_);
    QSqlDatabase db = QSqlDatabase::addDatabase(loc.Postgres ? "QPSQL" : "QSQLITE", name_);
    if (loc.Postgres) {
      db.setHostName(QString::fromStdString(loc.Host));
      if (loc.Port) db.setPort(loc.Port);
      db.setDatabaseName(QString::fromStdString(loc.DbName));
      db.setUserName(QString::fromStdString(loc.User));
    } else {
      db.setDatabaseName(QString::fromStdString(loc.Path));
    }
    ok = db.open();
  }
  ~TRaw() {
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
  }
  bool Exec(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    return q.exec(sql);
  }
  // The first column of the first row, "" when there is none.
  std::string Value(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(sql) || !q.next()) return "";
    return q.value(0).toString().toStdString();
  }
  // Every row of the archive's tables in a fixed order, as one text.
  std::string Snapshot() {
    std::string s;
    for (const char* sql :
         {"SELECT id, name, identification, station, slave FROM devices ORDER BY id",
          "SELECT id, device_id, hash, source FROM readings ORDER BY id",
          "SELECT id, device_id, start_kind, start_us, first_record, version, hash, reading_id, "
          "header FROM sequences ORDER BY id",
          "SELECT sequence_id, reading_id FROM sequence_readings ORDER BY 1, 2",
          "SELECT sequence_id, position, code, time_us, name FROM events ORDER BY 1, 2"}) {
      QSqlQuery q(QSqlDatabase::database(name_, false));
      if (!q.exec(sql)) return "query failed";
      while (q.next()) {
        for (int i = 0; i < q.record().count(); ++i) s += q.value(i).toString().toStdString() + "|";
        s += "\n";
      }
    }
    return s;
  }
  bool ok = false;

 private:
  QString name_;
  static inline int counter_ = 0;
};

enum class TEngine { Sqlite, Postgres };

class ArchiveDb : public ::testing::TestWithParam<TEngine> {
 protected:
  void SetUp() override {
    if (GetParam() == TEngine::Postgres) {
      const char* url = std::getenv("KIVSVC_TEST_PG");
      if (url == nullptr || !*url) GTEST_SKIP() << "no PostgreSQL server (KIVSVC_TEST_PG)";
      std::string e;
      ASSERT_TRUE(ParseArchiveLocation(url, loc, e)) << e;
      TRaw raw(loc);
      ASSERT_TRUE(raw.ok);
      ASSERT_TRUE(raw.Exec("SET client_min_messages TO warning"));
      ASSERT_TRUE(raw.Exec("DROP SCHEMA public CASCADE"));
      ASSERT_TRUE(raw.Exec("CREATE SCHEMA public"));
    } else {
      loc.Path = dir.File("archive.sqlite");
    }
  }

  std::unique_ptr<TArchive> Open() {
    auto a = std::make_unique<TArchive>();
    a->DefsDir = Defs();
    std::string e;
    EXPECT_TRUE(a->Open(loc, e)) << e;
    return a;
  }

  TImportResult Import(TArchive& a, const TKiv& kiv, const std::string& device = "") {
    TImportResult r;
    std::string e;
    EXPECT_TRUE(a.Import(kiv, "reading.kiv", device, r, e)) << e;
    return r;
  }

  // The records of every archived sequence of the device, by start.
  std::vector<TRecords> Stored(TArchive& a, const std::string& device) {
    TSequenceFilter f;
    f.Device = device;
    std::vector<TArchiveSequence> seqs;
    std::string e;
    EXPECT_TRUE(a.Sequences(f, seqs, e)) << e;
    std::vector<TRecords> out;
    for (const TArchiveSequence& s : seqs) {
      std::vector<uint8_t> image;
      std::string name;
      EXPECT_TRUE(a.SequenceImage(s.Id, image, name, e)) << e;
      EXPECT_EQ(name, device);
      TKiv kiv;
      kiv.DefsDir = Defs();
      EXPECT_TRUE(LoadImage(kiv, image));
      auto x = ExtractSequences(kiv);
      EXPECT_EQ(x.size(), 1u);
      if (!x.empty()) out.push_back(x[0].Records);
    }
    return out;
  }

  std::string Kivtool() const { return KIVTOOL_PATH; }
  std::string DbArg() const {
    return GetParam() == TEngine::Postgres ? std::getenv("KIVSVC_TEST_PG") : loc.Path;
  }
  // Starts kivtool archive add on the files; or, with holdMs, the tests' importer that
  // holds each import's transaction open that long before it commits (saying so on its
  // standard error, which goes to stderrFile when given). Returns the process id.
  pid_t StartAdd(const std::vector<std::string>& files, bool hold, int holdMs = 3000,
                 const std::string& stderrFile = "") {
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<std::string> args = {Kivtool(), "archive", "add", "--db",
                                       DbArg(),   "--defs",  Defs()};
      if (hold) args = {ARCHIVE_IMPORTER_PATH, DbArg(), Defs(), std::to_string(holdMs)};
      args.insert(args.end(), files.begin(), files.end());
      std::vector<char*> argv;
      for (std::string& s : args) argv.push_back(s.data());
      argv.push_back(nullptr);
      if (!freopen("/dev/null", "w", stdout)) _exit(126);
      if (!stderrFile.empty() && !freopen(stderrFile.c_str(), "w", stderr)) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }

  // The device names of the archive, in order.
  std::vector<std::string> DeviceNames(TArchive& a) {
    std::vector<TArchiveDevice> devices;
    std::string e;
    EXPECT_TRUE(a.Devices(devices, e)) << e;
    std::vector<std::string> names;
    for (const TArchiveDevice& d : devices) names.push_back(d.Name);
    return names;
  }

  TTempDir dir;
  TArchiveLocation loc;
};

// Three readings of one device: the ring moved on by a few sequences between them, the
// newest sequence of the first grew before the second, the oldest of the second lost its
// start. The archive ends with exactly the union, each sequence whole, and reports it so.
TEST_P(ArchiveDb, OverlappingReadingsGiveTheUnion) {
  const std::vector<TRecords> stream = SequenceStream(21, 36);
  ASSERT_EQ(stream.size(), 36u);
  auto a = Open();
  TKiv r1, r2, r3;
  std::vector<TRecords> first(stream.begin(), stream.begin() + 25);
  first.back() = Cut(first.back(), 3);
  MakeReading(r1, first, "North", 45000.5);
  // The second reading's oldest sequence lost its clock-time record: stray events only.
  std::vector<TRecords> second(stream.begin() + 5, stream.begin() + 33);
  second.front().erase(second.front().begin());
  MakeReading(r2, second, "North", 45001.5);
  MakeReading(r3, {stream.begin() + 10, stream.end()}, "North", 45002.5, true);

  TImportResult x = Import(*a, r1);
  EXPECT_EQ(x.Device, "North");
  EXPECT_EQ(x.New, 25);
  x = Import(*a, r2);
  EXPECT_EQ(x.New, 8);
  EXPECT_EQ(x.Grown, 1);
  EXPECT_EQ(x.Known, 18);
  x = Import(*a, r3);
  EXPECT_EQ(x.New, 3);
  EXPECT_EQ(x.Known, 23);
  EXPECT_EQ(x.Grown + x.Conflicts, 0);
  EXPECT_EQ(Stored(*a, "North"), stream);

  // An older copy imported late is a prefix of what is stored: nothing changes.
  TRaw raw(loc);
  const std::string before = raw.Snapshot();
  TKiv late;
  const std::vector<TRecords> cutNewest = {Cut(stream[24], 3)};
  MakeReading(late, cutNewest, "North", 44999.0);
  x = Import(*a, late);
  EXPECT_EQ(x.Known, 1);
  EXPECT_EQ(x.New + x.Grown + x.Conflicts, 0);
  EXPECT_EQ(Stored(*a, "North"), stream);

  // Re-importing any reading changes no row.
  const std::string withLate = raw.Snapshot();
  EXPECT_NE(before, withLate);  // the late reading itself was recorded
  for (const TKiv* k : {&r1, &r2, &r3, &late}) {
    x = Import(*a, *k);
    EXPECT_TRUE(x.ReadingKnown);
    EXPECT_EQ(x.New + x.Grown + x.Conflicts, 0);
  }
  EXPECT_EQ(raw.Snapshot(), withLate);

  // When each sequence was seen.
  std::vector<TArchiveSequence> seqs;
  std::string e;
  ASSERT_TRUE(a->Sequences({}, seqs, e)) << e;
  ASSERT_EQ(seqs.size(), 36u);
  TSequenceSeen seen;
  ASSERT_TRUE(a->Seen(seqs[12].Id, seen, e));
  EXPECT_EQ(seen.Readings, 3);
  EXPECT_DOUBLE_EQ(seen.First, 45000.5);
  EXPECT_DOUBLE_EQ(seen.Last, 45002.5);
  ASSERT_TRUE(a->Seen(seqs[24].Id, seen, e));
  EXPECT_EQ(seen.Readings, 4);
  EXPECT_DOUBLE_EQ(seen.First, 44999.0);
}

// A reading belongs to the device whose sequences it holds, whatever its name says; a
// sequence that differs from its stored namesake is kept beside it and reported.
TEST_P(ArchiveDb, OverlapDecidesTheDeviceAndConflictsAreKept) {
  const std::vector<TRecords> stream = SequenceStream(33, 12);
  auto a = Open();
  TKiv n, s;
  MakeReading(n, stream, "North", 45000);
  MakeReading(s, stream, "South", 45000);
  EXPECT_EQ(Import(*a, n).New, 12);
  TImportResult x = Import(*a, s);
  EXPECT_EQ(x.Device, "North");
  EXPECT_EQ(x.Known, 12);
  EXPECT_EQ(x.New, 0);
  EXPECT_EQ(Stored(*a, "North"), stream);
  std::vector<TArchiveDevice> devices;
  std::string e;
  ASSERT_TRUE(a->Devices(devices, e)) << e;
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].Name, "North");
  EXPECT_EQ(devices[0].Sequences, 12);
  EXPECT_EQ(devices[0].Readings, 2);

  // A name given by the user does not split the history either.
  x = Import(*a, n, "Spare unit");
  EXPECT_EQ(x.Device, "North");
  EXPECT_TRUE(x.ReadingKnown);
  EXPECT_EQ(x.New, 0);

  std::vector<TRecords> changed = stream;
  changed[4].back().back() ^= 0x01;
  TKiv c;
  MakeReading(c, changed, "North", 45001);
  x = Import(*a, c);
  EXPECT_EQ(x.Conflicts, 1);
  ASSERT_EQ(x.ConflictHeaders.size(), 1u);
  EXPECT_EQ(x.Known, 11);
  std::vector<TRecords> both = stream;
  both.insert(both.begin() + 5, changed[4]);
  EXPECT_EQ(Stored(*a, "North"), both);
  std::vector<TArchiveSequence> seqs;
  TSequenceFilter f;
  f.Device = "North";
  ASSERT_TRUE(a->Sequences(f, seqs, e));
  EXPECT_EQ(seqs[5].Version, 2);
  // Seen again, the second version is known.
  EXPECT_EQ(Import(*a, c).Known, 12);
}

// Code, date and text filters agree with a plain walk over the sequences.
TEST_P(ArchiveDb, Queries) {
  const std::vector<TRecords> stream = SequenceStream(44, 40);
  auto a = Open();
  TKiv k;
  MakeReading(k, stream, "East", 45000);
  Import(*a, k);
  std::vector<TArchiveSequence> all;
  std::string e;
  ASSERT_TRUE(a->Sequences({}, all, e)) << e;
  ASSERT_EQ(all.size(), stream.size());
  const auto extracted = ExtractSequences(k);
  const int64_t from = extracted[10].StartUs, to = extracted[30].StartUs;
  for (uint8_t code : {uint8_t{0xF5}, uint8_t{0x26}, uint8_t{0x0E}}) {
    TSequenceFilter f;
    f.Codes = {code};
    f.FromUs = from;
    f.ToUs = to;
    std::vector<TArchiveSequence> got;
    ASSERT_TRUE(a->Sequences(f, got, e)) << e;
    std::vector<int64_t> want, have;
    for (const TArchSequence& s : extracted) {
      bool has = false;
      for (const TArchEvent& ev : s.Events) has = has || ev.Code == code;
      if (has && s.StartUs >= from && s.StartUs < to) want.push_back(s.StartUs);
    }
    for (const TArchiveSequence& s : got) have.push_back(s.StartUs);
    EXPECT_EQ(have, want) << int(code);
  }
  // Event names and the listing's words, in any case; every word must be there.
  TSequenceFilter byName;
  byName.EventName = "restart";
  std::vector<TArchiveSequence> got;
  ASSERT_TRUE(a->Sequences(byName, got, e)) << e;
  size_t restarts = 0;
  for (const TArchSequence& s : extracted) restarts += s.StartKind == 2 ? 1 : 0;
  EXPECT_GE(got.size(), restarts);
  EXPECT_GT(restarts, 0u);
  TSequenceFilter words;
  words.Words = {"RESTART", "[S]"};
  ASSERT_TRUE(a->Sequences(words, got, e)) << e;
  EXPECT_GT(got.size(), 0u);
  words.Words.push_back("no-such-word-anywhere");
  ASSERT_TRUE(a->Sequences(words, got, e)) << e;
  EXPECT_TRUE(got.empty());
  TSequenceFilter pct;
  pct.Words = {"%"};
  ASSERT_TRUE(a->Sequences(pct, got, e)) << e;
  EXPECT_TRUE(got.empty());  // a literal per cent sign, no wildcard
}

// A schema version this program does not know (newer, or one no version ever wrote) is
// refused with the same clear message, and nothing in the archive changes.
TEST_P(ArchiveDb, UnknownSchemaVersionRefused) {
  {
    auto a = Open();
    TKiv k;
    MakeReading(k, SequenceStream(2, 3), "West", 45000);
    Import(*a, k);
  }
  TRaw raw(loc);
  for (int version : {99, kArchiveSchemaVersion + 1, 0, -1}) {
    SCOPED_TRACE(version);
    ASSERT_TRUE(raw.Exec(QString("UPDATE archive_schema SET version = %1").arg(version)));
    const std::string before = raw.Snapshot();
    TArchive a;
    std::string e;
    EXPECT_FALSE(a.Open(loc, e));
    EXPECT_NE(e.find("schema version " + std::to_string(version) + ","), std::string::npos) << e;
    EXPECT_NE(e.find("written by a newer kivsvc"), std::string::npos) << e;
    EXPECT_EQ(raw.Snapshot(), before);
    EXPECT_EQ(raw.Value("SELECT version FROM archive_schema"), std::to_string(version));
  }
}

// An archive of the first schema version is migrated in place: its rows stay, it gets
// the new index and version, and imports go on into the same history.
TEST_P(ArchiveDb, OlderSchemaMigratedInPlace) {
  const std::vector<TRecords> stream = SequenceStream(4, 16);
  {
    auto a = Open();
    TKiv k;
    MakeReading(k, {stream.begin(), stream.begin() + 10}, "", 45000);
    Import(*a, k);
  }
  TRaw raw(loc);
  const QString indexQuery =
      GetParam() == TEngine::Postgres
          ? "SELECT indexname FROM pg_indexes WHERE indexname = 'sequences_identity'"
          : "SELECT name FROM sqlite_master WHERE type = 'index' AND name = "
            "'sequences_identity'";
  ASSERT_EQ(raw.Value(indexQuery), "sequences_identity");
  // What the first version's program left.
  ASSERT_TRUE(raw.Exec("DROP INDEX sequences_identity"));
  ASSERT_TRUE(raw.Exec("UPDATE archive_schema SET version = 1"));
  const std::string before = raw.Snapshot();
  auto a = Open();
  EXPECT_EQ(raw.Value("SELECT version FROM archive_schema"), std::to_string(kArchiveSchemaVersion));
  EXPECT_EQ(raw.Value(indexQuery), "sequences_identity");
  EXPECT_EQ(raw.Snapshot(), before);
  TKiv later;
  MakeReading(later, {stream.begin() + 6, stream.end()}, "Typed later", 45001);
  const TImportResult x = Import(*a, later);
  EXPECT_EQ(x.Known, 4);
  EXPECT_EQ(x.New, 6);
  EXPECT_EQ(DeviceNames(*a).size(), 1u);
}

// The station text typed between two readings of one device: one history, nothing stored
// twice, also for the same reading archived again under its new text.
TEST_P(ArchiveDb, StationTextTypedLaterKeepsOneDevice) {
  const std::vector<TRecords> stream = SequenceStream(17, 30);
  ASSERT_EQ(stream.size(), 30u);
  auto a = Open();
  TKiv before, same, after;
  const std::vector<TRecords> first(stream.begin(), stream.begin() + 20);
  MakeReading(before, first, "", 45000);
  MakeReading(same, first, "Substation 7", 45000);
  MakeReading(after, {stream.begin() + 8, stream.end()}, "Substation 7", 45003);
  const std::string defaultName = DefaultDeviceName(before);
  EXPECT_EQ(defaultName.rfind("K2SV0104 #", 0), 0u) << defaultName;

  TImportResult x = Import(*a, before);
  EXPECT_EQ(x.Device, defaultName);
  EXPECT_EQ(x.New, 20);
  x = Import(*a, same);
  EXPECT_EQ(x.Device, defaultName);
  EXPECT_EQ(x.New + x.Grown + x.Conflicts, 0);
  EXPECT_EQ(x.Known, 20);
  x = Import(*a, after);
  EXPECT_EQ(x.Device, defaultName);
  EXPECT_EQ(x.New, 10);
  EXPECT_EQ(x.Known, 12);
  EXPECT_EQ(DeviceNames(*a), std::vector<std::string>{defaultName});
  EXPECT_EQ(Stored(*a, defaultName), stream);
  int64_t readings = 0, sequences = 0, events = 0;
  std::string e;
  ASSERT_TRUE(a->Counts(readings, sequences, events, e)) << e;
  EXPECT_EQ(readings, 3);
  EXPECT_EQ(sequences, 30);
}

// Two controllers with the same firmware at the default slave address share a name but no
// sequence: two devices. Later readings of each find their own history by its sequences.
TEST_P(ArchiveDb, SameDefaultNameWithoutOverlapIsTwoDevices) {
  const std::vector<TRecords> one = SequenceStream(71, 14), two = SequenceStream(72, 14);
  auto a = Open();
  TKiv r1, r2, r1later, r2later;
  MakeReading(r1, {one.begin(), one.begin() + 10}, "", 45000);
  MakeReading(r2, {two.begin(), two.begin() + 10}, "", 45000);
  MakeReading(r1later, {one.begin() + 5, one.end()}, "", 45002);
  MakeReading(r2later, {two.begin() + 5, two.end()}, "", 45002);
  const std::string name = DefaultDeviceName(r1);
  ASSERT_EQ(name, DefaultDeviceName(r2));

  TImportResult x = Import(*a, r1);
  EXPECT_EQ(x.Device, name);
  EXPECT_FALSE(x.NewNamesake);
  x = Import(*a, r2);
  EXPECT_EQ(x.Device, name + " (2)");
  EXPECT_TRUE(x.NewNamesake);
  EXPECT_EQ(x.New, 10);
  x = Import(*a, r2later);
  EXPECT_EQ(x.Device, name + " (2)");
  EXPECT_FALSE(x.NewNamesake);
  EXPECT_EQ(x.Known, 5);
  x = Import(*a, r1later);
  EXPECT_EQ(x.Device, name);
  EXPECT_EQ(x.Known, 5);
  EXPECT_EQ(DeviceNames(*a), (std::vector<std::string>{name, name + " (2)"}));
  EXPECT_EQ(Stored(*a, name), one);
  EXPECT_EQ(Stored(*a, name + " (2)"), two);

  // A reading without sequences contradicts no device: it goes to the one of its name.
  TKiv empty;
  MakeReading(empty, {}, "", 45004);
  EXPECT_EQ(Import(*a, empty).Device, name);
  EXPECT_EQ(DeviceNames(*a).size(), 2u);
}

// Names are labels: a rename keeps the history; a merge moves one device's history into
// another's, keeping the sequences both hold once (the longer copy of one that grew).
TEST_P(ArchiveDb, RenameAndMerge) {
  const std::vector<TRecords> stream = SequenceStream(81, 20);
  ASSERT_EQ(stream.size(), 20u);
  auto a = Open();
  TKiv north, south, bridge;
  MakeReading(north, {stream.begin(), stream.begin() + 10}, "North", 45000);
  MakeReading(south, {stream.begin() + 12, stream.end()}, "South", 45002);
  // Holds 7..12, the last cut short: it overlaps North most and so joins it, leaving the
  // two histories sharing sequence 12 (North's copy shorter).
  std::vector<TRecords> middle(stream.begin() + 7, stream.begin() + 13);
  middle.back() = Cut(middle.back(), 2);
  MakeReading(bridge, middle, "North", 45001);
  Import(*a, north);
  EXPECT_EQ(Import(*a, south).Device, "South");
  TImportResult x = Import(*a, bridge);
  EXPECT_EQ(x.Device, "North");
  EXPECT_EQ(x.Known, 3);
  EXPECT_EQ(x.New, 3);

  std::string e;
  EXPECT_FALSE(a->Rename("North", "South", e));
  EXPECT_NE(e.find("merge"), std::string::npos) << e;
  EXPECT_FALSE(a->Rename("Nowhere", "East", e));
  EXPECT_NE(e.find("no device named Nowhere"), std::string::npos) << e;
  EXPECT_FALSE(a->Rename("North", "", e));
  ASSERT_TRUE(a->Rename("North", "Substation 7", e)) << e;
  EXPECT_EQ(DeviceNames(*a), (std::vector<std::string>{"South", "Substation 7"}));
  EXPECT_EQ(Stored(*a, "Substation 7").size(), 13u);
  // Its next reading still finds it.
  EXPECT_EQ(Import(*a, north).Device, "Substation 7");

  TMergeResult m;
  EXPECT_FALSE(a->Merge("South", "South", m, e));
  EXPECT_FALSE(a->Merge("South", "Nowhere", m, e));
  EXPECT_NE(e.find("no device named Nowhere"), std::string::npos) << e;
  TRaw raw(loc);
  const std::string before = raw.Snapshot();
  EXPECT_FALSE(a->Merge("Nowhere", "South", m, e));
  EXPECT_EQ(raw.Snapshot(), before);

  ASSERT_TRUE(a->Merge("South", "Substation 7", m, e)) << e;
  EXPECT_EQ(m.Shared, 1);
  EXPECT_EQ(m.Moved, 7);
  EXPECT_EQ(m.Conflicts, 0);
  EXPECT_EQ(m.Readings, 1);
  EXPECT_EQ(DeviceNames(*a), std::vector<std::string>{"Substation 7"});
  EXPECT_EQ(Stored(*a, "Substation 7"), stream);
  int64_t readings = 0, sequences = 0, events = 0;
  ASSERT_TRUE(a->Counts(readings, sequences, events, e)) << e;
  EXPECT_EQ(readings, 3);
  EXPECT_EQ(sequences, 20);
  size_t eventCount = 0;
  for (const TRecords& s : stream) eventCount += s.size() - 1;
  EXPECT_EQ(events, static_cast<int64_t>(eventCount));
  // The shared sequence was seen by both readings that held it.
  std::vector<TArchiveSequence> seqs;
  ASSERT_TRUE(a->Sequences({}, seqs, e)) << e;
  ASSERT_EQ(seqs.size(), 20u);
  TSequenceSeen seen;
  ASSERT_TRUE(a->Seen(seqs[12].Id, seen, e)) << e;
  EXPECT_EQ(seen.Readings, 2);
  // Every reading of either now adds nothing.
  for (const TKiv* k : {&north, &south, &bridge}) {
    x = Import(*a, *k);
    EXPECT_EQ(x.Device, "Substation 7");
    EXPECT_EQ(x.New + x.Grown + x.Conflicts, 0);
  }
}

// A merge of two devices that both hold the same reading (the same image archived under
// two names by an older program) and a differing copy of one sequence.
TEST_P(ArchiveDb, MergeKeepsASharedReadingOnceAndConflictsAsVersions) {
  const std::vector<TRecords> stream = SequenceStream(91, 8);
  auto a = Open();
  TKiv k;
  MakeReading(k, stream, "West", 45000);
  Import(*a, k);
  // What an older program did: the same reading again under another device.
  TRaw raw(loc);
  ASSERT_TRUE(
      raw.Exec("INSERT INTO devices (name, identification, station, slave) VALUES "
               "('West 2', 'K2SV0104', '', 31)"));
  const std::string west2 = raw.Value("SELECT id FROM devices WHERE name = 'West 2'");
  ASSERT_FALSE(west2.empty());
  ASSERT_TRUE(raw.Exec(QString::fromStdString(
      "INSERT INTO readings (device_id, created_us, events_read_us, parset1_read_us, "
      "parset2_read_us, source, hash, image, imported_us) SELECT " +
      west2 +
      ", created_us, events_read_us, parset1_read_us, parset2_read_us, source, hash, image, "
      "imported_us FROM readings")));
  const std::string reading2 =
      raw.Value(QString::fromStdString("SELECT id FROM readings WHERE device_id = " + west2));
  ASSERT_FALSE(reading2.empty());
  ASSERT_TRUE(raw.Exec(QString::fromStdString(
      "INSERT INTO sequences (device_id, start_kind, start_us, first_record, version, records, "
      "record_count, hash, reading_id, header, words) SELECT " +
      west2 + ", start_kind, start_us, first_record, version, records, record_count, hash, " +
      reading2 + ", header, words FROM sequences")));
  ASSERT_TRUE(raw.Exec(QString::fromStdString(
      "INSERT INTO sequence_readings (sequence_id, reading_id) SELECT id, reading_id FROM "
      "sequences WHERE device_id = " +
      west2)));
  // One of West 2's sequences differs.
  ASSERT_TRUE(raw.Exec(QString::fromStdString(
      "UPDATE sequences SET hash = 'differs', records = (SELECT records FROM sequences s2 "
      "WHERE s2.device_id = " +
      west2 +
      " ORDER BY s2.start_us DESC LIMIT 1) WHERE id = (SELECT MIN(id) FROM sequences "
      "WHERE device_id = " +
      west2 + ")")));
  std::string e;
  TMergeResult m;
  ASSERT_TRUE(a->Merge("West 2", "West", m, e)) << e;
  EXPECT_EQ(m.Shared, 7);
  EXPECT_EQ(m.Conflicts, 1);
  EXPECT_EQ(m.Readings, 1);
  int64_t readings = 0, sequences = 0, events = 0;
  ASSERT_TRUE(a->Counts(readings, sequences, events, e)) << e;
  EXPECT_EQ(readings, 1);
  EXPECT_EQ(sequences, 9);
  EXPECT_EQ(DeviceNames(*a), std::vector<std::string>{"West"});
  std::vector<TArchiveSequence> seqs;
  TSequenceFilter f;
  f.Device = "West";
  ASSERT_TRUE(a->Sequences(f, seqs, e)) << e;
  int versions = 0;
  for (const TArchiveSequence& s : seqs) versions += s.Version == 2 ? 1 : 0;
  EXPECT_EQ(versions, 1);
}

// kill -9 in the middle of an import leaves the archive exactly as it was.
TEST_P(ArchiveDb, KilledImportChangesNothing) {
  const std::vector<TRecords> stream = SequenceStream(55, 60);
  TKiv base, big;
  MakeReading(base, {stream.begin(), stream.begin() + 10}, "Kill", 45000);
  MakeReading(big, {stream.begin() + 5, stream.end()}, "Kill", 45001);
  const std::string bigFile = dir.File("big.kiv");
  ASSERT_TRUE(big.SaveToFile(bigFile));
  {
    auto a = Open();
    Import(*a, base);
  }
  TRaw raw(loc);
  const std::string before = raw.Snapshot();
  std::mt19937 rng(7);
  // Held open inside the transaction and killed during the hold; then killed at random
  // moments of an unheld import, which either had not committed (nothing changed) or had
  // (then the reading is there whole).
  for (int i = 0; i < 12; ++i) {
    const bool held = i < 6;
    const pid_t pid = StartAdd({bigFile}, held);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(held ? 600 + rng() % 800 : rng() % 150));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string now = raw.Snapshot();
    if (held) {
      EXPECT_EQ(now, before) << "iteration " << i;
    } else if (now != before) {
      auto a = Open();
      EXPECT_EQ(Stored(*a, "Kill"), stream) << "iteration " << i;
      break;
    }
  }
  // The archive is still sound: the import now runs to its end.
  auto a = Open();
  TImportResult r;
  std::string e;
  ASSERT_TRUE(a->Import(big, bigFile, "", r, e)) << e;
  EXPECT_EQ(Stored(*a, "Kill"), stream);
}

// Two importers of the same files at once: no sequence twice, nothing lost.
TEST_P(ArchiveDb, ConcurrentImporters) {
  const std::vector<TRecords> stream = SequenceStream(66, 40);
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    // Every two readings overlap, so whichever is archived first the others join it.
    TKiv k;
    MakeReading(k, {stream.begin() + i * 5, stream.begin() + 25 + i * 5}, "Twin", 45000 + i);
    files.push_back(dir.File("r" + std::to_string(i) + ".kiv"));
    ASSERT_TRUE(k.SaveToFile(files.back()));
  }
  { Open(); }  // the schema exists before the race
  const pid_t p1 = StartAdd(files, false);
  std::vector<std::string> reversed(files.rbegin(), files.rend());
  const pid_t p2 = StartAdd(reversed, false);
  int s1 = 0, s2 = 0;
  waitpid(p1, &s1, 0);
  waitpid(p2, &s2, 0);
  EXPECT_TRUE(WIFEXITED(s1) && WEXITSTATUS(s1) == 0);
  EXPECT_TRUE(WIFEXITED(s2) && WEXITSTATUS(s2) == 0);
  auto a = Open();
  EXPECT_EQ(Stored(*a, "Twin"), stream);
  int64_t readings = 0, sequences = 0, events = 0;
  std::string e;
  ASSERT_TRUE(a->Counts(readings, sequences, events, e));
  EXPECT_EQ(readings, 4);
  EXPECT_EQ(sequences, 40);
}

// Waits until file holds text (a child process said it got there); false after a minute.
bool WaitForText(const std::string& file, const std::string& text) {
  for (int i = 0; i < 600; ++i) {
    const std::vector<uint8_t> bytes = TTempDir::Read(file);
    if (std::string(bytes.begin(), bytes.end()).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// Readers do not wait for another process's import: while an import holds its
// transaction open far longer than any wait of a reader, opening the archive, listing the
// devices and searching answer with what was committed before, and the import is still
// holding when they have answered.
TEST_P(ArchiveDb, ReaderDuringALongImport) {
  const std::vector<TRecords> stream = SequenceStream(57, 30);
  TKiv base, big;
  MakeReading(base, {stream.begin(), stream.begin() + 10}, "Busy", 45000);
  MakeReading(big, {stream.begin() + 5, stream.end()}, "Busy", 45001);
  const std::string bigFile = dir.File("big.kiv");
  ASSERT_TRUE(big.SaveToFile(bigFile));
  {
    auto a = Open();
    Import(*a, base);
  }
  const std::string log = dir.File("importer.log");
  const pid_t pid = StartAdd({bigFile}, true, 60000, log);
  ASSERT_GT(pid, 0);
  struct TKill {
    pid_t pid;
    ~TKill() {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  } killer{pid};
  ASSERT_TRUE(WaitForText(log, "holding the import open"));
  {
    TArchive reader;
    std::string e;
    ASSERT_TRUE(reader.Open(loc, e)) << e;
    std::vector<TArchiveSequence> seqs;
    ASSERT_TRUE(reader.Sequences({}, seqs, e)) << e;
    EXPECT_EQ(seqs.size(), 10u);
    EXPECT_EQ(DeviceNames(reader), std::vector<std::string>{"Busy"});
  }
  // kivtool as the user runs it.
  const std::string cmd =
      Kivtool() + " archive sequences --db '" + DbArg() + "' >" + dir.File("out.txt") + " 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << TTempDir::Read(dir.File("out.txt")).size();
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the import ended before the readers";
}

// A reader that cannot read within its wait says so instead of hanging: here another
// connection keeps the sequences locked against readers.
TEST_P(ArchiveDb, ReaderLockedOutSaysSo) {
  {
    auto a = Open();
    TKiv k;
    MakeReading(k, SequenceStream(58, 5), "Locked", 45000);
    Import(*a, k);
  }
  TArchive reader;
  std::string e;
  TRaw raw(loc);
  ASSERT_TRUE(raw.Exec("BEGIN"));
  if (GetParam() == TEngine::Postgres) {
    ASSERT_TRUE(reader.Open(loc, e)) << e;
    ASSERT_TRUE(raw.Exec("LOCK TABLE sequences IN ACCESS EXCLUSIVE MODE"));
    std::vector<TArchiveSequence> seqs;
    EXPECT_FALSE(reader.Sequences({}, seqs, e));
  } else {
    // What a writer holds while it commits, or once its changes outgrow its cache.
    ASSERT_TRUE(raw.Exec("ROLLBACK"));
    ASSERT_TRUE(raw.Exec("BEGIN EXCLUSIVE"));
    EXPECT_FALSE(reader.Open(loc, e));
  }
  EXPECT_NE(e.find("is busy with another program's import"), std::string::npos) << e;
  EXPECT_TRUE(raw.Exec("ROLLBACK"));
}

// The PostgreSQL server goes away in the middle of an import of several files: the import
// in flight fails naming the reason, what was committed before stays, and once the server
// is back the next file reconnects and the import goes on.
TEST_P(ArchiveDb, ServerLostDuringAnImport) {
  const char* ctl = std::getenv("KIVSVC_TEST_PG_CTL");
  if (GetParam() != TEngine::Postgres || ctl == nullptr)
    GTEST_SKIP() << "a server of the tests' own to stop and start";
  const std::string stop = std::string("bash '") + ctl + "' stop";
  const std::string start = std::string("bash '") + ctl + "' start";
  // The server is back for the other tests however this one ends.
  struct TRestart {
    std::string cmd;
    bool down = false;
    ~TRestart() {
      if (down && std::system(cmd.c_str()) != 0) std::fprintf(stderr, "server not started\n");
    }
  } restart{start};
  const std::vector<TRecords> stream = SequenceStream(59, 24);
  TKiv r1, r2, r3;
  MakeReading(r1, {stream.begin(), stream.begin() + 10}, "Lost", 45000);
  MakeReading(r2, {stream.begin() + 8, stream.begin() + 18}, "Lost", 45001);
  MakeReading(r3, {stream.begin() + 16, stream.end()}, "Lost", 45002);
  auto a = Open();
  EXPECT_EQ(Import(*a, r1).New, 10);

  a->BeforeCommit = [&] {
    restart.down = true;
    ASSERT_EQ(std::system(stop.c_str()), 0);
  };
  TImportResult x;
  std::string e;
  EXPECT_FALSE(a->Import(r2, "r2.kiv", "", x, e));
  EXPECT_FALSE(a->Usable());
  EXPECT_NE(e.find("connection to the archive server"), std::string::npos) << e;
  EXPECT_NE(e.find("was lost"), std::string::npos) << e;
  a->BeforeCommit = nullptr;
  // Still away: the next file says why too, and does not hang.
  EXPECT_FALSE(a->Import(r3, "r3.kiv", "", x, e));
  EXPECT_NE(e.find("was lost and could not be made again: "), std::string::npos) << e;
  EXPECT_EQ(e.find("(BEGIN)"), std::string::npos) << e;

  ASSERT_EQ(std::system(start.c_str()), 0);
  restart.down = false;
  ASSERT_TRUE(a->Import(r2, "r2.kiv", "", x, e)) << e;
  EXPECT_TRUE(a->Usable());
  EXPECT_EQ(x.Known, 2);
  EXPECT_EQ(x.New, 8);
  ASSERT_TRUE(a->Import(r3, "r3.kiv", "", x, e)) << e;
  EXPECT_EQ(x.Device, "Lost");
  EXPECT_EQ(x.Known, 2);
  EXPECT_EQ(x.New, 6);
  EXPECT_EQ(Stored(*a, "Lost"), stream);
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveDb, ::testing::Values(TEngine::Sqlite, TEngine::Postgres),
                         [](const auto& p) {
                           return p.param == TEngine::Sqlite ? "Sqlite" : "Postgres";
                         });

// A file that is not an SQLite database, or an SQLite database of something else, is
// refused and left byte for byte as it was.
TEST(ArchiveSqlite, DamagedOrForeignFileRefused) {
  TTempDir dir;
  TArchiveLocation loc;
  std::string e;
  loc.Path = dir.Write("garbage.sqlite", std::string(5000, 'x'));
  TArchive a;
  EXPECT_FALSE(a.Open(loc, e));
  EXPECT_NE(e.find("damaged"), std::string::npos) << e;
  EXPECT_EQ(TTempDir::Read(loc.Path), std::vector<uint8_t>(5000, 'x'));

  // A real archive whose pages were overwritten past the header.
  loc.Path = dir.File("broken.sqlite");
  {
    TArchive good;
    good.DefsDir = Defs();
    ASSERT_TRUE(good.Open(loc, e)) << e;
    TKiv k;
    MakeReading(k, SequenceStream(8, 20), "B", 45000);
    TImportResult r;
    ASSERT_TRUE(good.Import(k, "x", "", r, e)) << e;
  }
  std::vector<uint8_t> bytes = TTempDir::Read(loc.Path);
  ASSERT_GT(bytes.size(), 4096u);
  std::fill(bytes.begin() + 100, bytes.end(), 0xA5);
  dir.Write("broken.sqlite", bytes);
  EXPECT_FALSE(a.Open(loc, e));
  EXPECT_NE(e.find("damaged"), std::string::npos) << e;
  EXPECT_EQ(TTempDir::Read(loc.Path), bytes);

  loc.Path = dir.File("other.sqlite");
  {
    TRaw raw(loc);
    ASSERT_TRUE(raw.Exec("CREATE TABLE something (x INTEGER)"));
  }
  const std::vector<uint8_t> other = TTempDir::Read(loc.Path);
  EXPECT_FALSE(a.Open(loc, e));
  EXPECT_NE(e.find("no archive"), std::string::npos) << e;
  EXPECT_EQ(TTempDir::Read(loc.Path), other);

  // A missing file is created, with its folders.
  loc.Path = dir.File("new/folder/archive.sqlite");
  EXPECT_TRUE(a.Open(loc, e)) << e;
}

// kivtool and the program use one default archive: the program's, whatever the running
// application is called.
TEST(ArchiveSqlite, OneDefaultArchiveForKivtoolAndTheProgram) {
  TTempDir dir;
  const std::string home = dir.File("home"), data = dir.File("data");
  const std::string want = data + "/kivsvc/archive.sqlite";
  std::map<std::string, std::string> saved;
  for (const char* var : {"HOME", "XDG_DATA_HOME", "KIVSVC_ARCHIVE", "KIVSVC_CONFIG"})
    saved[var] = std::getenv(var) ? std::getenv(var) : "";
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  unsetenv("KIVSVC_ARCHIVE");
  setenv("KIVSVC_CONFIG", dir.File("kiv.ini").c_str(), 1);
  const QString appName = QCoreApplication::applicationName();
  for (const char* name : {"kivsvc", "kivtool", "archive_db_tests"}) {
    QCoreApplication::setApplicationName(name);
    TArchiveLocation loc;
    std::string e;
    ASSERT_TRUE(DefaultArchiveLocation(KivIniPath(), kProgramIniSection, loc, e)) << e;
    EXPECT_FALSE(loc.Postgres);
    EXPECT_EQ(loc.Path, want) << name;
  }
  QCoreApplication::setApplicationName(appName);
  // kivtool without --db writes there.
  TKiv k;
  MakeReading(k, SequenceStream(3, 4), "Default", 45000);
  ASSERT_TRUE(k.SaveToFile(dir.File("r.kiv")));
  const std::string cmd = std::string(KIVTOOL_PATH) + " archive add '" + dir.File("r.kiv") +
                          "' --defs '" + Defs() + "' >/dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(TTempDir::Read(want).size() > 0, true) << want;
  for (const auto& [var, value] : saved) {
    if (value.empty()) {
      unsetenv(var.c_str());
    } else {
      setenv(var.c_str(), value.c_str(), 1);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

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
  // Starts kivtool archive add on the files; returns the process id.
  pid_t StartAdd(const std::vector<std::string>& files, bool pause) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (pause) setenv("KIVSVC_ARCHIVE_TEST_PAUSE_MS", "3000", 1);
      std::vector<std::string> args = {Kivtool(), "archive", "add", "--db",
                                       DbArg(),   "--defs",  Defs()};
      args.insert(args.end(), files.begin(), files.end());
      std::vector<char*> argv;
      for (std::string& s : args) argv.push_back(s.data());
      argv.push_back(nullptr);
      freopen("/dev/null", "w", stdout);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
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

// The same sequences under two station names stay two histories; a sequence that differs
// from its stored namesake is kept beside it and reported.
TEST_P(ArchiveDb, DevicesNeverMixAndConflictsAreKept) {
  const std::vector<TRecords> stream = SequenceStream(33, 12);
  auto a = Open();
  TKiv n, s;
  MakeReading(n, stream, "North", 45000);
  MakeReading(s, stream, "South", 45000);
  EXPECT_EQ(Import(*a, n).New, 12);
  EXPECT_EQ(Import(*a, s).New, 12);
  EXPECT_EQ(Stored(*a, "North"), stream);
  EXPECT_EQ(Stored(*a, "South"), stream);
  std::vector<TArchiveDevice> devices;
  std::string e;
  ASSERT_TRUE(a->Devices(devices, e)) << e;
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].Name, "North");
  EXPECT_EQ(devices[0].Sequences, 12);
  EXPECT_EQ(devices[1].Readings, 1);

  // An explicit device name wins over the station information.
  EXPECT_EQ(Import(*a, n, "Spare unit").New, 12);

  std::vector<TRecords> changed = stream;
  changed[4].back().back() ^= 0x01;
  TKiv c;
  MakeReading(c, changed, "North", 45001);
  TImportResult x = Import(*a, c);
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

// A newer schema is refused with a clear message and nothing in it changes.
TEST_P(ArchiveDb, NewerSchemaRefused) {
  {
    auto a = Open();
    TKiv k;
    MakeReading(k, SequenceStream(2, 3), "West", 45000);
    Import(*a, k);
  }
  TRaw raw(loc);
  ASSERT_TRUE(raw.Exec("UPDATE archive_schema SET version = 99"));
  const std::string before = raw.Snapshot();
  TArchive a;
  std::string e;
  EXPECT_FALSE(a.Open(loc, e));
  EXPECT_NE(e.find("schema version 99"), std::string::npos) << e;
  EXPECT_NE(e.find("newer"), std::string::npos) << e;
  EXPECT_EQ(raw.Snapshot(), before);
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
    TKiv k;
    MakeReading(k, {stream.begin() + i * 8, stream.begin() + 10 + i * 10}, "Twin", 45000 + i);
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

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// TArchive: the events archive over Qt SQL, one code path for an embedded SQLite file and
// a shared PostgreSQL database. The program creates and migrates its schema; every import
// of a reading is one transaction.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archivecore.h"

class QSqlDatabase;
class QSqlQuery;

// The schema this program writes. Older versions are migrated in place; any other version
// (a newer one, or one no kivsvc ever wrote, such as 0) is refused untouched.
constexpr int kArchiveSchemaVersion = 2;

struct TImportResult {
  std::string Device;
  int New = 0;
  int Grown = 0;
  int Known = 0;
  // Sequences whose stored namesake differs: kept as a further version.
  int Conflicts = 0;
  std::vector<std::string> ConflictHeaders;
  bool ReadingKnown = false;  // this very reading was imported before
  // The reading overlapped no archived sequence and its name belonged to another device:
  // it was archived as a new device of a free name ("K2SV0104 #31 (2)").
  bool NewNamesake = false;
};

// What a merge of two devices did.
struct TMergeResult {
  int Moved = 0;      // sequences only the merged device had
  int Shared = 0;     // sequences both had: kept once
  int Conflicts = 0;  // namesakes that differ: kept as further versions
  int Readings = 0;   // readings moved or found to be the same reading
};

struct TArchiveDevice {
  int64_t Id = 0;
  std::string Name, Identification, Station;
  int Slave = 0;
  int Readings = 0;
  int Sequences = 0;
  double FirstRead = 0, LastRead = 0;  // day counts of the readings' events reading dates
};

struct TArchiveSequence {
  int64_t Id = 0;
  std::string Device;
  std::string Header;  // the sequence list's line for the registration that holds it
  int64_t StartUs = 0;
  int Version = 1;
  int Events = 0;
};

struct TSequenceSeen {
  int Readings = 0;
  double First = 0, Last = 0;  // events reading dates (day counts)
  std::vector<std::string> Sources;
};

class TArchive {
 public:
  TArchive();
  ~TArchive();
  TArchive(const TArchive&) = delete;
  TArchive& operator=(const TArchive&) = delete;

  // Opens (creating a missing SQLite file and the schema of an empty database). Refuses a
  // damaged file, a database that is no archive and a newer schema, changing nothing.
  bool Open(const TArchiveLocation& location, std::string& error);
  void Close();
  // Open, and for PostgreSQL still connected (a server restart ends the connection).
  bool Usable();
  bool IsPostgres() const { return location_.Postgres; }
  const TArchiveLocation& Location() const { return location_; }

  // Imports the registration's events buffer in one transaction. The reading belongs to
  // the device whose archived sequences it overlaps, whatever its name; otherwise to the
  // device named deviceName (given by the user), else to a new device under the default
  // name, or under a free variant of it when another device bears that name.
  bool Import(const TKiv& kiv, const std::string& sourceName, const std::string& deviceName,
              TImportResult& result, std::string& error);
  // Device names are labels: renaming keeps the history; a name in use is refused.
  bool Rename(const std::string& from, const std::string& to, std::string& error);
  // Merges device `from` into device `into`: its readings and sequences move over, the
  // sequences both hold are kept once, and `from` is gone. One transaction.
  bool Merge(const std::string& from, const std::string& into, TMergeResult& result,
             std::string& error);

  bool Devices(std::vector<TArchiveDevice>& devices, std::string& error);
  bool Sequences(const TSequenceFilter& filter, std::vector<TArchiveSequence>& out,
                 std::string& error);
  // The registration that holds archived sequence id alone (the image of the reading that
  // gave its records, with its events buffer replaced).
  bool SequenceImage(int64_t id, std::vector<uint8_t>& image, std::string& deviceName,
                     std::string& error);
  bool Seen(int64_t id, TSequenceSeen& seen, std::string& error);
  // Counts of rows per table, for tests and the benchmark.
  bool Counts(int64_t& readings, int64_t& sequences, int64_t& events, std::string& error);
  // Bytes the archive takes: the SQLite file, or the PostgreSQL database; -1 when unknown.
  int64_t SizeBytes();
  // The definitions directory for the texts computed at import.
  std::string DefsDir;
  // A test seam: called inside an import's transaction just before it commits (tests
  // hold the transaction open here, or take the server away).
  std::function<void()> BeforeCommit;

 private:
  struct TImportPlan;
  bool Connect(std::string& error);
  bool CheckSchema(std::string& error);
  bool ReadSchemaVersion(int& version, bool& hasTable, std::string& error);
  bool SetUpSchema(std::string& error);
  bool CreateSchema(std::string& error);
  bool Begin(std::string& error);
  bool Exec(QSqlQuery& q, std::string& error);
  bool ExecSql(const QString& sql, std::string& error);
  // Runs step in a write transaction, again while the database is busy or a concurrent
  // writer's rows collide; once per call the connection to a lost server is made again.
  bool Transaction(const std::function<bool(std::string&)>& step, std::string& error);
  bool ConnectionAlive();
  bool ImportOnce(const TImportPlan& plan, TImportResult& result, std::string& error);
  bool FindDevice(const TImportPlan& plan, TImportResult& result, int64_t& deviceId,
                  std::string& error);
  bool OverlappedDevice(const std::vector<TArchSequence>& seqs, int64_t& deviceId,
                        std::string& error);
  bool DeviceId(const std::string& name, int64_t& id, std::string& error);
  bool FreeName(const std::string& name, std::string& free, std::string& error);
  bool AddDevice(const TImportPlan& plan, const std::string& name, int64_t& id, std::string& error);
  bool AddReading(const TImportPlan& plan, int64_t deviceId, TImportResult& result,
                  int64_t& readingId, std::string& error);
  bool MergeSequences(const TImportPlan& plan, int64_t deviceId, int64_t readingId,
                      TImportResult& result, std::string& error);
  bool InsertEvents(int64_t sequenceId, int64_t startUs, const std::vector<TArchEvent>& events,
                    std::string& error);
  bool MergeOnce(int64_t fromId, int64_t intoId, TMergeResult& result, std::string& error);
  bool Retryable() const;
  // A reader's message when the database stayed locked by a writer.
  std::string BusyText(const std::string& error) const;
  QSqlDatabase Db() const;

  QString connection_;
  TArchiveLocation location_;
  bool open_ = false;
  bool inTransaction_ = false;
  QString lastErrorCode_;
  QString lastErrorText_;
};

// The archive the program and kivtool use: $KIVSVC_ARCHIVE, else the kiv.ini key Archive
// (section iniSection of iniPath), else DefaultArchiveFile().
bool DefaultArchiveLocation(const std::string& iniPath, const std::string& iniSection,
                            TArchiveLocation& location, std::string& error);

// "kiv.ini" as the program finds it: $KIVSVC_CONFIG when set, else in the user's
// configuration directory; and the program's section in it.
std::string KivIniPath();
// The program's archive.sqlite in the user's data folder (.../kivsvc/archive.sqlite),
// the same whichever program asks.
std::string DefaultArchiveFile();
constexpr const char* kProgramIniSection = "Kivsvc";
// "Archived: N new, M grown, K known sequences" (and the conflicting copies kept).
std::string ImportSummary(const TImportResult& r);

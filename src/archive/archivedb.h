// TArchive: the events archive over Qt SQL, one code path for an embedded SQLite file and
// a shared PostgreSQL database. The program creates and migrates its schema; every import
// of a reading is one transaction.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "archivecore.h"

class QSqlDatabase;
class QSqlQuery;

// The schema this program writes; an archive with a higher version is refused untouched.
constexpr int kArchiveSchemaVersion = 1;

struct TImportResult {
  std::string Device;
  int New = 0;
  int Grown = 0;
  int Known = 0;
  // Sequences whose stored namesake differs: kept as a further version.
  int Conflicts = 0;
  std::vector<std::string> ConflictHeaders;
  bool ReadingKnown = false;  // this very reading was imported before
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
  bool IsOpen() const { return open_; }
  bool IsPostgres() const { return location_.Postgres; }
  const TArchiveLocation& Location() const { return location_; }

  // Imports the registration's events buffer under deviceName ("" for the default name);
  // defsDir is where the views' texts find definition files.
  bool Import(const TKiv& kiv, const std::string& sourceName, const std::string& deviceName,
              TImportResult& result, std::string& error);

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

 private:
  bool CheckSchema(std::string& error);
  bool CreateSchema(std::string& error);
  bool Begin(std::string& error);
  bool Exec(QSqlQuery& q, std::string& error);
  bool ExecSql(const QString& sql, std::string& error);
  bool ImportOnce(const TKiv& kiv, const std::string& sourceName, const std::string& deviceName,
                  TImportResult& result, std::string& error, bool& retry);
  bool InsertEvents(int64_t sequenceId, int64_t startUs, const std::vector<TArchEvent>& events,
                    std::string& error);
  bool Retryable() const;
  QSqlDatabase Db() const;

  QString connection_;
  TArchiveLocation location_;
  bool open_ = false;
  QString lastErrorCode_;
  QString lastErrorText_;
};

// The archive the program and kivtool use: $KIVSVC_ARCHIVE, else the kiv.ini key Archive
// (section iniSection of iniPath), else archive.sqlite in the user's data folder.
bool DefaultArchiveLocation(const std::string& iniPath, const std::string& iniSection,
                            TArchiveLocation& location, std::string& error);

// "kiv.ini" as the program finds it: $KIVSVC_CONFIG when set, else in the user's
// configuration directory; and the program's section in it.
std::string KivIniPath();
constexpr const char* kProgramIniSection = "Kivsvc";
// "Archived: N new, M grown, K known sequences" (and the conflicting copies kept).
std::string ImportSummary(const TImportResult& r);

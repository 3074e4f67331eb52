// The events archive's Qt-free part: what a registration contributes to a device's
// history (its sequences with their raw records), how a sequence seen again compares with
// the stored one, the content hashes, where the archive lives, and the registration that
// holds one archived sequence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kivbase.h"

using TRecord = std::vector<uint8_t>;
using TRecords = std::vector<TRecord>;

// One event of an archived sequence, for queries.
struct TArchEvent {
  uint16_t Position = 0;  // 1.. in the order the device recorded them
  uint8_t Code = 0;
  int64_t TimeUs = 0;  // microseconds since 1899-12-30, without the input time corrections
  std::string Name;    // the event's name in the definition table
};

// A sequence as the archive keeps it. Its identity within its device is the start kind,
// the start time and the first record; times are computed from the records alone (never
// with the input time corrections, which depend on the reading's options and definition
// file), so every reading gives the same identity for the same sequence.
struct TArchSequence {
  uint16_t Number = 0;  // its number in the registration it came from (oldest first)
  uint8_t StartKind = 0;
  int64_t StartUs = 0;
  // Chronological: the clock-time record first, then the events as the device wrote them.
  TRecords Records;
  std::vector<TArchEvent> Events;
  std::string FirstRecordHex() const;
  std::string Hash() const;  // SHA-256 of the serialized records, hexadecimal
};

// The sequences of an events buffer cut by the event lister's own walk (WalkEventBuffer,
// CutSequences), oldest first, so the archive keeps exactly the sequences the lister shows.
// defs: the event definition table of the device type (40192 bytes).
std::vector<TArchSequence> ExtractSequences(const uint8_t* buffer, size_t length,
                                            const uint8_t* defs);
std::vector<TArchSequence> ExtractSequences(const TKiv& kiv);

// How a sequence seen in a reading relates to the stored one of the same identity.
enum class TSeqMerge {
  Same,      // identical records
  Grown,     // the seen copy is longer and begins with the stored records: it replaces them
  Prefix,    // the seen copy is a beginning of the stored one (the ring lost the rest)
  Conflict,  // neither: kept as a second version
};
TSeqMerge CompareSequences(const TRecords& stored, const TRecords& seen);

// Records as one blob (each record as its length byte and its bytes) and back; false for
// a blob that is not such a list.
std::vector<uint8_t> SerializeRecords(const TRecords& records);
bool ParseRecords(const uint8_t* data, size_t size, TRecords& records);

std::string Sha256Hex(const uint8_t* data, size_t size);
std::string HexText(const uint8_t* data, size_t size);

// Day counts and the archive's microsecond times.
int64_t DaysToUs(double days);
double UsToDays(int64_t us);

// The name under which a registration's device is archived: the station information,
// else the identification and the slave address ("K2SV0104 #31").
std::string DefaultDeviceName(const TKiv& kiv);

// The registration image of reading image `reading` with its events buffer replaced by
// the sequence's records (newest first, then the end marker), so every view shows exactly
// that sequence as sequence 1 with the reading's device, options and parsets.
bool BuildSequenceImage(const std::vector<uint8_t>& reading, const TRecords& records,
                        std::vector<uint8_t>& image, std::string& error);
// Takes a current-format image into kiv as opening a file would (type, definitions, the
// notify events); false when it is not a registration image.
bool LoadImage(TKiv& kiv, const std::vector<uint8_t>& image);

// Where the archive lives: an SQLite file or a PostgreSQL database given as a libpq
// connection URI (postgresql://user@host:port/dbname, postgresql://user@/dbname?host=/dir).
struct TArchiveLocation {
  bool Postgres = false;
  std::string Path;  // SQLite file
  std::string User, Password, Host, DbName;
  int Port = 0;
  // Further URI parameters as "key=value" pairs (sslmode, connect_timeout, ...).
  std::vector<std::string> Options;
  std::string Text() const;  // for messages, never with the password
};
// False with error for a text that is neither a file name nor a valid URI.
bool ParseArchiveLocation(const std::string& text, TArchiveLocation& location, std::string& error);

// Which archive to use: $KIVSVC_ARCHIVE, else the kiv.ini value, else the default file.
// A password in the kiv.ini value is refused (it would lie in a plain configuration file).
bool ResolveArchiveLocation(const std::string& envValue, const std::string& iniValue,
                            const std::string& defaultFile, TArchiveLocation& location,
                            std::string& error);

// Sequence filters of the archive's queries.
struct TSequenceFilter {
  std::string Device;              // "" for every device
  std::optional<int64_t> FromUs;   // start time at or after
  std::optional<int64_t> ToUs;     // start time before
  std::vector<uint8_t> Codes;      // holding an event of any of these codes
  std::string EventName;           // holding an event whose name contains this (any case)
  std::vector<std::string> Words;  // every word in the sequence's listing (any case)
};
// "yyyy-mm-dd" or "yyyy-mm-dd hh:mm[:ss]" as microseconds; endOfDay moves a bare date
// to the start of the next day (for --to). False for another text.
bool ParseArchiveDate(const std::string& text, bool endOfDay, int64_t& us);
// "FB", "FBh", "0xFB" as an event code.
bool ParseEventCode(const std::string& text, uint8_t& code);
// Lower case of ASCII letters (the archive's free text search ignores case so).
std::string LowerAscii(const std::string& text);
std::vector<std::string> SplitWords(const std::string& text);

// What the views show of the one sequence a registration holds: its line in the sequence
// list and its listing lines (kiv holds the rebuilt image, definitions loaded).
struct TSequenceTexts {
  std::string Header;
  std::vector<std::string> Listing;
};
TSequenceTexts SequenceTexts(TKiv& kiv);
// The distinct words of listing lines in lower case, blank-separated, numbers left out:
// what the free text search looks in (a fraction of the listing's size).
std::string ListingWords(const std::vector<std::string>& lines);
// Replaces the events buffer of kiv by the sequence's records, as BuildSequenceImage does,
// keeping everything else of kiv (its definitions stay loaded).
bool SetSequenceBuffer(TKiv& kiv, const TRecords& records);

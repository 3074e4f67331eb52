// TKiv, the device object: one registration, held in a fixed 20486-byte image that is
// also the registration file, plus the working state of the device dialogues.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kivdefs.h"
#include "tracelist.h"

using TKivType = uint8_t;
constexpr TKivType kivtUnknown = 0;
constexpr TKivType kivtKivs2 = 1;
constexpr TKivType kivtKivs3 = 2;

struct TReadOptions {
  uint8_t SlaveNo = 31;
  uint8_t ReadZestaw1 = 1;
  uint8_t ReadZestaw2 = 1;
  uint8_t ReadEventRegister = 1;
  uint8_t CorrectIOTimes = 1;
  uint8_t ShowAllEvents = 0;
};

// Layout of the registration image; numbers are little-endian, dates are 8-byte doubles.
namespace kivimg {
constexpr uint32_t kSize = 20486;
constexpr uint32_t kTypeTag = 0;
constexpr uint32_t kReadOptions = 10;
constexpr uint32_t kVersionMajor = 30;
constexpr uint32_t kVersionMinor = 32;
constexpr uint32_t kStationInfo = 40;
constexpr uint32_t kIdentification = 140;
constexpr uint32_t kTextFieldSize = 100;  // NUL-terminated, at most 99 characters
constexpr uint32_t kCreateDate = 300;
constexpr uint32_t kEventsReadDate = 316;
constexpr uint32_t kZestaw1ReadDate = 332;
constexpr uint32_t kZestaw2ReadDate = 348;
constexpr uint32_t kNoteArea = 2048;
constexpr uint32_t kNoteAreaSize = 2048;
constexpr uint32_t kEventBufferLength = 4096;
constexpr uint32_t kEventBuffer = 4098;
constexpr uint32_t kEventBufferCapacity = 15360;
constexpr uint32_t kZestaw1Length = 19458;
constexpr uint32_t kZestaw1 = 19460;
constexpr uint32_t kZestaw2Length = 19972;
constexpr uint32_t kZestaw2 = 19974;
constexpr uint32_t kZestawCapacity = 512;
}  // namespace kivimg

// Where the next item of a start-up parameter text starts: the first "-" at or after from
// that begins the text or follows a blank (npos when none). A "-" inside a word, as in
// /data/site-a/ev.bin, is part of that word.
size_t NextItemStart(const std::string& text, size_t from = 0);

class TKiv {
 public:
  using TNotify = std::function<void()>;

  TKiv();
  TKiv(const TKiv&) = delete;
  TKiv& operator=(const TKiv&) = delete;

  // --- the registration image ---
  uint8_t* Image() { return image_.data(); }
  const uint8_t* Image() const { return image_.data(); }
  uint32_t ImageSize() const { return kivimg::kSize; }

  uint8_t* EventBuffer() { return image_.data() + kivimg::kEventBuffer; }
  const uint8_t* EventBuffer() const { return image_.data() + kivimg::kEventBuffer; }
  uint8_t* Zestaw1() { return image_.data() + kivimg::kZestaw1; }
  const uint8_t* Zestaw1() const { return image_.data() + kivimg::kZestaw1; }
  uint8_t* Zestaw2() { return image_.data() + kivimg::kZestaw2; }
  const uint8_t* Zestaw2() const { return image_.data() + kivimg::kZestaw2; }
  // Parset n (1 or 2); null for any other number.
  uint8_t* Zestaw(int n);
  const uint8_t* Zestaw(int n) const;
  uint8_t* NoteArea() { return image_.data() + kivimg::kNoteArea; }
  const uint8_t* NoteArea() const { return image_.data() + kivimg::kNoteArea; }

  uint16_t EventBufferLength() const { return GetU16(kivimg::kEventBufferLength); }
  void SetEventBufferLength(uint16_t n) { SetU16(kivimg::kEventBufferLength, n); }
  uint16_t Zestaw1Length() const { return GetU16(kivimg::kZestaw1Length); }
  void SetZestaw1Length(uint16_t n) { SetU16(kivimg::kZestaw1Length, n); }
  uint16_t Zestaw2Length() const { return GetU16(kivimg::kZestaw2Length); }
  void SetZestaw2Length(uint16_t n) { SetU16(kivimg::kZestaw2Length, n); }
  uint16_t ZestawLength(int n) const;
  void SetZestawLength(int n, uint16_t len);

  uint16_t VersionMajor() const { return GetU16(kivimg::kVersionMajor); }
  void SetVersionMajor(uint16_t v) { SetU16(kivimg::kVersionMajor, v); }
  uint16_t VersionMinor() const { return GetU16(kivimg::kVersionMinor); }
  void SetVersionMinor(uint16_t v) { SetU16(kivimg::kVersionMinor, v); }

  double CreateDate() const { return GetDouble(kivimg::kCreateDate); }
  void SetCreateDate(double d) { SetDouble(kivimg::kCreateDate, d); }
  double EventsReadDate() const { return GetDouble(kivimg::kEventsReadDate); }
  void SetEventsReadDate(double d) { SetDouble(kivimg::kEventsReadDate, d); }
  double Zestaw1ReadDate() const { return GetDouble(kivimg::kZestaw1ReadDate); }
  void SetZestaw1ReadDate(double d) { SetDouble(kivimg::kZestaw1ReadDate, d); }
  double Zestaw2ReadDate() const { return GetDouble(kivimg::kZestaw2ReadDate); }
  void SetZestaw2ReadDate(double d) { SetDouble(kivimg::kZestaw2ReadDate, d); }

  // Texts of the image, UTF-8 here and Windows-1250 in the image; setters keep the
  // first 99 characters.
  std::string StationInfo() const;
  void SetStationInfo(const std::string& text);
  std::string Identification() const;
  void SetIdentification(const std::string& text);

  TReadOptions GetReadOptions() const;
  // Stores the record; a different slave number marks the registration modified.
  void SetReadOptions(const TReadOptions& options);

  // --- device type and definitions ---
  std::string IdentificationName() const;
  TKivType GetKivType() const;
  void SetKivType(TKivType type);
  void LoadDefinitions();
  // The definition file LoadDefinitions would choose (empty for none).
  std::string DefinitionFileCandidate() const;

  // --- trace ---
  void SetTraceList(ITraceList* list) { traceList_ = list; }
  ITraceList* TraceList() const { return traceList_; }
  void Trace(const std::string& line);
  void DropLastTrace();

  // True when the first n bytes of data, walked as event records, reach the end marker.
  bool EndMarkerFound(const uint8_t* data, int n) const;

  // --- start-up parameters ---
  static const char* const kStartParamsHelp;
  // Returns Ok; message receives the help text or the error text.
  bool ParseStartParams(const std::string& params, std::string& message);

  // --- registration files ---
  // False when the file could not be created ("Error Not saved." was shown); raises
  // EInOutError when writing fails part-way. The previous file survives every failure.
  bool SaveToFile(const std::string& fileName);
  // False when the file is in neither format ("File unknown format" was shown and
  // nothing changed) or could not be read.
  bool LoadFromFile(const std::string& fileName);

  // --- working state ---
  std::string DefsDir;
  bool IsReading = false;
  bool Error = false;
  bool Cancel = false;
  std::array<uint8_t, 300> Request{};
  std::array<uint8_t, 301> Reply{};
  uint16_t RequestLength = 0;
  uint16_t ReplyLength = 0;
  bool TraceMessages = true;
  bool Modified = false;
  TKivDefs Defs;
  std::vector<uint8_t> EventDefs;  // 40192 bytes: the table of the current type

  TNotify OnEvRegCompleted;
  TNotify OnCompleteZestawNastaw1;
  TNotify OnCompleteZestawNastaw2;
  TNotify OnBeginRead;
  TNotify OnCompleteAll;

  static void Fire(const TNotify& event) {
    if (event) event();
  }

 private:
  uint16_t GetU16(uint32_t offset) const;
  void SetU16(uint32_t offset, uint16_t value);
  double GetDouble(uint32_t offset) const;
  void SetDouble(uint32_t offset, double value);
  std::string GetText(uint32_t offset) const;
  void SetText(uint32_t offset, const std::string& text);
  bool ConvertOlderFormat(const std::vector<uint8_t>& data);

  std::vector<uint8_t> image_;
  ITraceList* traceList_ = nullptr;
};

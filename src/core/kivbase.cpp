#include "kivbase.h"

#include <cstring>

#include "eventtables.h"
#include "kivdate.h"
#include "kivfiles.h"
#include "textcodec.h"

namespace {

// Trace lists are trimmed in one sweep when they grow past this many lines, down to
// fewer than kTraceKeep, so a long reading never slows the message list down.
constexpr int kTraceTrimAbove = 2000;
constexpr int kTraceKeep = 1000;

}  // namespace

TKiv::TKiv() : EventDefs(kEventDefsBytes, 0), image_(kivimg::kSize, 0) {
  Modified = false;
  TraceMessages = true;
  SetEventBufferLength(0);
  SetReadOptions(TReadOptions{});
  Modified = false;
  SetZestaw1Length(0);
  SetZestaw2Length(0);
  SetCreateDate(NowDays());
  SetVersionMajor(4);
  SetVersionMinor(0);
  SetIdentification("");
  SetKivType(kivtUnknown);
  SetEventsReadDate(0);
  SetZestaw1ReadDate(0);
  SetZestaw2ReadDate(0);
}

uint8_t* TKiv::Zestaw(int n) {
  if (n == 1) return Zestaw1();
  if (n == 2) return Zestaw2();
  return nullptr;
}

const uint8_t* TKiv::Zestaw(int n) const {
  if (n == 1) return Zestaw1();
  if (n == 2) return Zestaw2();
  return nullptr;
}

uint16_t TKiv::ZestawLength(int n) const {
  if (n == 1) return Zestaw1Length();
  if (n == 2) return Zestaw2Length();
  return 0;
}

void TKiv::SetZestawLength(int n, uint16_t len) {
  if (n == 1) SetZestaw1Length(len);
  if (n == 2) SetZestaw2Length(len);
}

uint16_t TKiv::GetU16(uint32_t offset) const {
  return static_cast<uint16_t>(image_[offset] | (image_[offset + 1] << 8));
}

void TKiv::SetU16(uint32_t offset, uint16_t value) {
  image_[offset] = static_cast<uint8_t>(value & 0xFF);
  image_[offset + 1] = static_cast<uint8_t>(value >> 8);
}

double TKiv::GetDouble(uint32_t offset) const {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | image_[offset + i];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

void TKiv::SetDouble(uint32_t offset, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 8; ++i) image_[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

std::string TKiv::GetText(uint32_t offset) const {
  const char* p = reinterpret_cast<const char*>(image_.data() + offset);
  size_t n = strnlen(p, kivimg::kTextFieldSize - 1);
  return Cp1250ToUtf8(std::string_view(p, n));
}

void TKiv::SetText(uint32_t offset, const std::string& text) {
  std::string bytes = Utf8ToCp1250(text);
  if (bytes.size() > kivimg::kTextFieldSize - 1) bytes.resize(kivimg::kTextFieldSize - 1);
  std::memset(image_.data() + offset, 0, kivimg::kTextFieldSize);
  std::memcpy(image_.data() + offset, bytes.data(), bytes.size());
}

std::string TKiv::StationInfo() const {
  return GetText(kivimg::kStationInfo);
}
void TKiv::SetStationInfo(const std::string& text) {
  SetText(kivimg::kStationInfo, text);
}
std::string TKiv::Identification() const {
  return GetText(kivimg::kIdentification);
}
void TKiv::SetIdentification(const std::string& text) {
  SetText(kivimg::kIdentification, text);
}

TReadOptions TKiv::GetReadOptions() const {
  const uint8_t* p = image_.data() + kivimg::kReadOptions;
  return TReadOptions{p[0], p[1], p[2], p[3], p[4], p[5]};
}

void TKiv::SetReadOptions(const TReadOptions& o) {
  uint8_t* p = image_.data() + kivimg::kReadOptions;
  if (p[0] != o.SlaveNo) Modified = true;
  p[0] = o.SlaveNo;
  p[1] = o.ReadZestaw1;
  p[2] = o.ReadZestaw2;
  p[3] = o.ReadEventRegister;
  p[4] = o.CorrectIOTimes;
  p[5] = o.ShowAllEvents;
}

std::string TKiv::IdentificationName() const {
  // Halves are counted in the image's single-byte characters.
  std::string s = Utf8ToCp1250(Identification());
  if (s.empty()) return "";
  size_t h = s.size() / 2;
  return Cp1250ToUtf8(s.substr(0, h) + "_" + s.substr(h, h));
}

TKivType TKiv::GetKivType() const {
  std::string name = Utf8ToCp1250(IdentificationName());
  char c = name.size() < 3 ? static_cast<char>(image_[kivimg::kTypeTag + 5]) : name[1];
  if (c == '2') return kivtKivs2;
  if (c == '3') return kivtKivs3;
  return kivtUnknown;
}

void TKiv::SetKivType(TKivType type) {
  std::memcpy(image_.data() + kivimg::kTypeTag, "KIVS-", 6);
  if (type == kivtKivs2) {
    image_[kivimg::kTypeTag + 5] = '2';
    const TEventDefTable& t = Kivs2EventDefs();
    EventDefs.assign(t.begin(), t.end());
  } else if (type == kivtKivs3) {
    image_[kivimg::kTypeTag + 5] = '3';
    const TEventDefTable& t = Kivs3EventDefs();
    EventDefs.assign(t.begin(), t.end());
  } else {
    image_[kivimg::kTypeTag + 5] = '0';
    EventDefs.assign(kEventDefsBytes, 0);
  }
  image_[kivimg::kTypeTag + 6] = 0;
  LoadDefinitions();
}

namespace {

// A name taken from a device must not lead outside the definitions directory.
bool IsPlainFileName(const std::string& name) {
  return name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name.find("..") == std::string::npos;
}

}  // namespace

std::string TKiv::DefinitionFileCandidate() const {
  std::string name = IdentificationName();
  if (!name.empty() && IsPlainFileName(name)) {
    std::string found = FindFileNoCase(DefsDir, name + ".set");
    if (!found.empty()) return found;
  }
  const char* typeFile = nullptr;
  switch (GetKivType()) {
    case kivtKivs2:
      typeFile = "Kivs2.set";
      break;
    case kivtKivs3:
      typeFile = "Kivs3.set";
      break;
    default:
      return "";
  }
  std::string found = FindFileNoCase(DefsDir, typeFile);
  return found.empty() ? JoinPath(DefsDir, typeFile) : found;
}

void TKiv::LoadDefinitions() {
  std::string candidate = DefinitionFileCandidate();
  if (!candidate.empty()) Defs.LoadFromFile(candidate);
}

void TKiv::Trace(const std::string& line) {
  if (!traceList_) return;
  if (traceList_->Count() > kTraceTrimAbove) {
    while (traceList_->Count() >= kTraceKeep) traceList_->DeleteFirst();
  }
  traceList_->Append(line);
}

void TKiv::DropLastTrace() {
  if (traceList_ && traceList_->Count() > 0) traceList_->DeleteLast();
}

bool TKiv::EndMarkerFound(const uint8_t* data, int n) const {
  if (n <= 0 || data == nullptr) return false;
  int p = 0;
  while (true) {
    const uint8_t* def = EventDefs.data() + data[p] * kEventDefSize;
    int length = def[kEvDefLength];
    if (length + p >= n) return false;
    if (length == 0) return true;
    if (def[kEvDefKind] != kKindJump) {
      p += length;
    } else {
      if (data[p + 1] == kEndMarkerCount) return true;
      p += data[p + 1] + 2;
    }
    if (p >= n) return false;
  }
}

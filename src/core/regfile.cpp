// Registration files: the current fixed format (the image byte for byte) and the older
// variable-length format, which is still read.
#include <cstring>

#include "kivbase.h"
#include "kivfiles.h"
#include "messages.h"
#include "textcodec.h"

namespace {

void ShowUnknownFormat() {
  Messages().Show(MsgIcon::Error, "Error", "File unknown format");
}

uint16_t LeU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

double LeDouble(const uint8_t* p) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Everything an older-format file carries, checked against the image's capacities before
// anything of the registration changes.
struct TOlderFile {
  uint8_t type = 0;
  uint8_t major = 0;
  double created = 0;
  std::vector<std::string> noteLines;  // UTF-8
  double eventsRead = 0, zestaw1Read = 0, zestaw2Read = 0;
  TReadOptions options;
  std::vector<uint8_t> events, zestaw1, zestaw2;
  bool hasIdent = false;
  std::string ident;  // UTF-8
};

class TReader {
 public:
  TReader(const std::vector<uint8_t>& d, size_t pos) : d_(d), pos_(pos) {}
  bool Has(size_t n) const { return pos_ <= d_.size() && d_.size() - pos_ >= n; }
  const uint8_t* Take(size_t n) {
    const uint8_t* p = d_.data() + pos_;
    pos_ += n;
    return p;
  }
  size_t Pos() const { return pos_; }
  size_t Left() const { return d_.size() - pos_; }

 private:
  const std::vector<uint8_t>& d_;
  size_t pos_;
};

bool ParseOlderFormat(const std::vector<uint8_t>& d, TOlderFile& f) {
  constexpr size_t kLinesStart = 260;
  if (d.size() < kLinesStart) return false;
  f.type = d[5];
  f.major = d[6];
  int lineCount = d[7];
  f.created = LeDouble(&d[8]);
  TReader r(d, kLinesStart);
  for (int i = 0; i < lineCount; ++i) {
    if (!r.Has(1)) return false;
    uint8_t len = *r.Take(1);
    if (!r.Has(len)) return false;
    const uint8_t* p = r.Take(len);
    f.noteLines.push_back(Cp1250ToUtf8(std::string_view(reinterpret_cast<const char*>(p), len)));
  }
  if (!r.Has(3 * 8 + 6)) return false;
  f.eventsRead = LeDouble(r.Take(8));
  f.zestaw1Read = LeDouble(r.Take(8));
  f.zestaw2Read = LeDouble(r.Take(8));
  const uint8_t* o = r.Take(6);
  f.options = TReadOptions{o[0], o[1], o[2], o[3], o[4], o[5]};
  struct {
    std::vector<uint8_t>* area;
    uint32_t capacity;
  } areas[] = {{&f.events, kivimg::kEventBufferCapacity},
               {&f.zestaw1, kivimg::kZestawCapacity},
               {&f.zestaw2, kivimg::kZestawCapacity}};
  for (auto& a : areas) {
    if (!r.Has(2)) return false;
    uint16_t len = LeU16(r.Take(2));
    if (len > a.capacity || !r.Has(len)) return false;
    const uint8_t* p = r.Take(len);
    a.area->assign(p, p + len);
  }
  if (f.major > 2) {
    // The identification runs to its NUL; a file that ends first still gives what it has.
    f.hasIdent = true;
    std::string bytes;
    while (r.Has(1)) {
      uint8_t c = *r.Take(1);
      if (c == 0) break;
      bytes.push_back(static_cast<char>(c));
    }
    f.ident = Cp1250ToUtf8(bytes);
  }
  return true;
}

bool IsCurrentFormat(const std::vector<uint8_t>& d) {
  return d.size() == kivimg::kSize && std::memcmp(d.data(), "KIVS-", 5) == 0;
}

bool CurrentFormatLengthsValid(const std::vector<uint8_t>& d) {
  return LeU16(&d[kivimg::kEventBufferLength]) <= kivimg::kEventBufferCapacity &&
         LeU16(&d[kivimg::kZestaw1Length]) <= kivimg::kZestawCapacity &&
         LeU16(&d[kivimg::kZestaw2Length]) <= kivimg::kZestawCapacity;
}

}  // namespace

bool TKiv::SaveToFile(const std::string& fileName) {
  if (!WriteRawFile(fileName, Image(), ImageSize())) return false;
  Modified = false;
  return true;
}

bool TKiv::LoadFromFile(const std::string& fileName) {
  std::vector<uint8_t> data;
  bool readable = ReadRawFile(fileName, data, kMaxRegistrationFileSize + 1);
  if (readable) {
    if (data.size() > kMaxRegistrationFileSize) {
      ShowUnknownFormat();
      return false;
    }
    if (IsCurrentFormat(data)) {
      if (!CurrentFormatLengthsValid(data)) {
        ShowUnknownFormat();
        return false;
      }
      Modified = false;
      image_ = std::move(data);
    } else if (data.size() >= 5 && std::memcmp(&data[1], "KIVS", 4) == 0) {
      if (!ConvertOlderFormat(data)) {
        ShowUnknownFormat();
        return false;
      }
    } else {
      ShowUnknownFormat();
      return false;
    }
  } else {
    Modified = false;
  }
  SetKivType(GetKivType());
  LoadDefinitions();
  Fire(OnCompleteZestawNastaw1);
  Fire(OnEvRegCompleted);
  Fire(OnCompleteAll);
  return readable;
}

bool TKiv::ConvertOlderFormat(const std::vector<uint8_t>& data) {
  TOlderFile f;
  if (!ParseOlderFormat(data, f)) return false;
  Modified = false;
  SetKivType(f.type);
  SetVersionMajor(f.major);
  SetVersionMinor(0);
  SetCreateDate(f.created);
  LinesToNote(f.noteLines, NoteArea(), kivimg::kNoteAreaSize);
  SetEventsReadDate(f.eventsRead);
  SetZestaw1ReadDate(f.zestaw1Read);
  SetZestaw2ReadDate(f.zestaw2Read);
  SetReadOptions(f.options);
  SetEventBufferLength(static_cast<uint16_t>(f.events.size()));
  std::copy(f.events.begin(), f.events.end(), EventBuffer());
  SetZestaw1Length(static_cast<uint16_t>(f.zestaw1.size()));
  std::copy(f.zestaw1.begin(), f.zestaw1.end(), Zestaw1());
  SetZestaw2Length(static_cast<uint16_t>(f.zestaw2.size()));
  std::copy(f.zestaw2.begin(), f.zestaw2.end(), Zestaw2());
  if (f.hasIdent) SetIdentification(f.ident);
  return true;
}

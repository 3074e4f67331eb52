#include "archivecore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "eventtables.h"
#include "kivdate.h"
#include "lister.h"

namespace {

constexpr int64_t kUsPerMinute = 60000000;
constexpr int64_t kUsPerTick = 2500;
constexpr double kUsPerDay = 86400000000.0;

// Start of a clock-time record in microseconds; 0 for fields that are no date, as the
// lister takes them.
int64_t ClockTimeUs(const TRecord& rec) {
  if (rec.size() < 6) return 0;
  const int year = rec[5] < 99 ? 2000 + rec[5] : 1900 + rec[5];
  double days = 0;
  if (!TryEncodeDate(year, rec[4], rec[3], days) || rec[2] > 23 || rec[1] > 59) return 0;
  return static_cast<int64_t>(std::llround(days)) * 1440 * kUsPerMinute +
         (rec[2] * 60 + rec[1]) * kUsPerMinute;
}

std::string DefName(const uint8_t* def) {
  const int len = std::min<int>(def[kEvDefName], kEvDefShown - kEvDefName - 1);
  return std::string(reinterpret_cast<const char*>(def + kEvDefName + 1), static_cast<size_t>(len));
}

// Fills start kind, start time and events from the records (clock-time record first).
void Finish(TArchSequence& s, const uint8_t* defs) {
  s.StartKind = 0;
  if (s.Records.size() >= 2 && s.Records[1][0] == kCodeRestart && s.Records.size() >= 3 &&
      s.Records[2][0] == kCodeSwitchgearState) {
    s.StartKind = 2;
  } else if (s.Records.size() >= 2 && s.Records[1][0] == kCodeSwitchgearState) {
    s.StartKind = 1;
  }
  int64_t base = ClockTimeUs(s.Records[0]);
  int64_t start = base;
  bool first = true;
  s.Events.clear();
  for (size_t i = 1; i < s.Records.size(); ++i) {
    const TRecord& r = s.Records[i];
    const uint8_t* def = defs + r[0] * kEventDefSize;
    const int64_t delay =
        def[kEvDefKind] == kKindClockTime || r.size() < 3 ? 0 : ((r[1] << 8) | r[2]);
    const int64_t t = base + delay * kUsPerTick;
    base = t;
    if (first || t < start) start = t;
    first = false;
    s.Events.push_back({static_cast<uint16_t>(i), r[0], t, DefName(def)});
  }
  s.StartUs = start;
}

// SHA-256 (FIPS 180-4), small and self-contained: the archive's content hashes must be the
// same on every engine and in every program that writes into one archive.
class TSha256 {
 public:
  void Add(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      block_[used_++] = data[i];
      if (used_ == 64) Compress();
    }
    bits_ += static_cast<uint64_t>(size) * 8;
  }
  std::array<uint8_t, 32> Finish() {
    const uint64_t bits = bits_;
    const uint8_t one = 0x80;
    Add(&one, 1);
    const uint8_t zero = 0;
    while (used_ != 56) Add(&zero, 1);
    uint8_t len[8];
    for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Add(len, 8);
    std::array<uint8_t, 32> out{};
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<uint8_t>(h_[i] >> (24 - 8 * j));
    return out;
  }

 private:
  static uint32_t Rot(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void Compress() {
    static constexpr uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (uint32_t(block_[4 * i]) << 24) | (uint32_t(block_[4 * i + 1]) << 16) |
             (uint32_t(block_[4 * i + 2]) << 8) | block_[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = Rot(w[i - 15], 7) ^ Rot(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = Rot(w[i - 2], 17) ^ Rot(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 =
          h + (Rot(e, 6) ^ Rot(e, 11) ^ Rot(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (Rot(a, 2) ^ Rot(a, 13) ^ Rot(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
    h_[5] += f;
    h_[6] += g;
    h_[7] += h;
    used_ = 0;
  }

  uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  uint8_t block_[64] = {};
  size_t used_ = 0;
  uint64_t bits_ = 0;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decoding of a URI component; false for a broken escape.
bool PercentDecode(const std::string& in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      out += in[i];
      continue;
    }
    if (i + 2 >= in.size()) return false;
    const int hi = HexDigit(in[i + 1]), lo = HexDigit(in[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

}  // namespace

std::string HexText(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    s += kDigits[data[i] >> 4];
    s += kDigits[data[i] & 15];
  }
  return s;
}

std::string Sha256Hex(const uint8_t* data, size_t size) {
  TSha256 h;
  h.Add(data, size);
  const auto d = h.Finish();
  return HexText(d.data(), d.size());
}

std::string TArchSequence::FirstRecordHex() const {
  // The first event after the clock-time record; an empty sequence is known by its clock.
  const TRecord& r = Records.size() >= 2 ? Records[1] : Records.front();
  return HexText(r.data(), r.size());
}

std::string TArchSequence::Hash() const {
  const std::vector<uint8_t> blob = SerializeRecords(Records);
  return Sha256Hex(blob.data(), blob.size());
}

std::vector<TArchSequence> ExtractSequences(const uint8_t* buffer, size_t length,
                                            const uint8_t* defs) {
  std::vector<TArchSequence> out;
  const TBufferWalk walk = WalkEventBuffer(buffer, length, defs);
  for (const std::vector<TBufferRecord>& records : CutSequences(buffer, walk.Records)) {
    TArchSequence s;
    s.Number = static_cast<uint16_t>(out.size() + 1);
    s.Records.reserve(records.size());
    for (const TBufferRecord& r : records)
      s.Records.emplace_back(buffer + r.Offset, buffer + r.Offset + r.Length);
    Finish(s, defs);
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<TArchSequence> ExtractSequences(const TKiv& kiv) {
  if (kiv.EventDefs.size() < static_cast<size_t>(kEventDefsBytes)) return {};
  return ExtractSequences(kiv.EventBuffer(), kiv.EventBufferLength(), kiv.EventDefs.data());
}

TSeqMerge CompareSequences(const TRecords& stored, const TRecords& seen) {
  const size_t common = std::min(stored.size(), seen.size());
  for (size_t i = 0; i < common; ++i)
    if (stored[i] != seen[i]) return TSeqMerge::Conflict;
  if (stored.size() == seen.size()) return TSeqMerge::Same;
  return seen.size() > stored.size() ? TSeqMerge::Grown : TSeqMerge::Prefix;
}

std::vector<uint8_t> SerializeRecords(const TRecords& records) {
  std::vector<uint8_t> blob;
  for (const TRecord& r : records) {
    blob.push_back(static_cast<uint8_t>(r.size()));
    blob.insert(blob.end(), r.begin(), r.end());
  }
  return blob;
}

bool ParseRecords(const uint8_t* data, size_t size, TRecords& records) {
  records.clear();
  size_t p = 0;
  while (p < size) {
    const size_t len = data[p];
    if (len == 0 || p + 1 + len > size) return false;
    records.emplace_back(data + p + 1, data + p + 1 + len);
    p += 1 + len;
  }
  return !records.empty();
}

int64_t DaysToUs(double days) {
  return static_cast<int64_t>(std::llround(days * kUsPerDay));
}
double UsToDays(int64_t us) {
  return static_cast<double>(us) / kUsPerDay;
}

std::string DefaultDeviceName(const TKiv& kiv) {
  std::string station = kiv.StationInfo();
  while (!station.empty() && (station.back() == ' ' || station.back() == '\t')) station.pop_back();
  while (!station.empty() && (station.front() == ' ' || station.front() == '\t'))
    station.erase(station.begin());
  if (!station.empty()) return station;
  std::string ident = kiv.Identification();
  if (ident.empty()) ident = "unidentified";
  return ident + " #" + std::to_string(kiv.GetReadOptions().SlaveNo);
}

bool BuildSequenceImage(const std::vector<uint8_t>& reading, const TRecords& records,
                        std::vector<uint8_t>& image, std::string& error) {
  if (reading.size() != kivimg::kSize) {
    error = "The stored reading is no registration image";
    return false;
  }
  std::vector<uint8_t> buf;
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    buf.insert(buf.end(), it->begin(), it->end());
  buf.push_back(kCodeJump);
  buf.push_back(kEndMarkerCount);
  if (buf.size() > kivimg::kEventBufferCapacity) {
    error = "The sequence does not fit into an events buffer";
    return false;
  }
  image = reading;
  std::fill(image.begin() + kivimg::kEventBuffer,
            image.begin() + kivimg::kEventBuffer + kivimg::kEventBufferCapacity, 0);
  std::copy(buf.begin(), buf.end(), image.begin() + kivimg::kEventBuffer);
  image[kivimg::kEventBufferLength] = static_cast<uint8_t>(buf.size() & 0xFF);
  image[kivimg::kEventBufferLength + 1] = static_cast<uint8_t>(buf.size() >> 8);
  return true;
}

bool LoadImage(TKiv& kiv, const std::vector<uint8_t>& image) {
  if (image.size() != kivimg::kSize || std::memcmp(image.data(), "KIVS-", 5) != 0) return false;
  const uint16_t evLen = static_cast<uint16_t>(image[kivimg::kEventBufferLength] |
                                               (image[kivimg::kEventBufferLength + 1] << 8));
  if (evLen > kivimg::kEventBufferCapacity) return false;
  std::copy(image.begin(), image.end(), kiv.Image());
  kiv.Modified = false;
  kiv.SetKivType(kiv.GetKivType());
  kiv.LoadDefinitions();
  TKiv::Fire(kiv.OnCompleteZestawNastaw1);
  TKiv::Fire(kiv.OnEvRegCompleted);
  TKiv::Fire(kiv.OnCompleteAll);
  return true;
}

std::string TArchiveLocation::Text() const {
  if (!Postgres) return Path;
  std::string t = "postgresql://";
  if (!User.empty()) t += User + "@";
  if (!Host.empty() && Host[0] != '/') t += Host;
  if (Port != 0) t += ":" + std::to_string(Port);
  t += "/" + DbName;
  if (!Host.empty() && Host[0] == '/') t += "?host=" + Host;
  return t;
}

bool ParseArchiveLocation(const std::string& text, TArchiveLocation& loc, std::string& error) {
  loc = TArchiveLocation{};
  std::string scheme;
  for (const char* s : {"postgresql://", "postgres://"}) {
    if (text.rfind(s, 0) == 0) scheme = s;
  }
  if (scheme.empty()) {
    if (text.empty()) {
      error = "No archive named";
      return false;
    }
    loc.Path = text;
    return true;
  }
  loc.Postgres = true;
  std::string rest = text.substr(scheme.size());
  std::string query;
  if (size_t q = rest.find('?'); q != std::string::npos) {
    query = rest.substr(q + 1);
    rest.resize(q);
  }
  std::string authority = rest, path;
  if (size_t slash = rest.find('/'); slash != std::string::npos) {
    authority = rest.substr(0, slash);
    path = rest.substr(slash + 1);
  }
  const auto bad = [&](const std::string& why) {
    error = "Invalid archive address " + text + ": " + why;
    return false;
  };
  if (size_t at = authority.rfind('@'); at != std::string::npos) {
    std::string userinfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
    std::string user = userinfo, password;
    if (size_t colon = userinfo.find(':'); colon != std::string::npos) {
      user = userinfo.substr(0, colon);
      password = userinfo.substr(colon + 1);
    }
    if (!PercentDecode(user, loc.User) || !PercentDecode(password, loc.Password))
      return bad("broken %-escape");
  }
  std::string host = authority, port;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return bad("unclosed [");
    host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return bad("text after ]");
      port = authority.substr(close + 2);
    }
  } else if (size_t colon = authority.rfind(':'); colon != std::string::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (!PercentDecode(host, loc.Host)) return bad("broken %-escape");
  const auto setPort = [&](const std::string& p) {
    if (p.empty()) return true;
    if (p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos) return false;
    loc.Port = std::stoi(p);
    return loc.Port > 0 && loc.Port < 65536;
  };
  if (!setPort(port)) return bad("invalid port " + port);
  if (!PercentDecode(path, loc.DbName)) return bad("broken %-escape");
  size_t start = 0;
  while (start < query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    if (eq == std::string::npos) return bad("parameter without value: " + pair);
    std::string key, value;
    if (!PercentDecode(pair.substr(0, eq), key) || !PercentDecode(pair.substr(eq + 1), value))
      return bad("broken %-escape");
    if (key == "host") {
      loc.Host = value;
    } else if (key == "port") {
      if (!setPort(value)) return bad("invalid port " + value);
    } else if (key == "user") {
      loc.User = value;
    } else if (key == "dbname") {
      loc.DbName = value;
    } else if (key == "password") {
      loc.Password = value;
    } else {
      if (key.find_first_of(" ;'\\") != std::string::npos ||
          value.find_first_of(" ;'\\") != std::string::npos)
        return bad("parameter " + key + " holds blanks, quotes or \";\"");
      loc.Options.push_back(key + "=" + value);
    }
  }
  if (loc.DbName.empty()) return bad("no database name");
  return true;
}

bool ResolveArchiveLocation(const std::string& envValue, const std::string& iniValue,
                            const std::string& defaultFile, TArchiveLocation& loc,
                            std::string& error) {
  if (!envValue.empty()) return ParseArchiveLocation(envValue, loc, error);
  if (!iniValue.empty()) {
    if (!ParseArchiveLocation(iniValue, loc, error)) return false;
    if (!loc.Password.empty()) {
      error =
          "The archive address in kiv.ini holds a password; keep it in ~/.pgpass or "
          "PGPASSWORD instead";
      return false;
    }
    return true;
  }
  return ParseArchiveLocation(defaultFile, loc, error);
}

bool ParseArchiveDate(const std::string& text, bool endOfDay, int64_t& us) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  double days = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) == 3) {
    if (!TryEncodeDate(y, mo, d, days)) return false;
    us = DaysToUs(days + (endOfDay ? 1 : 0));
    return true;
  }
  int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail);
  if (n != 5 && n != 6) return false;
  if (!TryEncodeDate(y, mo, d, days) || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
    return false;
  us = DaysToUs(days) + ((h * 60 + mi) * 60 + s) * int64_t{1000000};
  return true;
}

bool ParseEventCode(const std::string& text, uint8_t& code) {
  std::string t = text;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
  if (!t.empty() && (t.back() == 'h' || t.back() == 'H')) t.pop_back();
  if (t.empty() || t.size() > 2) return false;
  int v = 0;
  for (char c : t) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    v = v * 16 + digit;
  }
  code = static_cast<uint8_t>(v);
  return true;
}

std::string LowerAscii(const std::string& text) {
  std::string s = text;
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::string w;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) words.push_back(w);
  return words;
}

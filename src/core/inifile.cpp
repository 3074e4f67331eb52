#include "inifile.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "atomicfile.h"
#include "numfmt.h"
#include "textcodec.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

// The text to write for a value so that reading it back gives the value unchanged.
std::string EncodeValue(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  const bool needsQuotes =
      !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                         (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                          value.back() == value.front()));
  return needsQuotes ? "\"" + value + "\"" : value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseIniInteger(const std::string& text, int32_t& value) {
  const std::string t = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  uint32_t magnitude = 0;
  if (t.compare(i, 2, "0x") == 0 || t.compare(i, 2, "0X") == 0 || t.compare(i, 1, "$") == 0) {
    i += t[i] == '$' ? 1 : 2;
    const size_t digits = t.size() - i;
    if (digits == 0 || digits > 8) return false;
    for (; i < t.size(); ++i) {
      const int d = HexDigit(t[i]);
      if (d < 0) return false;
      magnitude = (magnitude << 4) | static_cast<uint32_t>(d);
    }
  } else {
    if (i == t.size()) return false;
    uint64_t v = 0;
    for (; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      v = v * 10 + static_cast<uint64_t>(t[i] - '0');
      if (v > 2147483648ULL) return false;
    }
    if (v == 2147483648ULL && !negative) return false;
    magnitude = static_cast<uint32_t>(v);
  }
  // Two's complement wrap: "$FFFFFFFF" is -1, "-$FB" is -251.
  value = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
  return true;
}

TIniFile::TIniFile(const std::string& fileName) : fileName_(fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return;
  LoadFromText(DecodeTextFile(bytes));
}

void TIniFile::LoadFromText(const std::string& text) {
  lines_.clear();
  eol_ = "\n";
  size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::string current;
  bool inSection = false;  // keys before the first section header belong to none
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    const size_t end = nl == std::string::npos ? text.size() : nl;
    Line line;
    line.text = text.substr(pos, end - pos);
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      eol_ = "\r\n";
    }
    pos = nl == std::string::npos ? text.size() : nl + 1;

    const std::string t = Trim(line.text);
    if (!t.empty() && t[0] == '[') {
      const size_t close = t.find(']');
      current =
          Lower(Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      line.isSection = true;
      inSection = true;
    } else if (inSection && !t.empty() && t[0] != ';') {
      const size_t eq = t.find('=');
      if (eq != std::string::npos) {
        line.key = Lower(Trim(t.substr(0, eq)));
        line.value = Unquote(Trim(t.substr(eq + 1)));
      }
    }
    line.section = current;
    lines_.push_back(std::move(line));
  }
}

const TIniFile::Line* TIniFile::Find(const std::string& section, const std::string& key) const {
  const std::string s = Lower(Trim(section));
  const std::string k = Lower(Trim(key));
  if (k.empty()) return nullptr;
  for (const Line& line : lines_)
    if (!line.isSection && line.key == k && line.section == s) return &line;
  return nullptr;
}

bool TIniFile::SectionExists(const std::string& section) const {
  const std::string s = Lower(Trim(section));
  for (const Line& line : lines_)
    if (line.isSection && line.section == s) return true;
  return false;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Find(section, key) != nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  const Line* line = Find(section, key);
  return line ? line->value : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t def) const {
  const Line* line = Find(section, key);
  int32_t value = 0;
  return line && ParseIniInteger(line->value, value) ? value : def;
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
  const Line* line = Find(section, key);
  double value = 0.0;
  return line && TryStrToFloat(line->value, value) ? value : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  const Line* line = Find(section, key);
  int32_t value = 0;
  return line && ParseIniInteger(line->value, value) ? value != 0 : def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  const std::string s = Lower(Trim(section));
  const std::string k = Lower(Trim(key));
  if (k.empty()) return;
  const std::string encoded = EncodeValue(value);

  for (Line& line : lines_) {
    if (!line.isSection && line.key == k && line.section == s) {
      // Keep the key as the file spells it, and its indentation.
      std::string keyPart = line.text.substr(0, line.text.find('='));
      while (!keyPart.empty() && IsBlank(keyPart.back())) keyPart.pop_back();
      line.text = keyPart + "=" + encoded;
      line.value = value;
      return;
    }
  }

  Line added;
  added.text = Trim(key) + "=" + encoded;
  added.section = s;
  added.key = k;
  added.value = value;

  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].isSection && lines_[i].section == s) {
      // After the section's last non-blank line, so blank separators stay between sections.
      size_t last = i;
      for (size_t j = i + 1; j < lines_.size() && !lines_[j].isSection; ++j)
        if (!Trim(lines_[j].text).empty()) last = j;
      lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1), std::move(added));
      return;
    }
  }

  if (!lines_.empty() && !Trim(lines_.back().text).empty()) {
    Line blank;
    blank.section = lines_.back().section;
    lines_.push_back(std::move(blank));
  }
  Line header;
  header.text = "[" + Trim(section) + "]";
  header.section = s;
  header.isSection = true;
  lines_.push_back(std::move(header));
  lines_.push_back(std::move(added));
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

std::string TIniFile::ToText() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.text;
    out += eol_;
  }
  return out;
}

bool TIniFile::UpdateFile(std::string* error) const {
  std::string reason = "No file name";
  const bool ok = !fileName_.empty() && WriteFileAtomically(fileName_, ToText(), reason);
  if (!ok && error != nullptr) *error = reason;
  return ok;
}

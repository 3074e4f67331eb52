// INI files read the way the Windows profile functions read them: section and key names
// compared without regard to case, blanks around keys and values trimmed, a value in a
// matching pair of double or single quotes loses them, ";" starts a comment line, the
// first occurrence of a key in a section wins, a UTF-8 byte-order mark is ignored.
// Writing keeps the file's other lines and comments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIniFile {
 public:
  TIniFile() = default;
  // Reads the file; a missing or unreadable file reads as an empty one.
  explicit TIniFile(const std::string& fileName);

  void LoadFromText(const std::string& text);
  const std::string& FileName() const { return fileName_; }

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Raw value text (trimmed, quotes removed); def when the key is missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // Integer text: optional sign, decimal digits, or "0x"/"0X"/"$" and hexadecimal digits
  // (up to 32 bits, wrapping to signed); anything else gives def.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  // Decimal number with the program's decimal separator ","; anything else gives def.
  double ReadFloat(const std::string& section, const std::string& key, double def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  // Writes the file whole or not at all (WriteFileAtomically); false when it cannot be
  // written, with the reason in *error when given.
  bool UpdateFile(std::string* error = nullptr) const;
  std::string ToText() const;

 private:
  struct Line {
    std::string text;     // the line as it stands in the file
    std::string section;  // lower-cased section the line belongs to ("" before any)
    std::string key;      // lower-cased key, empty for other lines
    std::string value;    // trimmed, unquoted value
    bool isSection = false;
  };
  const Line* Find(const std::string& section, const std::string& key) const;

  std::string fileName_;
  std::vector<Line> lines_;
  std::string eol_ = "\n";  // line end written back: the file's own ("\r\n" when it used it)
};

// Integer parsing shared with the INI reader; false when the text is not an integer.
bool ParseIniInteger(const std::string& text, int32_t& value);

#include "kivfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "atomicfile.h"
#include "messages.h"
#include "textcodec.h"

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

bool WriteRawFile(const std::string& fileName, const uint8_t* bytes, size_t count) {
  TAtomicFile file(fileName);
  // A save that cannot start and one that fails part-way say the same, then why.
  if (!file.Open()) {
    Messages().Show(MsgIcon::Error, "Error", "Error Not saved.\n" + file.Error());
    return false;
  }
  if (!file.Write(bytes, count) || !file.Commit())
    throw EInOutError("Error Not saved.\n" + file.Error());
  return true;
}

bool ReadRawFile(const std::string& fileName, std::vector<uint8_t>& content, size_t maxSize) {
  content.clear();
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  constexpr size_t kChunk = 65536;
  while (content.size() < maxSize) {
    size_t want = std::min(kChunk, maxSize - content.size());
    size_t old = content.size();
    content.resize(old + want);
    in.read(reinterpret_cast<char*>(content.data() + old), static_cast<std::streamsize>(want));
    content.resize(old + static_cast<size_t>(in.gcount()));
    if (!in) break;
  }
  return !in.bad();
}

void NoteToLines(const uint8_t* area, size_t size, std::vector<std::string>& lines) {
  if (size == 0 || area == nullptr) return;
  std::string current;
  // The last byte always counts as NUL, so the walk stops before it.
  for (size_t i = 0; i + 1 < size; ++i) {
    uint8_t b = area[i];
    if (b == 0) {
      if (current.empty()) return;
      lines.push_back(Cp1250ToUtf8(current));
      current.clear();
    } else if (b == 13 || b == 10) {
      lines.push_back(Cp1250ToUtf8(current));
      if (i + 2 < size && (area[i + 1] == 13 || area[i + 1] == 10)) ++i;
      current.clear();
    } else {
      current.push_back(static_cast<char>(b));
    }
  }
}

void LinesToNote(const std::vector<std::string>& lines, uint8_t* area, size_t size) {
  if (size == 0 || area == nullptr) return;
  size_t pos = 0;
  for (const std::string& utf8 : lines) {
    if (pos >= size) break;
    std::string line = Utf8ToCp1250(utf8);
    // A line goes in only with its own terminator and room for the ending NUL.
    size_t need = line.empty() ? 2 : line.size() + 1;
    if (pos + need + 1 > size) break;
    if (line.empty()) {
      area[pos++] = 13;
      area[pos++] = 10;
    } else {
      std::memcpy(area + pos, line.data(), line.size());
      pos += line.size();
      area[pos++] = 0;
    }
  }
  if (pos < size) area[pos] = 0;
}

long NoteBytesLeft(const std::vector<std::string>& lines, size_t size) {
  // As LinesToNote stores them: each line with its terminator, then the ending NUL.
  long used = 1;
  for (const std::string& utf8 : lines) {
    const size_t bytes = Utf8ToCp1250(utf8).size();
    used += static_cast<long>(bytes == 0 ? 2 : bytes + 1);
  }
  return static_cast<long>(size) - used;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string ExtractFileName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FindFileNoCase(const std::string& dir, const std::string& name) {
  std::string exact = JoinPath(dir, name);
  if (FileExists(exact)) return exact;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return "";
  std::string wanted = LowerAscii(name);
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (LowerAscii(e->d_name) == wanted && FileExists(JoinPath(dir, e->d_name))) {
      found = JoinPath(dir, e->d_name);
      break;
    }
  }
  ::closedir(d);
  return found;
}

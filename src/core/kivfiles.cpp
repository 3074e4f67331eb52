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

#include "messages.h"
#include "textcodec.h"

namespace {

// A save that fails part-way says so as one that cannot start does, then why.
std::string ErrnoText(const std::string& what, const std::string& fileName) {
  return "Error Not saved.\n" + what + " " + fileName + ": " + std::strerror(errno);
}

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    ssize_t n = ::write(fd, bytes, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// Temporary files of a save are named after their target with this and six characters
// of mkstemp, so they can be told from anything else beside the target.
constexpr const char* kTempTag = ".kivsave-";

// A save killed part-way (power cut, kill -9) leaves its temporary file. The next save of
// the same file removes those whose writer is gone: a save holds a lock on its temporary
// until it ends, so a temporary that can be locked belongs to nobody.
void RemoveStaleTemporaries(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : fileName.substr(0, slash + 1);
  const std::string prefix =
      (slash == std::string::npos ? fileName : fileName.substr(slash + 1)) + kTempTag;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = (slash == std::string::npos ? "" : dir) + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
  }
  ::closedir(d);
}

}  // namespace

// The file a save really replaces: a link is followed so that the link itself stays.
std::string SaveTarget(const std::string& fileName) {
  struct stat st {};
  if (::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(fileName.c_str(), nullptr)) {
      std::string target = real;
      std::free(real);
      return target;
    }
  }
  return fileName;
}

bool WriteRawFile(const std::string& requestedName, const uint8_t* bytes, size_t count) {
  const std::string fileName = SaveTarget(requestedName);
  struct stat existing {};
  // Only a regular file may be replaced: renaming over a device or a pipe would destroy it.
  if (::stat(fileName.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    Messages().Show(MsgIcon::Error, "Error", "Error Not saved.");
    return false;
  }
  RemoveStaleTemporaries(fileName);
  std::string temp = fileName + kTempTag + "XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    Messages().Show(MsgIcon::Error, "Error", "Error Not saved.");
    return false;
  }
  // Held until the save ends, so another save of this file never takes it for stale.
  ::flock(fd, LOCK_EX);
  // mkstemp creates the file private; give it the permissions a new file would get.
  mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat old {};
  mode_t mode = (::stat(fileName.c_str(), &old) == 0) ? (old.st_mode & 07777) : (0666 & ~mask);
  ::fchmod(fd, mode);

  bool written = WriteAll(fd, bytes, count) && ::fsync(fd) == 0;
  int savedErrno = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    savedErrno = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    errno = savedErrno;
    throw EInOutError(ErrnoText("Cannot write", fileName));
  }
  if (::rename(temp.c_str(), fileName.c_str()) != 0) {
    savedErrno = errno;
    ::unlink(temp.c_str());
    errno = savedErrno;
    throw EInOutError(ErrnoText("Cannot replace", fileName));
  }
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

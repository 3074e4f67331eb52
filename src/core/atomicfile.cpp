#include "atomicfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Temporaries are named after their target with this and six characters of mkstemp, so
// they can be told from anything else beside the target.
constexpr const char* kTempTag = ".kivsave-";

std::string FolderOf(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  return slash == std::string::npos ? "." : fileName.substr(0, slash + 1);
}

// A write killed part-way (power cut, kill -9) leaves its temporary. The next write of the
// same file removes those whose writer is gone: a writer holds a lock on its temporary
// until it ends, so a temporary that can be locked belongs to nobody.
void RemoveStaleTemporaries(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const std::string dir = FolderOf(fileName);
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

bool ReadAll(int fd, std::string& content) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  content.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::pread(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The rename itself is made durable as far as the folder allows; a folder that cannot be
// synced (some network file systems) still holds the complete file.
void SyncFolder(const std::string& fileName) {
  int fd = ::open(FolderOf(fileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\0';
}

bool PdfLooksComplete(std::string_view b) {
  if (b.substr(0, 5) != "%PDF-") return false;
  size_t end = b.size();
  while (end > 0 && IsBlank(b[end - 1])) --end;
  if (end < 5 || b.substr(end - 5, 5) != "%%EOF") return false;
  const size_t sx = b.rfind("startxref", end - 5);
  if (sx == std::string_view::npos) return false;
  size_t pos = sx + 9;
  while (pos < end && IsBlank(b[pos])) ++pos;
  uint64_t offset = 0;
  size_t digits = 0;
  for (; pos < end && b[pos] >= '0' && b[pos] <= '9' && digits < 19; ++pos, ++digits)
    offset = offset * 10 + static_cast<uint64_t>(b[pos] - '0');
  if (digits == 0 || offset >= sx) return false;
  // A table or a cross-reference stream object ("12 0 obj") starts where it says: bytes
  // lost before it would have moved it.
  const std::string_view at = b.substr(static_cast<size_t>(offset), 32);
  if (at.substr(0, 4) == "xref") return true;
  return !at.empty() && at[0] >= '0' && at[0] <= '9' && at.find(" obj") != std::string_view::npos;
}

uint32_t BigEndian32(std::string_view b, size_t pos) {
  auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(b[pos + i])); };
  return (u(0) << 24) | (u(1) << 16) | (u(2) << 8) | u(3);
}

bool PngLooksComplete(std::string_view b) {
  static constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
  if (b.substr(0, 8) != kSignature) return false;
  size_t pos = 8;
  while (b.size() - pos >= 12) {
    const uint32_t length = BigEndian32(b, pos);
    if (length > 0x7FFFFFFFu || length > b.size() - pos - 12) return false;
    const size_t next = pos + 12 + length;
    if (b.substr(pos + 4, 4) == "IEND") return next == b.size();
    pos = next;
  }
  return false;
}

}  // namespace

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

bool FileLooksComplete(TFileCheck check, std::string_view bytes) {
  switch (check) {
    case TFileCheck::Pdf:
      return PdfLooksComplete(bytes);
    case TFileCheck::Png:
      return PngLooksComplete(bytes);
    case TFileCheck::None:
      break;
  }
  return true;
}

TAtomicFile::TAtomicFile(const std::string& fileName) : fileName_(fileName) {}

TAtomicFile::~TAtomicFile() {
  Discard();
}

bool TAtomicFile::Fail(const std::string& what, int err) {
  error_ = what + " " + fileName_ + ": " + std::strerror(err);
  Discard();
  return false;
}

void TAtomicFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool TAtomicFile::Open() {
  Discard();
  finished_ = false;
  error_.clear();
  target_ = SaveTarget(fileName_);
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  // Only a regular file may be replaced: renaming over a device or a pipe would destroy it.
  if (exists && !S_ISREG(old.st_mode)) {
    error_ = "Cannot write " + fileName_ + ": not a regular file";
    return false;
  }
  RemoveStaleTemporaries(target_);
  std::string temp = target_ + kTempTag + "XXXXXX";
  fd_ = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd_ < 0) return Fail("Cannot write", errno);
  temp_ = temp;
  // Held until the write ends, so another write of this file never takes it for stale.
  ::flock(fd_, LOCK_EX);
  // mkstemp creates the file private: give it the permissions of the file it replaces, or
  // those a new file would get.
  mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd_, exists ? (old.st_mode & 07777) : (0666 & ~mask)) != 0)
    return Fail("Cannot write", errno);
  return true;
}

bool TAtomicFile::Write(const void* bytes, size_t count) {
  if (fd_ < 0) return false;
  if (!WriteAll(fd_, static_cast<const uint8_t*>(bytes), count)) return Fail("Cannot write", errno);
  return true;
}

bool TAtomicFile::Check(TFileCheck check) {
  // Another writer must have written this very file, not put another in its place.
  struct stat mine {
  }, named{};
  if (::fstat(fd_, &mine) != 0) return Fail("Cannot write", errno);
  if (::stat(temp_.c_str(), &named) != 0) return Fail("Cannot write", errno);
  if (mine.st_ino != named.st_ino || mine.st_dev != named.st_dev)
    return Fail("Cannot write", ESTALE);
  if (check == TFileCheck::None) return true;
  std::string content;
  if (!ReadAll(fd_, content)) return Fail("Cannot write", errno != 0 ? errno : EIO);
  if (FileLooksComplete(check, content)) return true;
  error_ = "Cannot write " + fileName_ + ": the file came out incomplete (" +
           std::to_string(content.size()) + " bytes; full disk or file size limit?)";
  Discard();
  return false;
}

bool TAtomicFile::Finish(TFileCheck check) {
  if (finished_) return !temp_.empty();
  if (fd_ < 0) return false;
  if (::fsync(fd_) != 0) return Fail("Cannot write", errno);
  if (!Check(check)) return false;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail("Cannot write", errno);
  finished_ = true;
  return true;
}

bool TAtomicFile::Commit(TFileCheck check) {
  if (!finished_ && !Finish(check)) return false;
  if (temp_.empty()) return false;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return Fail("Cannot replace", errno);
  temp_.clear();
  SyncFolder(target_);
  return true;
}

bool WriteFileAtomically(const std::string& fileName, std::string_view content,
                         std::string& error) {
  return WriteFilesTogether({{fileName, content}}, error);
}

bool ProduceFileAtomically(
    const std::string& fileName, TFileCheck check,
    const std::function<bool(const std::string& tempPath, std::string& error)>& produce,
    std::string& error) {
  TAtomicFile file(fileName);
  if (!file.Open()) {
    error = file.Error();
    return false;
  }
  std::string reason;
  if (!produce(file.TempPath(), reason)) {
    error = reason.empty() ? "Cannot write " + fileName : reason;
    return false;
  }
  if (!file.Commit(check)) {
    error = file.Error();
    return false;
  }
  return true;
}

bool WriteFilesTogether(const std::vector<std::pair<std::string, std::string_view>>& files,
                        std::string& error) {
  std::vector<std::unique_ptr<TAtomicFile>> written;
  for (const auto& [name, content] : files) {
    written.push_back(std::make_unique<TAtomicFile>(name));
    TAtomicFile& f = *written.back();
    if (!f.Open() || !f.Write(content.data(), content.size()) || !f.Finish()) {
      error = f.Error();
      return false;
    }
  }
  for (const auto& f : written) {
    if (!f->Commit()) {
      error = f->Error();
      return false;
    }
  }
  return true;
}

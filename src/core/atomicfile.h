// Every file the program and its tools write is written whole or not at all: the content
// goes to a temporary file beside the target (same folder, so same file system), is flushed
// and synced, checked, and only then renamed over the target. On any failure the previous
// file stays as it was, the temporary is removed and the error names the file and why.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What a temporary written by another writer (a Qt painter, which may not report a failed
// write or close) must look like before it may replace its target.
enum class TFileCheck {
  None,  // whatever the writer reported
  Pdf,   // ends with "%%EOF" and its last startxref points at its cross-reference table
  Png,   // the signature, then whole chunks up to an IEND that ends the file
};

// The file a write really replaces: a symbolic link is followed so that the link stays.
std::string SaveTarget(const std::string& fileName);

// True when the bytes are a complete file of the kind (TFileCheck::None: always).
bool FileLooksComplete(TFileCheck check, std::string_view bytes);

// One file written through its temporary. Open creates the temporary (with the permissions
// of the file it replaces, or those of a new file); Write appends to it; Commit syncs,
// closes, checks and renames. Destroying an uncommitted TAtomicFile removes the temporary.
// Every failure leaves the target untouched and Error() says "Cannot write NAME: reason"
// (or "Cannot replace NAME: reason" when only the rename failed).
class TAtomicFile {
 public:
  explicit TAtomicFile(const std::string& fileName);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  bool Open();
  bool Write(const void* bytes, size_t count);
  // Flush, sync, close and check; the temporary is then complete but not yet in place.
  bool Finish(TFileCheck check = TFileCheck::None);
  // Finish when not yet done, then rename over the target.
  bool Commit(TFileCheck check = TFileCheck::None);
  // Removes the temporary (nothing happens to the target).
  void Discard();

  // The name the caller gave, the file really replaced, and the temporary (empty before
  // Open). Another writer may write the temporary by its name between Open and Commit.
  const std::string& FileName() const { return fileName_; }
  const std::string& Target() const { return target_; }
  const std::string& TempPath() const { return temp_; }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& what, int err);
  bool Check(TFileCheck check);

  std::string fileName_;
  std::string target_;
  std::string temp_;
  std::string error_;
  int fd_ = -1;
  bool finished_ = false;
};

// The content written as fileName; false with error set when it could not be.
bool WriteFileAtomically(const std::string& fileName, std::string_view content, std::string& error);

// A file another writer produces by name: produce(tempPath) writes the temporary and returns
// false with error set when it could not; the result then must pass check before it replaces
// fileName. Exceptions from produce pass through, the temporary removed.
bool ProduceFileAtomically(
    const std::string& fileName, TFileCheck check,
    const std::function<bool(const std::string& tempPath, std::string& error)>& produce,
    std::string& error);

// Files that belong together (a COMTRADE .cfg and .dat): all are written, synced and checked
// before the first is renamed, so a failure while writing (full disk, size limit, I/O error)
// changes none of them. The renames follow in the given order: only a rename that fails
// after an earlier one succeeded (the folder made read-only in between) or a stop of the
// machine between two renames leaves the earlier files new and the later ones old; the
// error then names the first file not replaced. Put last the file a reader opens first.
bool WriteFilesTogether(const std::vector<std::pair<std::string, std::string_view>>& files,
                        std::string& error);

// Raw files and the note text area of the registration image.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// An error while writing or closing a file, raised to the caller.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A registration file can never be larger than this; anything bigger is no registration.
constexpr size_t kMaxRegistrationFileSize = 131072;

// Writes count bytes to the file, replacing it. The bytes go to a temporary file beside the
// target that is then renamed over it, so a failed or interrupted write never destroys
// the previous file (TAtomicFile). False when the file cannot be created ("Error Not saved."
// and the reason on a second line are shown); raises EInOutError with the same text when
// writing fails part-way.
bool WriteRawFile(const std::string& fileName, const uint8_t* bytes, size_t count);
// The whole content of the file, at most maxSize bytes; false when it cannot be opened.
bool ReadRawFile(const std::string& fileName, std::vector<uint8_t>& content,
                 size_t maxSize = SIZE_MAX);

// Note lines are UTF-8 here and Windows-1250 bytes in the area.
void NoteToLines(const uint8_t* area, size_t size, std::vector<std::string>& lines);
void LinesToNote(const std::vector<std::string>& lines, uint8_t* area, size_t size);
// The bytes of an area of `size` that the lines leave free (negative: that many too many;
// LinesToNote would drop lines).
long NoteBytesLeft(const std::vector<std::string>& lines, size_t size);

// Case-insensitive file lookup: the exact name first, then a name that differs only in
// case in the same directory. Empty when there is none.
std::string FindFileNoCase(const std::string& dir, const std::string& name);
bool FileExists(const std::string& path);
std::string JoinPath(const std::string& dir, const std::string& name);
std::string ExtractFileName(const std::string& path);

// The definitions directory: $KIVSVC_INSTALLDIR when set, else the executable's directory
// when it holds a ".set" file, else ../share/kivsvc beside the executable when it exists,
// else the executable's directory.
std::string InstallDir();
std::string ExecutableDir();

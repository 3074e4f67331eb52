#include "filestamp.h"

#include <vector>

#include "kivfiles.h"

uint64_t ContentHash(const uint8_t* bytes, size_t count) {
  uint64_t h = 14695981039346656037ULL;
  for (size_t i = 0; i < count; ++i) {
    h ^= bytes[i];
    h *= 1099511628211ULL;
  }
  return h;
}

TFileStamp StampOfFile(const std::string& path) {
  TFileStamp stamp;
  std::vector<uint8_t> content;
  if (!ReadRawFile(path, content)) return stamp;
  stamp.Exists = true;
  stamp.Size = content.size();
  stamp.Hash = ContentHash(content.data(), content.size());
  return stamp;
}

bool ChangedOnDisk(const TFileStamp& recorded, const TFileStamp& now) {
  if (!now.Exists) return false;
  if (!recorded.Exists) return true;
  return now.Size != recorded.Size || now.Hash != recorded.Hash;
}

// What a registration file held when the window loaded or saved it, to tell later whether
// someone else (kivtool, another program, another computer on a share) wrote it meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct TFileStamp {
  bool Exists = false;
  uint64_t Size = 0;
  uint64_t Hash = 0;  // of the whole content
};

// A 64-bit FNV-1a hash: enough to tell two versions of one file apart, not a safeguard
// against someone forging a collision.
uint64_t ContentHash(const uint8_t* bytes, size_t count);

// The stamp of the file as it is now; Exists is false when it cannot be read.
TFileStamp StampOfFile(const std::string& path);

// Whether the file now holds something else than it held when recorded was taken. A file
// gone since has nothing to lose; a file that appeared where none was has. The time of the
// last write does not count: the same bytes written again (a copy, a touch) lose nothing,
// and a share's coarse times could hide a real change, which the content shows.
bool ChangedOnDisk(const TFileStamp& recorded, const TFileStamp& now);

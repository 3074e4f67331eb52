// Pieces every fuzz target shares: a scratch folder of this process for the targets whose
// code reads files, and property checks that stop the run with a message (libFuzzer then
// keeps the input as a crash artifact; the corpus replay fails the test).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

[[noreturn]] inline void FuzzFail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(cond)                              \
  do {                                                \
    if (!(cond)) FuzzFail(#cond, __FILE__, __LINE__); \
  } while (0)

// A folder of this process only, removed when the process exits normally. Forks of
// libFuzzer's -jobs each get their own because the process id is part of the name.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("kivsvcfuzz" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(
          std::filesystem::temp_directory_path() / ("kivsvcfuzz" + std::to_string(::getpid())), ec);
    });
    return p.string();
  }();
  return dir;
}

inline std::string ScratchFile(const std::string& name) {
  return ScratchDir() + "/" + name;
}

inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = ScratchFile(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  FUZZ_CHECK(out.good());
  return path;
}

// Runs a fuzz target over files without libFuzzer, so every build (any compiler, with or
// without sanitizers) replays the seed corpus and the inputs of past findings as a test.
// Arguments are files or folders; a folder stands for every file in it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // A copy of exactly the input's size, so a read past its end is caught under ASan.
  std::vector<uint8_t> exact(bytes);
  static uint8_t none = 0;  // libFuzzer never passes a null pointer, not even for no bytes
  LLVMFuzzerTestOneInput(exact.empty() ? &none : exact.data(), exact.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    // Absolute, since a target may change the current folder.
    std::filesystem::path p = std::filesystem::absolute(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
    } else {
      files.push_back(p);
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "no inputs\n");
    return 1;
  }
  int failures = 0;
  for (const auto& f : files) failures += Replay(f);
  std::printf("%zu inputs replayed\n", files.size());
  return failures == 0 ? 0 : 1;
}

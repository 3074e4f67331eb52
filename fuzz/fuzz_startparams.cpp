// Start-up parameters: any text either fails with a message or sets up the registration
// from the raw files it names, never holding more than each area's capacity. File names
// are kept to the current folder, a scratch folder holding raw files of several sizes, so
// the parameters never reach the rest of the file system.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "kivbase.h"
#include "messages.h"

namespace {

void PrepareFolder() {
  static bool done = false;
  if (done) return;
  done = true;
  std::vector<uint8_t> bytes(20000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  WriteScratch("buf", bytes.data(), 300);
  WriteScratch("big", bytes.data(), bytes.size());
  WriteScratch("z", bytes.data(), 238);
  WriteScratch("empty", bytes.data(), 0);
  ::mkdir(ScratchFile("dir").c_str(), 0700);
  FUZZ_CHECK(::chdir(ScratchDir().c_str()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFolder();
  const std::string params(reinterpret_cast<const char*>(data), size);
  if (params.find('/') != std::string::npos) return 0;

  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  TKiv kiv;
  kiv.DefsDir = KIVSVC_DEFS_DIR;
  int fired = 0;
  kiv.OnCompleteAll = [&] { ++fired; };
  std::string message = "stale";
  const bool ok = kiv.ParseStartParams(params, message);

  FUZZ_CHECK(messages.shown.empty());
  if (!ok) {
    FUZZ_CHECK(!message.empty());
    FUZZ_CHECK(fired == 0);
  } else {
    FUZZ_CHECK(message.empty() || message == TKiv::kStartParamsHelp);
    FUZZ_CHECK(fired <= 1);
  }
  FUZZ_CHECK(kiv.EventBufferLength() <= kivimg::kEventBufferCapacity);
  FUZZ_CHECK(kiv.Zestaw1Length() <= kivimg::kZestawCapacity);
  FUZZ_CHECK(kiv.Zestaw2Length() <= kivimg::kZestawCapacity);
  FUZZ_CHECK(std::memcmp(kiv.Image(), "KIVS-", 5) == 0);
  FUZZ_CHECK(kiv.GetKivType() <= kivtKivs3);
  return 0;
}

// Registration file loading, both formats: any bytes either load or are refused with
// "File unknown format" leaving the registration exactly as it was; whatever loads keeps
// the image's lengths within their areas and survives load -> save -> load byte for byte.
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "kivbase.h"
#include "kivfiles.h"
#include "messages.h"

namespace {

std::vector<uint8_t> ImageOf(const TKiv& kiv) {
  return std::vector<uint8_t>(kiv.Image(), kiv.Image() + kiv.ImageSize());
}

// Reads every field of the image the way the windows show them.
void ReadEverything(const TKiv& kiv) {
  volatile size_t sink = 0;
  sink = sink + kiv.StationInfo().size() + kiv.Identification().size();
  sink = sink + kiv.IdentificationName().size() + kiv.DefinitionFileCandidate().size();
  TReadOptions o = kiv.GetReadOptions();
  sink = sink + o.SlaveNo + o.ShowAllEvents;
  std::vector<std::string> lines;
  NoteToLines(kiv.NoteArea(), kivimg::kNoteAreaSize, lines);
  for (const std::string& l : lines) sink = sink + l.size();
  sink = sink + static_cast<size_t>(kiv.EndMarkerFound(kiv.EventBuffer(), kiv.EventBufferLength()));
  (void)sink;
}

// KIVSVC_FUZZ_VERBOSE=1 counts, for a replay, the inputs refused and those that went
// through load -> save -> load.
struct TCounts {
  long refused = 0, roundTrips = 0;
  ~TCounts() {
    if (std::getenv("KIVSVC_FUZZ_VERBOSE"))
      std::fprintf(stderr, "refused %ld, load -> save -> load identical %ld\n", refused,
                   roundTrips);
  }
} counts;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = WriteScratch("in.kiv", data, size);
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);

  TKiv kiv;
  kiv.DefsDir = KIVSVC_DEFS_DIR;
  kiv.SetStationInfo("before");
  kiv.Modified = true;
  int fired = 0;
  kiv.OnCompleteZestawNastaw1 = kiv.OnEvRegCompleted = kiv.OnCompleteAll = [&] { ++fired; };
  const std::vector<uint8_t> before = ImageOf(kiv);

  if (!kiv.LoadFromFile(file)) {
    FUZZ_CHECK(messages.shown.size() == 1);
    FUZZ_CHECK(messages.shown[0].text == "File unknown format");
    FUZZ_CHECK(ImageOf(kiv) == before);
    FUZZ_CHECK(kiv.Modified);
    FUZZ_CHECK(fired == 0);
    ++counts.refused;
    return 0;
  }
  FUZZ_CHECK(messages.shown.empty());
  FUZZ_CHECK(fired == 3);
  FUZZ_CHECK(kiv.ImageSize() == kivimg::kSize);
  FUZZ_CHECK(std::memcmp(kiv.Image(), "KIVS-", 5) == 0);
  FUZZ_CHECK(kiv.EventBufferLength() <= kivimg::kEventBufferCapacity);
  FUZZ_CHECK(kiv.Zestaw1Length() <= kivimg::kZestawCapacity);
  FUZZ_CHECK(kiv.Zestaw2Length() <= kivimg::kZestawCapacity);
  FUZZ_CHECK(kiv.Defs.ZnsSize >= 0 && kiv.Defs.ZnsSize <= 256);
  ReadEverything(kiv);

  // Load -> save -> load gives back the same bytes, and saving them again changes nothing.
  const std::vector<uint8_t> loaded = ImageOf(kiv);
  const std::string saved = ScratchFile("saved.kiv");
  kiv.Modified = true;
  FUZZ_CHECK(kiv.SaveToFile(saved));
  FUZZ_CHECK(!kiv.Modified);
  std::vector<uint8_t> savedBytes;
  FUZZ_CHECK(ReadRawFile(saved, savedBytes));
  FUZZ_CHECK(savedBytes == loaded);

  TKiv again;
  again.DefsDir = KIVSVC_DEFS_DIR;
  FUZZ_CHECK(again.LoadFromFile(saved));
  FUZZ_CHECK(messages.shown.empty());
  FUZZ_CHECK(ImageOf(again) == loaded);
  FUZZ_CHECK(again.GetKivType() == kiv.GetKivType());
  // A registration of unknown type keeps whatever definitions the object had loaded
  // before; otherwise the definitions follow from the image alone.
  if (kiv.GetKivType() != kivtUnknown) FUZZ_CHECK(again.Defs.LoadedFile == kiv.Defs.LoadedFile);
  ++counts.roundTrips;
  return 0;
}

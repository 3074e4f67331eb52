// kiv_save_loop FILE: saves two different registrations into FILE by turns until it is
// killed. First it saves them as FILE.a and FILE.b, the two contents FILE may ever hold,
// and prints "ready".
#include <cstdio>
#include <string>

#include "kivbase.h"
#include "kivfiles.h"
#include "messages.h"

namespace {

void Fill(TKiv& kiv, uint8_t seed, const std::string& note) {
  kiv.SetCreateDate(45000.5 + seed);  // the same bytes in every run
  kiv.SetIdentification(seed % 2 ? "K2SV0104" : "K3SV0207");
  for (uint32_t i = 0; i < kivimg::kEventBufferCapacity; ++i)
    kiv.EventBuffer()[i] = static_cast<uint8_t>(i * seed + 1);
  kiv.SetEventBufferLength(static_cast<uint16_t>(kivimg::kEventBufferCapacity - seed));
  for (uint32_t i = 0; i < kivimg::kZestawCapacity; ++i) kiv.Zestaw1()[i] = seed;
  kiv.SetZestaw1Length(238);
  LinesToNote({note, "", "seed " + std::to_string(seed)}, kiv.NoteArea(), kivimg::kNoteAreaSize);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: kiv_save_loop FILE\n");
    return 2;
  }
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  const std::string file = argv[1];
  TKiv a, b;
  Fill(a, 3, "first registration");
  Fill(b, 8, "second registration");
  try {
    if (!a.SaveToFile(file + ".a") || !b.SaveToFile(file + ".b")) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    for (unsigned long i = 0;; ++i) {
      if (!(i % 2 ? b : a).SaveToFile(file)) return 1;
    }
  } catch (const EInOutError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

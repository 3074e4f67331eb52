// Definition file loading: any text loads (defaults fill in, no messages), the values stay
// within what the image can hold, the texts within their lengths, and every setting it
// describes can be shown and edited on a parset of its size without touching other
// registers.
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "kivdefs.h"
#include "matrix.h"
#include "messages.h"
#include "numfmt.h"
#include "settingcells.h"
#include "settings.h"
#include "textcodec.h"

namespace {

// Shows the setting, then edits it with its own text and with a fixed set of texts; each
// edit changes at most the two bytes of its register.
void ShowAndEdit(const TSetDesc& desc, std::vector<uint8_t>& parset, const std::string& extra) {
  const int length = static_cast<int>(parset.size());
  const std::string shown = SettingToText(desc, parset.data(), length);
  FUZZ_CHECK(IsValidUtf8(shown));
  FUZZ_CHECK(Utf8Length(SettingNameCell(desc)) <= 27);
  const int reg = desc.Kind == skVoltage ? 0 : desc.Offset;
  for (const std::string& text : {shown, std::string("1"), std::string("230"), extra}) {
    std::vector<uint8_t> copy = parset;
    try {
      TextToSetting(desc, text, length, copy.data());
    } catch (const EConvertError&) {
      FUZZ_CHECK(copy == parset);
    } catch (const EHexError&) {
      FUZZ_CHECK(copy == parset);
    }
    for (int i = 0; i < length; ++i) {
      if (copy[static_cast<size_t>(i)] != parset[static_cast<size_t>(i)]) {
        FUZZ_CHECK(desc.OffsetValid && desc.Kind != skInt);
        FUZZ_CHECK(i == 2 * reg || i == 2 * reg + 1);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = WriteScratch("in.set", data, size);
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);

  TKivDefs defs;
  defs.LoadFromFile(file);
  FUZZ_CHECK(messages.shown.empty());
  FUZZ_CHECK(defs.LoadedFile == file);
  FUZZ_CHECK(defs.FileName == file);
  FUZZ_CHECK(defs.ZnsSize >= 0 && defs.ZnsSize <= 256);
  FUZZ_CHECK(DefinitionCell(defs) == "def: in.set");
  FUZZ_CHECK(defs.ZestawAdres(1) == defs.Zns1Adres && defs.ZestawAdres(2) == defs.Zns2Adres);
  FUZZ_CHECK(defs.ZestawAdres(3) == 0 && defs.Correction(0) == 0 && defs.Correction(4) == 0);

  // A parset of the size the file gives, its bytes taken from the file itself.
  std::vector<uint8_t> parset(static_cast<size_t>(defs.ZnsSize) * 2);
  for (size_t i = 0; i < parset.size() && size > 0; ++i) parset[i] = data[(i * 31) % size];
  const std::string extra(reinterpret_cast<const char*>(data), std::min<size_t>(size, 12));

  for (int n = 1; n <= defs.SectionCount(); ++n) {
    const std::string title = defs.SectionTitle(n);
    FUZZ_CHECK(title.rfind(std::to_string(n) + ". ", 0) == 0);
    const TSets* sets = defs.SectionSets(n);
    FUZZ_CHECK(sets != nullptr && sets->Count() > 0);
    for (int m = 1; m <= sets->Count(); ++m) {
      const TSetDesc desc = sets->GetSetting(m);
      FUZZ_CHECK(Utf8Length(desc.Name) <= 20);
      FUZZ_CHECK(Utf8Length(desc.Dim) <= 4);
      FUZZ_CHECK(desc.Kind <= skHex);
      ShowAndEdit(desc, parset, extra);
    }
    FUZZ_CHECK(sets->GetSetting(0).Name.empty() &&
               sets->GetSetting(sets->Count() + 1).Kind == skHex);
  }
  FUZZ_CHECK(defs.SectionTitle(0).empty() && defs.SectionSets(defs.SectionCount() + 1) == nullptr);

  // The name already loaded is not read again, even when the file changes.
  const int sections = defs.SectionCount();
  WriteScratch("in.set", nullptr, 0);
  defs.LoadFromFile(file);
  FUZZ_CHECK(defs.SectionCount() == sections);
  return 0;
}

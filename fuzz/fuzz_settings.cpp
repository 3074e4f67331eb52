// TextToSetting and SettingToText for every kind of setting, with any description (any
// register index, scale including 0, NaN and infinities, decimal places), any parset
// length and any text: display never fails, an edit changes at most the two bytes of its
// register and nothing when it is refused, and what is shown reads back as the same value.
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "fuzz_input.h"
#include "kivdefs.h"
#include "matrix.h"
#include "messages.h"
#include "numfmt.h"
#include "settings.h"
#include "textcodec.h"

namespace {

// The voltage a code stands for, in volts: the count times the range's unit.
int Volts(uint16_t code) {
  static const int kUnit[4] = {1, 100, 10, 0};
  return (code & 0x3FF) * kUnit[code >> 14];
}

uint16_t Register(const std::vector<uint8_t>& p, int reg) {
  return static_cast<uint16_t>((p[static_cast<size_t>(2 * reg)] << 8) |
                               p[static_cast<size_t>(2 * reg + 1)]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  TSetDesc desc;
  desc.Kind = in.IntegerInRange<uint8_t>(0, 5);  // 5: a kind no file gives
  desc.Offset = in.Integer<uint8_t>();
  desc.OffsetValid = in.Bool();
  desc.DecPlaces = in.Integer<uint8_t>();
  const uint64_t baseBits = in.Integer<uint64_t>();
  if (in.Bool()) {
    std::memcpy(&desc.Base, &baseBits, sizeof desc.Base);  // any double, NaN included
  } else {
    desc.Base = static_cast<double>(baseBits % 2001) / 1000.0;  // the usual 0 .. 2 range
  }
  const int length = in.IntegerInRange<int>(-1, 512);
  const std::string text = in.String(40);
  // Exactly the parset's bytes, so any access outside it is caught.
  std::vector<uint8_t> parset(static_cast<size_t>(std::max(length, 0)));
  const std::vector<uint8_t> fill = in.Bytes(parset.size());
  std::copy(fill.begin(), fill.end(), parset.begin());

  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  uint8_t* p = parset.empty() ? nullptr : parset.data();

  const std::string shown = SettingToText(desc, p, length);
  FUZZ_CHECK(IsValidUtf8(shown));
  if (length <= 0) FUZZ_CHECK(shown == "?");

  const int reg = desc.Kind == skVoltage ? 0 : desc.Offset;
  const bool holds = length > 0 && 2 * reg + 1 < length;
  const std::vector<uint8_t> before = parset;
  bool refused = false;
  try {
    TextToSetting(desc, text, length, p);
  } catch (const EConvertError&) {
    refused = true;
  } catch (const EHexError&) {
    refused = true;
  }
  for (size_t i = 0; i < parset.size(); ++i) {
    if (parset[i] == before[i]) continue;
    FUZZ_CHECK(!refused && holds && desc.OffsetValid && desc.Kind != skInt && !text.empty());
    FUZZ_CHECK(static_cast<int>(i) == 2 * reg || static_cast<int>(i) == 2 * reg + 1);
  }
  if (desc.Kind == skYesNo && holds && desc.OffsetValid && !text.empty()) {
    const bool allowed = std::string("NnYyTt").find(text[0]) != std::string::npos;
    FUZZ_CHECK(messages.shown.size() == (allowed ? 0u : 1u));
    if (allowed) FUZZ_CHECK(Register(parset, reg) == (text[0] == 'N' || text[0] == 'n' ? 0 : 1));
  } else {
    FUZZ_CHECK(messages.shown.empty());
  }

  // What the grid shows, typed in again, gives the value back: hex and Y/N exactly, a
  // voltage once it went through the encoding (its steps are then already taken; the code
  // may differ where a count rounded up to 1000 reads back in the next range).
  if (!holds || !desc.OffsetValid) return 0;
  const uint16_t value = Register(parset, reg);
  const std::string again = SettingToText(desc, parset.data(), length);
  std::vector<uint8_t> retyped = parset;
  if (desc.Kind == skHex || desc.Kind == 5) {
    TextToSetting(desc, again, length, retyped.data());
    FUZZ_CHECK(Register(retyped, reg) == value);
  } else if (desc.Kind == skYesNo && value <= 1) {
    TextToSetting(desc, again, length, retyped.data());
    FUZZ_CHECK(Register(retyped, reg) == value);
  } else if (desc.Kind == skVoltage && !refused && parset != before) {
    TextToSetting(desc, again, length, retyped.data());
    FUZZ_CHECK(Volts(Register(retyped, reg)) == Volts(value));
  }

  uint16_t code = 0;
  try {
    if (VoltageTextToCode(text, code)) {
      const std::string shownCode = VoltageCodeToText(code);
      uint16_t code2 = 0;
      FUZZ_CHECK(VoltageTextToCode(shownCode, code2));
      FUZZ_CHECK(Volts(code2) == Volts(code));
    }
  } catch (const EConvertError&) {
  }
  return 0;
}

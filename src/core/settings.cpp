#include "settings.h"

#include <cmath>

#include "matrix.h"
#include "messages.h"
#include "numfmt.h"
#include "settingcells.h"
#include "textcodec.h"

namespace {

// The voltage code always lives in the parset's first register.
constexpr int kVoltageRegister = 0;
constexpr uint16_t kRangeDeci = 0x4000;   // count x 0,1 kV
constexpr uint16_t kRangeCenti = 0x8000;  // count x 0,01 kV
constexpr int kMinVolts = 100;
constexpr int kMaxVolts = 99500;

// The register a description addresses, or -1 when the parset does not hold it.
int RegisterIndex(const TSetDesc& desc, int parsetLength) {
  const int reg = desc.Kind == skVoltage ? kVoltageRegister : desc.Offset;
  return 2 * reg + 1 < parsetLength ? reg : -1;
}

uint16_t GetRegister(const uint8_t* parset, int reg) {
  return static_cast<uint16_t>((parset[2 * reg] << 8) | parset[2 * reg + 1]);
}

void SetRegister(uint8_t* parset, int reg, uint16_t value) {
  parset[2 * reg] = static_cast<uint8_t>(value >> 8);
  parset[2 * reg + 1] = static_cast<uint8_t>(value & 0xFF);
}

// Cuts the decimals of a general-format text to `places` without rounding; an exponent
// part, if any, stays so the cut never changes the magnitude.
std::string CutDecimals(const std::string& text, int places) {
  const size_t sep = text.find(kDecimalSeparator);
  if (sep == std::string::npos) return text;
  const size_t exp = text.find('E');
  const std::string exponent = exp == std::string::npos ? "" : text.substr(exp);
  const std::string mantissa = text.substr(0, exp);
  if (places == 0) return mantissa.substr(0, sep) + exponent;
  return mantissa.substr(0, sep + 1 + static_cast<size_t>(places)) + exponent;
}

std::string RealToText(const TSetDesc& desc, uint16_t value) {
  return CutDecimals(FloatToStrG(value * desc.Base), desc.DecPlaces);
}

uint16_t TextToReal(const TSetDesc& desc, const std::string& text) {
  const double number = TypedToFloat(text);
  const double quotient = number / desc.Base;
  // A zero scale or a quotient beyond any integer has no register value.
  if (desc.Base == 0.0 || !std::isfinite(quotient) || std::fabs(quotient) >= 9.2e18)
    throw EConvertError("Invalid floating point operation");
  const auto rounded = static_cast<long long>(RoundHalfEven(quotient));
  return static_cast<uint16_t>(static_cast<unsigned long long>(rounded) & 0xFFFF);
}

// The register value of a Y/N text's first character: 0, 1, or -1 for none.
int YesNoValue(const std::string& text) {
  const char c = text.empty() ? '\0' : text[0];
  if (c == 'N' || c == 'n') return 0;
  if (c == 'Y' || c == 'y' || c == 'T' || c == 't') return 1;
  return -1;
}

// Whether the text asks for a value the setting's register cannot hold as typed: a voltage
// the device does not keep, a number whose register value would lose its upper bits, more
// hexadecimal digits than one register has. Text that is no number raises the conversion
// error.
bool OutOfRange(const TSetDesc& desc, const std::string& text) {
  switch (desc.Kind) {
    case skReal: {
      const double quotient = TypedToFloat(text) / desc.Base;
      // A zero scale or an endless quotient is the conversion's own error.
      if (desc.Base == 0.0 || !std::isfinite(quotient)) return false;
      const double value = RoundHalfEven(quotient);
      return value < 0 || value > 0xFFFF;
    }
    case skVoltage: {
      uint16_t code = 0;
      return !VoltageTextToCode(text, code);
    }
    case skHex:
      return Utf8Left(text, 4) != text;
    default:
      return false;
  }
}

}  // namespace

std::string VoltageCodeToText(uint16_t code) {
  const int count = code & 0x3FF;
  switch (code >> 14) {
    case 0:
      return IntToStr(count);
    case 1:
      return FloatToStrG(count * 0.1) + "k";
    case 2:
      return FloatToStrG(count * 0.01) + "k";
    default:
      return {};
  }
}

bool VoltageTextToCode(const std::string& text, uint16_t& code) {
  std::string number = text;
  const size_t k = text.find('k');
  const bool kilo = k != std::string::npos;
  if (kilo) {
    number = text.substr(0, k);
  } else {
    size_t v = text.find('V');
    if (v == std::string::npos) v = text.find('v');
    if (v != std::string::npos) number = text.substr(0, v);
  }
  size_t sep = number.find(',');
  if (sep == std::string::npos) sep = number.find('.');
  if (sep != std::string::npos) number[sep] = kDecimalSeparator;

  const double parsed = StrToFloat(number);
  const double volts = kilo ? std::trunc(parsed * 1000.0) : RoundHalfEven(parsed);
  if (!(volts >= kMinVolts && volts <= kMaxVolts)) return false;  // NaN fails too

  int v = static_cast<int>(volts);
  uint16_t range = 0;
  if (v >= 10000) {
    range = kRangeDeci;
    v /= 100;
  } else if (v >= 1000) {
    range = kRangeCenti;
    v /= 10;
  }
  // The device keeps 0,5 % steps: single units up to 199, even ones up to 498, fives above.
  if (v >= 200 && v <= 498) {
    v += v % 2;
  } else if (v >= 499) {
    v = (v + 4) / 5 * 5;
  }
  code = static_cast<uint16_t>(range | v);
  return true;
}

int SettingRegister(const TSetDesc& desc, int parsetLength) {
  if (desc.Kind == skInt || !desc.OffsetValid || parsetLength <= 0) return -1;
  return RegisterIndex(desc, parsetLength);
}

std::string SettingToText(const TSetDesc& desc, const uint8_t* parset, int parsetLength) {
  if (parsetLength <= 0 || parset == nullptr) return "?";
  if (desc.Kind == skInt) return {};
  if (!desc.OffsetValid) return {};
  const int reg = RegisterIndex(desc, parsetLength);
  if (reg < 0) return "?";
  const uint16_t value = GetRegister(parset, reg);
  switch (desc.Kind) {
    case skReal:
      return RealToText(desc, value);
    case skYesNo:
      if (value == 0) return "N";
      if (value == 1) return "Y";
      return "?: " + IntToHex(value, 4) + "h";
    case skVoltage:
      return VoltageCodeToText(value);
    default:
      return IntToHex(value, 4);
  }
}

void TextToSetting(const TSetDesc& desc, const std::string& text, int parsetLength,
                   uint8_t* parset) {
  if (parsetLength <= 0 || parset == nullptr || text.empty()) return;
  if (desc.Kind == skInt) return;
  if (!desc.OffsetValid) return;
  const int reg = RegisterIndex(desc, parsetLength);
  if (reg < 0) return;
  switch (desc.Kind) {
    case skReal:
      SetRegister(parset, reg, TextToReal(desc, text));
      break;
    case skYesNo: {
      const int value = YesNoValue(text);
      if (value >= 0)
        SetRegister(parset, reg, static_cast<uint16_t>(value));
      else
        Messages().Show(MsgIcon::Warning, "", "Allowable values: [Y/N]");
      break;
    }
    case skVoltage: {
      uint16_t code = 0;
      if (VoltageTextToCode(text, code)) SetRegister(parset, reg, code);
      break;
    }
    default: {
      const int32_t value = HexToInt(Utf8Left(text, 4));
      SetRegister(parset, reg, static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFF));
      break;
    }
  }
}

std::string StoreTypedSetting(const TSetDesc& desc, const std::string& text, int parsetLength,
                              uint8_t* parset) {
  if (text.empty() || parset == nullptr || SettingRegister(desc, parsetLength) < 0) return {};
  if (desc.Kind == skYesNo && YesNoValue(text) < 0) return SettingAllowableValues(desc);
  if (OutOfRange(desc, text))
    return "'" + text + "' is out of range.\n" + SettingAllowableValues(desc);
  TextToSetting(desc, text, parsetLength, parset);
  return {};
}

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

#include "messages.h"
#include "numfmt.h"
#include "settings.h"

namespace {

TSetDesc Desc(uint8_t kind, uint8_t offset, double base = 1.0, uint8_t dec = 0) {
  TSetDesc d;
  d.Name = "s";
  d.Kind = kind;
  d.Offset = offset;
  d.Base = base;
  d.DecPlaces = dec;
  return d;
}

struct Parset {
  std::array<uint8_t, 512> bytes{};
  void Set(int reg, uint16_t v) {
    bytes[2 * reg] = static_cast<uint8_t>(v >> 8);
    bytes[2 * reg + 1] = static_cast<uint8_t>(v);
  }
  uint16_t Get(int reg) const {
    return static_cast<uint16_t>(bytes[2 * reg] << 8 | bytes[2 * reg + 1]);
  }
};

}  // namespace

TEST(Settings, RealDisplayCutsWithoutRounding) {
  Parset p;
  p.Set(3, 0x0102);
  EXPECT_EQ(SettingToText(Desc(skReal, 3, 0.1, 1), p.bytes.data(), 512), "25,8");
  p.Set(3, 259);
  EXPECT_EQ(SettingToText(Desc(skReal, 3, 0.1, 0), p.bytes.data(), 512), "25");
  EXPECT_EQ(SettingToText(Desc(skReal, 3, 0.1, 5), p.bytes.data(), 512), "25,9");
  p.Set(3, 3);
  EXPECT_EQ(SettingToText(Desc(skReal, 3, 0.5, 2), p.bytes.data(), 512), "1,5");
  p.Set(3, 1);
  EXPECT_EQ(SettingToText(Desc(skReal, 3, 1.0 / 3, 4), p.bytes.data(), 512), "0,3333");
  p.Set(3, 0xFFFF);
  EXPECT_EQ(SettingToText(Desc(skReal, 3, 1.0, 0), p.bytes.data(), 512), "65535");
  // An exponent survives the cut, so the magnitude stays right.
  p.Set(3, 15);
  EXPECT_EQ(SettingToText(Desc(skReal, 3, 1e-8, 0), p.bytes.data(), 512), "1E-7");
}

TEST(Settings, OtherKindsDisplay) {
  Parset p;
  p.Set(0, 0xC005);
  p.Set(5, 1);
  EXPECT_EQ(SettingToText(Desc(skYesNo, 5), p.bytes.data(), 512), "Y");
  p.Set(5, 0);
  EXPECT_EQ(SettingToText(Desc(skYesNo, 5), p.bytes.data(), 512), "N");
  p.Set(5, 2);
  EXPECT_EQ(SettingToText(Desc(skYesNo, 5), p.bytes.data(), 512), "?: 0002h");
  p.Set(5, 0xABCD);
  EXPECT_EQ(SettingToText(Desc(skHex, 5), p.bytes.data(), 512), "ABCD");
  EXPECT_EQ(SettingToText(Desc(skInt, 5), p.bytes.data(), 512), "");
  EXPECT_EQ(SettingToText(Desc(skVoltage, 7), p.bytes.data(), 512), "");  // range 3
  p.Set(0, 230);
  EXPECT_EQ(SettingToText(Desc(skVoltage, 7), p.bytes.data(), 512), "230");
}

TEST(Settings, MissingOrShortParsetAndBadOffset) {
  Parset p;
  p.Set(5, 0x1234);
  for (uint8_t kind : {skInt, skReal, skYesNo, skVoltage, skHex})
    EXPECT_EQ(SettingToText(Desc(kind, 5), p.bytes.data(), 0), "?");
  // Register 5 lies at bytes 10 and 11.
  EXPECT_EQ(SettingToText(Desc(skHex, 5), p.bytes.data(), 11), "?");
  EXPECT_EQ(SettingToText(Desc(skHex, 5), p.bytes.data(), 12), "1234");
  EXPECT_EQ(SettingToText(Desc(skVoltage, 5), p.bytes.data(), 1), "?");

  TSetDesc bad = Desc(skHex, 5);
  bad.OffsetValid = false;
  EXPECT_EQ(SettingToText(bad, p.bytes.data(), 512), "");
  TextToSetting(bad, "FFFF", 512, p.bytes.data());
  EXPECT_EQ(p.Get(5), 0x1234);

  TextToSetting(Desc(skHex, 5), "FFFF", 11, p.bytes.data());
  EXPECT_EQ(p.Get(5), 0x1234);
  TextToSetting(Desc(skHex, 5), "FFFF", 0, p.bytes.data());
  TextToSetting(Desc(skHex, 5), "", 512, p.bytes.data());
  TextToSetting(Desc(skInt, 5), "1", 512, p.bytes.data());
  EXPECT_EQ(p.Get(5), 0x1234);
  TextToSetting(Desc(skHex, 5), "FFFF", 12, p.bytes.data());
  EXPECT_EQ(p.Get(5), 0xFFFF);
}

TEST(Settings, RealEditing) {
  Parset p;
  TextToSetting(Desc(skReal, 2, 0.1), "25,86", 512, p.bytes.data());
  EXPECT_EQ(p.bytes[4], 0x01);
  EXPECT_EQ(p.bytes[5], 0x03);
  TextToSetting(Desc(skReal, 2, 1.0), "2,5", 512, p.bytes.data());
  EXPECT_EQ(p.Get(2), 2);  // half to even
  TextToSetting(Desc(skReal, 2, 1.0), "-1", 512, p.bytes.data());
  EXPECT_EQ(p.Get(2), 0xFFFF);  // low 16 bits
  TextToSetting(Desc(skReal, 2, 1.0), "65537", 512, p.bytes.data());
  EXPECT_EQ(p.Get(2), 1);

  // A typed "." is the decimal separator too.
  TextToSetting(Desc(skReal, 2, 0.1), "25.86", 512, p.bytes.data());
  EXPECT_EQ(p.Get(2), 259);
  p.Set(2, 77);
  EXPECT_THROW(TextToSetting(Desc(skReal, 2, 0.1), "25.8.6", 512, p.bytes.data()), EConvertError);
  EXPECT_THROW(TextToSetting(Desc(skReal, 2, 0.0), "1", 512, p.bytes.data()), EConvertError);
  EXPECT_THROW(TextToSetting(Desc(skReal, 2, 1e-300), "1e10", 512, p.bytes.data()), EConvertError);
  EXPECT_THROW(TextToSetting(Desc(skReal, 2, 1e-300), "1e300", 512, p.bytes.data()), EConvertError);
  EXPECT_EQ(p.Get(2), 77);
  try {
    TextToSetting(Desc(skReal, 2, 0.1), "abc", 512, p.bytes.data());
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
}

TEST(Settings, YesNoEditing) {
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  Parset p;
  TextToSetting(Desc(skYesNo, 4), "tak", 512, p.bytes.data());
  EXPECT_EQ(p.Get(4), 1);
  TextToSetting(Desc(skYesNo, 4), "nie", 512, p.bytes.data());
  EXPECT_EQ(p.Get(4), 0);
  TextToSetting(Desc(skYesNo, 4), "Yes", 512, p.bytes.data());
  EXPECT_EQ(p.Get(4), 1);
  EXPECT_TRUE(messages.shown.empty());
  TextToSetting(Desc(skYesNo, 4), "x", 512, p.bytes.data());
  EXPECT_EQ(p.Get(4), 1);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Allowable values: [Y/N]");
}

// What the grid and kivtool store from a typed text, through the one function both use: a
// text the setting does not allow stores nothing and says why.
TEST(Settings, TypedTextIsStoredOnlyWhenTheSettingAllowsIt) {
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  const std::string range = "' is out of range.\n";
  const std::string percent = "Allowable values: 0 to 6553,5 in steps of 0,1";
  const std::string volts = "Allowable values: 100 to 99,5k (V; 6,5k = 6500)";
  const std::string hex = "Allowable values: 0000 to FFFF (hexadecimal)";
  const TSetDesc real = Desc(skReal, 3, 0.1, 1);
  struct Case {
    TSetDesc desc;
    std::string text;
    std::string refusal;  // empty: stored
    int stored;           // the register afterwards; -1: unchanged
  };
  const Case cases[] = {
      {real, "80,5", "", 805},
      {real, "6553,5", "", 65535},
      {real, "0", "", 0},
      {real, "0,04", "", 0},  // the nearest step, not a wrap
      {real, "6553,6", "'6553,6" + range + percent, -1},
      {real, "9999", "'9999" + range + percent, -1},  // would wrap to 3445,4
      {real, "-0,1", "'-0,1" + range + percent, -1},
      {Desc(skReal, 5, 2.0), "131071",
       "'131071" + range + "Allowable values: 0 to 131070 in steps of 2", -1},
      {Desc(skVoltage, 7), "6,5k", "", 0x8000 + 650},
      {Desc(skVoltage, 7), "50", "'50" + range + volts, -1},
      {Desc(skVoltage, 7), "110k", "'110k" + range + volts, -1},
      {Desc(skYesNo, 4), "tak", "", 1},
      {Desc(skYesNo, 4), "x", "Allowable values: [Y/N]", -1},
      {Desc(skHex, 9), "FFFF", "", 0xFFFF},
      {Desc(skHex, 9), "12345", "'12345" + range + hex, -1},
      {real, "", "", -1},             // nothing typed
      {Desc(skInt, 3), "5", "", -1},  // not editable
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Parset p;
    const int reg = c.desc.Kind == skVoltage ? 0 : c.desc.Offset;
    p.Set(reg, 0x4242);
    EXPECT_EQ(StoreTypedSetting(c.desc, c.text, 512, p.bytes.data()), c.refusal);
    EXPECT_EQ(p.Get(reg), c.stored < 0 ? 0x4242 : c.stored);
  }
  // The refusal is returned, never shown a second time.
  EXPECT_TRUE(messages.shown.empty());
  // Text that is no number raises the conversion's own error, as TextToSetting does.
  Parset p;
  EXPECT_THROW(StoreTypedSetting(real, "abc", 512, p.bytes.data()), EConvertError);
  EXPECT_THROW(StoreTypedSetting(Desc(skVoltage, 0), "xk", 512, p.bytes.data()), EConvertError);
  EXPECT_THROW(StoreTypedSetting(Desc(skHex, 9), "zz", 512, p.bytes.data()), std::runtime_error);
  EXPECT_EQ(p.bytes, Parset().bytes);
  // A register beyond the parset's length takes nothing and refuses nothing.
  EXPECT_EQ(StoreTypedSetting(real, "9999", 6, p.bytes.data()), "");
}

TEST(Settings, HexEditingReadsFourCharacters) {
  Parset p;
  TextToSetting(Desc(skHex, 9), "12345", 512, p.bytes.data());
  EXPECT_EQ(p.Get(9), 0x1234);
  TextToSetting(Desc(skHex, 9), "F", 512, p.bytes.data());
  EXPECT_EQ(p.Get(9), 0x000F);
  EXPECT_THROW(TextToSetting(Desc(skHex, 9), "ab", 512, p.bytes.data()), std::runtime_error);
  EXPECT_EQ(p.Get(9), 0x000F);
}

TEST(Settings, VoltageCodes) {
  struct Case {
    const char* text;
    bool stored;
    uint16_t code;
    const char* shown;
  } cases[] = {
      {"230V", true, 230, "230"},
      {"230", true, 230, "230"},
      {"230 v", true, 230, "230"},
      {"6,5k", true, 0x8000 + 650, "6,5k"},
      {"6.5k", true, 0x8000 + 650, "6,5k"},
      {"6,5kV", true, 0x8000 + 650, "6,5k"},
      {"15,75k", true, 0x4000 + 157, "15,7k"},
      {"3333 V", true, 0x8000 + 334, "3,34k"},
      {"2,3k", true, 0x8000 + 230, "2,3k"},  // 2299 after the truncation, raised to 230
      {"100", true, 100, "100"},
      {"199,5", true, 200, "200"},  // 199,5 rounds to the even 200
      {"201", true, 202, "202"},
      {"499", true, 500, "500"},
      {"501", true, 505, "505"},
      {"999", true, 1000, "1000"},
      {"99,5k", true, 0x4000 + 995, "99,5k"},
      {"99,6k", false, 0, ""},
      {"110k", false, 0, ""},
      {"99", false, 0, ""},
  };
  for (const Case& c : cases) {
    uint16_t code = 0xEEEE;
    EXPECT_EQ(VoltageTextToCode(c.text, code), c.stored) << c.text;
    if (c.stored) {
      EXPECT_EQ(code, c.code) << c.text;
      EXPECT_EQ(VoltageCodeToText(code), c.shown) << c.text;
    } else {
      EXPECT_EQ(code, 0xEEEE) << c.text;
    }
  }
  uint16_t code = 0;
  EXPECT_TRUE(VoltageTextToCode("99,5", code));  // half to the even 100
  EXPECT_EQ(code, 100);
  EXPECT_FALSE(VoltageTextToCode("98,5", code));  // half to the even 98
  EXPECT_THROW(VoltageTextToCode("abc", code), EConvertError);
  EXPECT_THROW(VoltageTextToCode("k", code), EConvertError);
  EXPECT_EQ(VoltageCodeToText(0x4000 + 157), "15,7k");
  EXPECT_EQ(VoltageCodeToText(0x3C00 + 5), "5");  // unused bits 13-10 are ignored
}

TEST(Settings, VoltageAlwaysUsesTheFirstRegister) {
  Parset p;
  p.Set(7, 0x1111);
  TextToSetting(Desc(skVoltage, 7), "6,5k", 512, p.bytes.data());
  EXPECT_EQ(p.Get(0), 0x8000 + 650);
  EXPECT_EQ(p.Get(7), 0x1111);
  EXPECT_EQ(SettingToText(Desc(skVoltage, 7), p.bytes.data(), 512), "6,5k");
  TextToSetting(Desc(skVoltage, 7), "110k", 512, p.bytes.data());
  EXPECT_EQ(p.Get(0), 0x8000 + 650);
}

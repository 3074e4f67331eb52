#include <gtest/gtest.h>

#include "kivbase.h"
#include "settingsdiff.h"
#include "writeverify.h"

namespace {

TSetDesc Desc(const std::string& name, const std::string& dim, uint8_t kind, int reg,
              double base = 1.0, uint8_t dec = 0) {
  TSetDesc d;
  d.Name = name;
  d.Dim = dim;
  d.Kind = kind;
  d.Offset = static_cast<uint8_t>(reg);
  d.Base = base;
  d.DecPlaces = dec;
  return d;
}

// Two sections: thresholds (REAL, 0,1 per count) and switches (Y/N), a label and a HEX
// word; eight registers.
void DefineSettings(TKivDefs& defs) {
  defs.Clear();
  defs.ZnsSize = 8;
  defs.Zns1Adres = 2177;
  defs.Zns2Adres = 2433;
  defs.SetSectionTitle(1, "Thresholds");
  defs.AddSetting(1, 1, Desc("Dead line", "%Vr", skReal, 1, 0.1, 1));
  defs.AddSetting(1, 2, Desc("Live line", "%Vr", skReal, 2, 0.1, 1));
  defs.SetSectionTitle(2, "Switches");
  defs.AddSetting(2, 1, Desc("Label", "", skInt, 0));
  defs.AddSetting(2, 2, Desc("AS allowed", "", skYesNo, 3));
  defs.AddSetting(2, 3, Desc("Mask", "", skHex, 4));
}

void SetReg(uint8_t* p, int r, uint16_t v) {
  p[2 * r] = static_cast<uint8_t>(v >> 8);
  p[2 * r + 1] = static_cast<uint8_t>(v);
}

void Fill(TKiv& kiv, int n, std::initializer_list<uint16_t> regs) {
  int r = 0;
  for (uint16_t v : regs) SetReg(kiv.Zestaw(n), r++, v);
  kiv.SetZestawLength(n, static_cast<uint16_t>(2 * regs.size()));
}

TEST(SettingsDiff, OneRegistrationsParsetsSettingBySetting) {
  TKiv kiv;
  DefineSettings(kiv.Defs);
  Fill(kiv, 1, {0, 300, 700, 1, 0x00FF, 0, 0, 0});
  Fill(kiv, 2, {0, 300, 650, 0, 0x00FF, 9, 9, 9});
  TSettingsDiff diff;
  diff.Compare(ParsetSide(kiv, 1), ParsetSide(kiv, 2));
  ASSERT_EQ(diff.Rows().size(), 5u);
  const TSettingsDiffRow& live = diff.Rows()[1];
  EXPECT_EQ(live.Section, "Thresholds");
  EXPECT_EQ(live.Name, "Live line [%Vr]");
  EXPECT_EQ(live.TextA, "70");
  EXPECT_EQ(live.TextB, "65");
  EXPECT_TRUE(live.Differs);
  EXPECT_FALSE(diff.Rows()[0].Differs);
  // A label shows no value and never differs; registers no setting shows do not count.
  EXPECT_EQ(diff.Rows()[2].TextA, "");
  EXPECT_FALSE(diff.Rows()[2].Differs);
  EXPECT_EQ(diff.DifferenceCount(), 2);
  EXPECT_EQ(DifferenceLines(diff),
            (std::vector<std::string>{"Thresholds / Live line [%Vr]: 70 -> 65",
                                      "Switches / AS allowed []: Y -> N"}));
  EXPECT_EQ(diff.Differences().size(), 2u);

  // A parset that holds fewer registers than a setting needs shows "?" there.
  kiv.SetZestawLength(2, 4);
  diff.Compare(ParsetSide(kiv, 1), ParsetSide(kiv, 2));
  EXPECT_EQ(diff.Rows()[1].TextB, "?");
  EXPECT_EQ(diff.DifferenceCount(), 3);
}

TEST(SettingsDiff, RegistrationsOfDifferentDefinitionsMatchByName) {
  TKiv a, b;
  DefineSettings(a.Defs);
  Fill(a, 1, {0, 300, 700, 1, 0x00FF, 0, 0, 0});
  // B: the sections in another order, a setting moved to another register, one missing
  // and one that A does not know.
  b.Defs.ZnsSize = 8;
  b.Defs.SetSectionTitle(1, "Switches");
  b.Defs.AddSetting(1, 1, Desc("AS allowed", "", skYesNo, 6));
  b.Defs.AddSetting(1, 2, Desc("Extra", "s", skHex, 7));
  b.Defs.SetSectionTitle(2, "Thresholds");
  b.Defs.AddSetting(2, 1, Desc("Live line", "%Vr", skReal, 2, 0.1, 1));
  b.Defs.AddSetting(2, 2, Desc("Dead line", "%Vr", skReal, 1, 0.1, 1));
  Fill(b, 2, {0, 300, 700, 0, 0, 0, 1, 0x1234});
  TSettingsDiff diff;
  diff.Compare(ParsetSide(a, 1), ParsetSide(b, 2));
  ASSERT_EQ(diff.Rows().size(), 6u);
  EXPECT_FALSE(diff.Rows()[2].Differs);  // a label B does not have
  EXPECT_FALSE(diff.Rows()[0].Differs);  // Dead line
  EXPECT_FALSE(diff.Rows()[1].Differs);  // Live line
  EXPECT_FALSE(diff.Rows()[3].Differs);  // AS allowed: register 3 of A, 6 of B, both Y
  EXPECT_FALSE(diff.Rows()[4].InB);      // Mask
  EXPECT_TRUE(diff.Rows()[4].Differs);
  EXPECT_FALSE(diff.Rows()[5].InA);
  EXPECT_EQ(diff.Rows()[5].Name, "Extra [s]");
  EXPECT_EQ(diff.Rows()[5].TextB, "1234");
  EXPECT_EQ(DifferenceLines(diff),
            (std::vector<std::string>{"Switches / Mask []: 00FF -> (none)",
                                      "Switches / Extra [s]: (none) -> 1234"}));
}

// A label only one registration has is no difference, whichever side has it: the same two
// registrations compared either way round count the same.
TEST(SettingsDiff, ALabelOfOneSideOnlyIsNoDifferenceEitherWay) {
  TKiv a, b;
  DefineSettings(a.Defs);
  Fill(a, 1, {0, 300, 700, 1, 0x00FF, 0, 0, 0});
  DefineSettings(b.Defs);
  b.Defs.AddSetting(1, 3, Desc("Only in B", "", skInt, 0));
  Fill(b, 1, {0, 300, 700, 1, 0x00FF, 0, 0, 0});
  TSettingsDiff diff;
  diff.Compare(ParsetSide(a, 1), ParsetSide(b, 1));
  ASSERT_EQ(diff.Rows().size(), 6u);
  EXPECT_FALSE(diff.Rows()[5].InA);
  EXPECT_EQ(diff.Rows()[5].TextB, "");
  EXPECT_FALSE(diff.Rows()[5].Differs);
  EXPECT_EQ(diff.DifferenceCount(), 0);
  EXPECT_TRUE(DifferenceLines(diff).empty());

  diff.Compare(ParsetSide(b, 1), ParsetSide(a, 1));
  ASSERT_EQ(diff.Rows().size(), 6u);
  EXPECT_FALSE(diff.Rows()[2].InB);
  EXPECT_FALSE(diff.Rows()[2].Differs);
  EXPECT_EQ(diff.DifferenceCount(), 0);
}

TEST(SettingsDiff, WriteConfirmationAgainstWhatTheDeviceHolds) {
  TKiv kiv;
  DefineSettings(kiv.Defs);
  Fill(kiv, 1, {0, 300, 700, 1, 0x00FF, 0, 0, 0});
  Fill(kiv, 2, {0, 300, 650, 1, 0x00FF, 0, 0, 0});
  TDeviceParsets device;
  // Nothing was read from the device: nothing to say.
  EXPECT_TRUE(WriteChangeLines(kiv, 1, 2, device).empty());
  device.Remember(kiv, 2);
  EXPECT_TRUE(device.Known(2));
  EXPECT_EQ(WriteChangeLines(kiv, 1, 2, device),
            std::vector<std::string>{"Thresholds / Live line [%Vr]: 65 -> 70"});
  // Editing parset 2 after the reading does not change what the device holds.
  SetReg(kiv.Zestaw(2), 2, 700);
  EXPECT_EQ(WriteChangeLines(kiv, 2, 2, device).size(), 1u);
  EXPECT_EQ(WriteChangeLines(kiv, 1, 2, device).size(), 1u);
  device.Remember(kiv, 2);
  EXPECT_EQ(WriteChangeLines(kiv, 1, 2, device), std::vector<std::string>{"no change"});

  // A write sends at most ZNS_SIZE registers: what lies beyond stays as the device has it.
  kiv.Defs.ZnsSize = 3;
  SetReg(kiv.Zestaw(1), 3, 0);  // AS allowed N, but register 4 is not written
  EXPECT_EQ(WriteChangeLines(kiv, 1, 2, device), std::vector<std::string>{"no change"});

  // Only parsets with a reading date count as read from the device.
  TDeviceParsets fromFile;
  kiv.SetZestaw1ReadDate(45000);
  fromFile.RememberRead(kiv);
  EXPECT_TRUE(fromFile.Known(1));
  EXPECT_FALSE(fromFile.Known(2));
  fromFile.Forget(1);
  EXPECT_FALSE(fromFile.Known(1));
}

}  // namespace

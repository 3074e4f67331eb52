#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "kivdefs.h"

namespace {

class DefsFile {
 public:
  DefsFile(const std::string& name, const std::string& text)
      : path_((std::filesystem::temp_directory_path() /
               ("kivsvc_defs_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + name))
                  .string()) {
    Write(text);
  }
  ~DefsFile() { std::filesystem::remove(path_); }
  void Write(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << text;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

TSetDesc Setting(const TKivDefs& defs, int n, int m) {
  const TSets* sets = defs.SectionSets(n);
  EXPECT_NE(sets, nullptr) << n;
  return sets ? sets->GetSetting(m) : TSetDesc{};
}

}  // namespace

TEST(KivDefs, MissingOrEmptyFileGivesDefaults) {
  DefsFile empty("empty.set", "");
  for (const std::string& name : {empty.Path(), std::string("/nonexistent-kivsvc/none.set")}) {
    TKivDefs defs;
    defs.LoadFromFile(name);
    EXPECT_EQ(defs.LoadedFile, name);
    EXPECT_EQ(defs.FileName, name);
    EXPECT_EQ(defs.ZnsSize, 119);
    EXPECT_EQ(defs.ZnsSendStep, 119);
    EXPECT_EQ(defs.Zns1Adres, 2177);
    EXPECT_EQ(defs.Zns2Adres, 2433);
    EXPECT_EQ(defs.EvBufFirstReg, 4001);
    EXPECT_EQ(defs.EvBufLastReg, 4032);
    EXPECT_EQ(defs.Correction(1), -5);
    EXPECT_EQ(defs.Correction(2), 15);
    EXPECT_EQ(defs.Correction(3), -30);
    EXPECT_EQ(defs.Correction(0), 0);
    EXPECT_EQ(defs.Correction(4), 0);
    EXPECT_FALSE(defs.ImplementsSysLogick);
    EXPECT_EQ(defs.SectionCount(), 0);
    EXPECT_EQ(defs.ZestawAdres(1), 2177);
    EXPECT_EQ(defs.ZestawAdres(2), 2433);
    EXPECT_EQ(defs.ZestawAdres(3), 0);
  }
}

TEST(KivDefs, GlobalValuesAreCutToTheirFields) {
  DefsFile f("global.set",
             "[global]\n"
             "ImplementsSysLogick=2\n"
             "DI_correction=300\n"
             "DO_correction=$FB\n"
             "AI_correction=junk\n"
             "ZNS_SIZE=100\n"
             "ZNS1_ADRES=0x10881\n"
             "ZNS2_ADRES=-1\n"
             "EV_BUF_FIRST_REG=$FA1\n"
             "EV_BUF_LAST_REG=4032\n");
  TKivDefs defs;
  defs.LoadFromFile(f.Path());
  EXPECT_TRUE(defs.ImplementsSysLogick);
  EXPECT_EQ(defs.DiCorrection, 44);
  EXPECT_EQ(defs.DoCorrection, -5);
  EXPECT_EQ(defs.AiCorrection, -30);  // not a number: the default
  EXPECT_EQ(defs.ZnsSize, 100);
  EXPECT_EQ(defs.ZnsSendStep, 100);  // defaults to ZNS_SIZE
  EXPECT_EQ(defs.Zns1Adres, 0x881);
  EXPECT_EQ(defs.Zns2Adres, 0xFFFF);
  EXPECT_EQ(defs.EvBufFirstReg, 4001);

  // The parset size stays within what 512 bytes hold; the send step is kept as written.
  f.Write("[GLOBAL]\nZNS_SIZE=300\n");
  defs.LoadFromFile(f.Path() + "");  // same name: nothing happens
  EXPECT_EQ(defs.ZnsSize, 100);
  defs.Clear();
  defs.LoadFromFile(f.Path());
  EXPECT_EQ(defs.ZnsSize, 256);
  EXPECT_EQ(defs.ZnsSendStep, 300);
  f.Write("[GLOBAL]\nZNS_SIZE=-4\nZNS_SEND_STEP=10\n");
  defs.Clear();
  defs.LoadFromFile(f.Path());
  EXPECT_EQ(defs.ZnsSize, 0);
  EXPECT_EQ(defs.ZnsSendStep, 10);
}

TEST(KivDefs, SectionsAndSettings) {
  DefsFile f("sections.set",
             "[SECTION_1]\n"
             "TITLE=Voltages\n"
             "X1_NAME=Rated voltage of the busbar\n"  // 27 characters
             "X1_TYPE=un\n"
             "X1_DIM=kV/s!\n"
             "X2_NAME=Napięcie zanikowe żółte\n"  // cut to 20 characters, not bytes
             "X2_TYPE=real\n"
             "X2_BASE=0,1\n"
             "X2_DEC_PLACES=2\n"
             "X2_DIM=°C/s\n"
             "X3_NAME=Flag\n"
             "X3_TYPE=Y/N\n"
             "X4_NAME=Float kind\n"
             "X4_TYPE=float\n"
             "X4_BASE=0.1\n"
             "X5_NAME=Moved\n"
             "X5_OFFSET=40\n"
             "X5_TYPE=INT\n"
             "X6_NAME=After moved\n"
             "X8_NAME=Unreached\n"
             "[SECTION_2]\n"
             "X1_NAME=Next section\n"
             "X2_NAME=Far\n"
             "X2_OFFSET=300\n"
             "X3_NAME=Zero\n"
             "X3_OFFSET=0\n"
             "X4_NAME=Last register\n"
             "X4_OFFSET=256\n"
             "X5_NAME=Bad offset text\n"
             "X5_OFFSET=abc\n"
             "[SECTION_4]\n"
             "X1_NAME=Not reached\n");
  TKivDefs defs;
  defs.LoadFromFile(f.Path());
  ASSERT_EQ(defs.SectionCount(), 2);  // SECTION_3 is missing
  EXPECT_EQ(defs.SectionTitle(1), "1. Voltages");
  EXPECT_EQ(defs.SectionTitle(2), "2. ");
  EXPECT_EQ(defs.SectionTitle(3), "");
  EXPECT_EQ(defs.SectionTitle(0), "");
  EXPECT_EQ(defs.SectionSets(3), nullptr);
  ASSERT_EQ(defs.SectionSets(1)->Count(), 6);
  ASSERT_EQ(defs.SectionSets(2)->Count(), 5);

  TSetDesc d = Setting(defs, 1, 1);
  EXPECT_EQ(d.Name, "Rated voltage of the");
  EXPECT_EQ(d.Dim, "kV/s");
  EXPECT_EQ(d.Kind, skVoltage);
  EXPECT_EQ(d.Offset, 0);
  EXPECT_DOUBLE_EQ(d.Base, 1.0);
  EXPECT_EQ(d.DecPlaces, 0);
  EXPECT_TRUE(d.OffsetValid);

  d = Setting(defs, 1, 2);
  EXPECT_EQ(d.Name, "Napięcie zanikowe żó");
  EXPECT_EQ(d.Dim, "°C/s");
  EXPECT_EQ(d.Kind, skReal);
  EXPECT_EQ(d.Offset, 1);
  EXPECT_DOUBLE_EQ(d.Base, 0.1);
  EXPECT_EQ(d.DecPlaces, 2);

  EXPECT_EQ(Setting(defs, 1, 3).Kind, skYesNo);
  d = Setting(defs, 1, 4);
  EXPECT_EQ(d.Kind, skHex);
  EXPECT_DOUBLE_EQ(d.Base, 1.0);  // "0.1" is no number with the decimal comma
  EXPECT_EQ(Setting(defs, 1, 5).Offset, 39);
  EXPECT_EQ(Setting(defs, 1, 5).Kind, skInt);
  EXPECT_EQ(Setting(defs, 1, 6).Offset, 40);
  EXPECT_EQ(Setting(defs, 2, 1).Offset, 41);  // counting on across sections

  d = Setting(defs, 2, 2);
  EXPECT_EQ(d.Offset, (300 - 1) & 0xFF);
  EXPECT_FALSE(d.OffsetValid);
  d = Setting(defs, 2, 3);
  EXPECT_EQ(d.Offset, 0xFF);
  EXPECT_FALSE(d.OffsetValid);
  d = Setting(defs, 2, 4);
  EXPECT_EQ(d.Offset, 255);
  EXPECT_TRUE(d.OffsetValid);
  d = Setting(defs, 2, 5);
  EXPECT_EQ(d.Offset, 0);       // 256 + 1 wraps to register index 0...
  EXPECT_FALSE(d.OffsetValid);  // ...which is not the register it meant
}

TEST(KivDefs, SectionListEndsAtASectionWithoutFirstSetting) {
  DefsFile f("gap.set",
             "[SECTION_1]\nX1_NAME=One\n"
             "[SECTION_2]\nTITLE=Empty start\nX2_NAME=Two\n"
             "[SECTION_3]\nX1_NAME=Three\n");
  TKivDefs defs;
  defs.LoadFromFile(f.Path());
  EXPECT_EQ(defs.SectionCount(), 1);
}

TEST(KivDefs, SameNameIsNotReloaded) {
  DefsFile f("reload.set", "[SECTION_1]\nX1_NAME=First\n");
  TKivDefs defs;
  defs.LoadFromFile(f.Path());
  f.Write("[SECTION_1]\nX1_NAME=Changed\n");
  defs.LoadFromFile(f.Path());
  EXPECT_EQ(Setting(defs, 1, 1).Name, "First");
  // Another file replaces every section.
  DefsFile other("other.set", "[GLOBAL]\nZNS_SIZE=7\n");
  defs.LoadFromFile(other.Path());
  EXPECT_EQ(defs.SectionCount(), 0);
  EXPECT_EQ(defs.ZnsSize, 7);
  defs.LoadFromFile(f.Path());
  EXPECT_EQ(Setting(defs, 1, 1).Name, "Changed");
}

TEST(KivDefs, Windows1250DefinitionFile) {
  DefsFile f("cp1250.set", "[SECTION_1]\nTITLE=Napi\xEA\x63ia\nX1_NAME=\xA3\xB9\x63znik\n");
  TKivDefs defs;
  defs.LoadFromFile(f.Path());
  EXPECT_EQ(defs.SectionTitle(1), "1. Napięcia");
  EXPECT_EQ(Setting(defs, 1, 1).Name, "Łącznik");
}

TEST(KivDefs, SetsAndSectionOperations) {
  TSets sets;
  TSetDesc d;
  d.Name = "x";
  d.Kind = skReal;
  sets.SetSetting(3, d);
  ASSERT_EQ(sets.Count(), 3);
  EXPECT_EQ(sets.GetSetting(1).Kind, skHex);  // padding is the empty description
  EXPECT_EQ(sets.GetSetting(1).Name, "");
  EXPECT_EQ(sets.GetSetting(3).Name, "x");
  d.Name = "y";
  sets.SetSetting(1, d);
  sets.SetSetting(0, d);
  EXPECT_EQ(sets.Count(), 3);
  EXPECT_EQ(sets.GetSetting(1).Name, "y");
  EXPECT_EQ(sets.GetSetting(4).Name, "");
  EXPECT_EQ(sets.GetSetting(4).Kind, skHex);
  EXPECT_EQ(sets.GetSetting(-1).Offset, 0);
  sets.Clear();
  EXPECT_EQ(sets.Count(), 0);

  TKivDefs defs;
  defs.AddSetting(1, 1, d);  // no section yet: nothing happens
  EXPECT_EQ(defs.SectionCount(), 0);
  defs.SetSectionTitle(3, "Third");
  EXPECT_EQ(defs.SectionCount(), 3);
  EXPECT_EQ(defs.SectionTitle(1), "");
  EXPECT_EQ(defs.SectionSets(1), nullptr);
  defs.AddSetting(2, 2, d);
  ASSERT_NE(defs.SectionSets(2), nullptr);
  EXPECT_EQ(defs.SectionSets(2)->Count(), 2);
  defs.Clear();
  EXPECT_EQ(defs.SectionCount(), 0);
}

#ifdef KIVSVC_DEFS_DIR
TEST(KivDefs, ShippedExampleFilesLoad) {
  for (const char* name : {"Kivs2.set", "Kivs3.set"}) {
    TKivDefs defs;
    defs.LoadFromFile(std::string(KIVSVC_DEFS_DIR) + "/" + name);
    EXPECT_GE(defs.SectionCount(), 4) << name;
    EXPECT_GE(defs.ZnsSize, 100);
    bool kinds[5] = {};
    for (int n = 1; n <= defs.SectionCount(); ++n) {
      const TSets* sets = defs.SectionSets(n);
      ASSERT_NE(sets, nullptr);
      for (int m = 1; m <= sets->Count(); ++m) {
        const TSetDesc d = sets->GetSetting(m);
        EXPECT_TRUE(d.OffsetValid);
        EXPECT_LT(d.Offset, defs.ZnsSize) << name << " " << d.Name;
        kinds[d.Kind] = true;
      }
    }
    for (bool k : kinds) EXPECT_TRUE(k) << name;
  }
}
#endif

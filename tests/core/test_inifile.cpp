#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "inifile.h"

namespace {

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("kivsvc_core_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + name))
      .string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(IniFile, ReadsTheWayProfileFunctionsDo) {
  TIniFile ini;
  ini.LoadFromText(
      "\xEF\xBB\xBF"
      "top=ignored\r\n"
      "; comment=no\r\n"
      "  [ Global ]  \r\n"
      "  Key1  =  value with blanks  \r\n"
      "key1=second occurrence\r\n"
      "Quoted=\"  kept  \"\r\n"
      "Single='x'\r\n"
      "Half=\"x\r\n"
      "NoEquals\r\n"
      "Empty=\r\n"
      "[other]\r\n"
      "key1=other\r\n");
  EXPECT_TRUE(ini.SectionExists("GLOBAL"));
  EXPECT_TRUE(ini.SectionExists("global"));
  EXPECT_FALSE(ini.SectionExists("missing"));
  EXPECT_FALSE(ini.SectionExists(""));
  EXPECT_EQ(ini.ReadString("global", "KEY1", "d"), "value with blanks");
  EXPECT_EQ(ini.ReadString("OTHER", "key1", "d"), "other");
  EXPECT_EQ(ini.ReadString("global", "quoted", "d"), "  kept  ");
  EXPECT_EQ(ini.ReadString("global", "single", "d"), "x");
  EXPECT_EQ(ini.ReadString("global", "half", "d"), "\"x");
  EXPECT_EQ(ini.ReadString("global", "empty", "d"), "");
  EXPECT_TRUE(ini.ValueExists("global", "empty"));
  EXPECT_FALSE(ini.ValueExists("global", "noequals"));
  EXPECT_FALSE(ini.ValueExists("global", "; comment"));
  EXPECT_EQ(ini.ReadString("", "top", "d"), "d");  // keys before any section are not read
  EXPECT_EQ(ini.ReadString("global", "missing", "d"), "d");
}

TEST(IniFile, IntegerTexts) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"0", true, 0},
      {"123", true, 123},
      {"+7", true, 7},
      {"-30", true, -30},
      {"0x881", true, 0x881},
      {"0XfA1", true, 0xFA1},
      {"$FB", true, 251},
      {"-$FB", true, -251},
      {"$FFFFFFFF", true, -1},
      {"0x80000000", true, INT32_MIN},
      {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"$123456789", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"0x", false, 0},
      {"12a", false, 0},
      {"1.5", false, 0},
      {"$G1", false, 0},
      {"- 5", false, 0},
  };
  for (const Case& c : cases) {
    int32_t v = 99;
    EXPECT_EQ(ParseIniInteger(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  TIniFile ini;
  ini.LoadFromText("[s]\na=$10\nb=junk\nc=0\nd=1,5\ne=x\nf=-2\n");
  EXPECT_EQ(ini.ReadInteger("s", "a", 5), 16);
  EXPECT_EQ(ini.ReadInteger("s", "b", 5), 5);
  EXPECT_EQ(ini.ReadInteger("s", "zz", 5), 5);
  EXPECT_FALSE(ini.ReadBool("s", "c", true));
  EXPECT_TRUE(ini.ReadBool("s", "f", false));
  EXPECT_TRUE(ini.ReadBool("s", "b", true));
  EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "d", 0), 1.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "a", 2.5), 2.5);  // "$10" is no decimal number
  EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "e", 2.5), 2.5);
}

TEST(IniFile, WritingKeepsOtherLines) {
  TIniFile ini;
  ini.LoadFromText(
      "; kiv.ini\n"
      "[Comm]\n"
      "  Port = ttyS0 ; not a comment\n"
      "Speed=6\n"
      "\n"
      "[Other]\n"
      "x=1\n");
  ini.WriteString("comm", "PORT", "ttyUSB0");
  ini.WriteInteger("Comm", "Time_Out", 300);
  ini.WriteString("New", "Name", " padded ");
  ini.WriteString("Other", "q", "\"quoted\"");
  EXPECT_EQ(ini.ToText(),
            "; kiv.ini\n"
            "[Comm]\n"
            "  Port=ttyUSB0\n"
            "Speed=6\n"
            "Time_Out=300\n"
            "\n"
            "[Other]\n"
            "x=1\n"
            "q=\"\"quoted\"\"\n"
            "\n"
            "[New]\n"
            "Name=\" padded \"\n");
  // What was written reads back unchanged, also after a reload.
  TIniFile again;
  again.LoadFromText(ini.ToText());
  EXPECT_EQ(again.ReadString("comm", "port", ""), "ttyUSB0");
  EXPECT_EQ(again.ReadInteger("comm", "time_out", 0), 300);
  EXPECT_EQ(again.ReadString("new", "name", ""), " padded ");
  EXPECT_EQ(again.ReadString("other", "q", ""), "\"quoted\"");
  EXPECT_EQ(ini.ReadString("new", "name", ""), " padded ");
}

TEST(IniFile, FileRoundTripKeepsLineEnds) {
  const std::string path = TempPath("rt.ini");
  {
    std::ofstream out(path, std::ios::binary);
    out << "[A]\r\nk=1\r\n";
  }
  TIniFile ini(path);
  EXPECT_EQ(ini.FileName(), path);
  EXPECT_EQ(ini.ReadInteger("a", "k", 0), 1);
  ini.WriteInteger("A", "k", 2);
  ini.WriteString("B", "s", "Łódź");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(ReadAll(path), "[A]\r\nk=2\r\n\r\n[B]\r\ns=Łódź\r\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp~"));
  std::filesystem::remove(path);

  TIniFile missing(TempPath("missing.ini"));
  EXPECT_FALSE(missing.SectionExists("A"));
  EXPECT_EQ(missing.ToText(), "");

  TIniFile unnamed;
  EXPECT_FALSE(unnamed.UpdateFile());
  TIniFile nowhere("/nonexistent-dir-kivsvc/x.ini");
  nowhere.WriteInteger("a", "b", 1);
  EXPECT_FALSE(nowhere.UpdateFile());
}

TEST(IniFile, Windows1250FileIsDecoded) {
  const std::string path = TempPath("cp.ini");
  {
    std::ofstream out(path, std::ios::binary);
    out << "[S]\nNAME=Napi\xEA\x63ie\n";
  }
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("s", "name", ""), "Napięcie");
  std::filesystem::remove(path);
}

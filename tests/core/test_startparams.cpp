#include <gtest/gtest.h>

#include "kivbase.h"
#include "tempdir.h"

namespace {

struct TParsed {
  bool ok;
  std::string message;
};

TParsed Parse(TKiv& kiv, const std::string& text) {
  TParsed r;
  r.ok = kiv.ParseStartParams(text, r.message);
  return r;
}

TEST(StartParams, KivTypeAndIdentification) {
  TTempDir dir;
  dir.Write("Kivs3.set", "[GLOBAL]\nZNS_SIZE=90\n");
  dir.Write("1234_ABCD.set", "[GLOBAL]\nZNS_SIZE=55\n");
  TKiv kiv;
  kiv.DefsDir = dir.Path();
  std::vector<std::string> fired;
  kiv.OnCompleteZestawNastaw1 = [&] { fired.push_back("z1"); };
  kiv.OnEvRegCompleted = [&] { fired.push_back("ev"); };
  kiv.OnCompleteAll = [&] { fired.push_back("all"); };

  TParsed r = Parse(kiv, "-kivtype kivs3");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(kiv.GetKivType(), kivtKivs3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(kiv.Image())), "KIVS-3");
  EXPECT_EQ(kiv.Defs.ZnsSize, 90);
  EXPECT_EQ(fired, (std::vector<std::string>{"z1", "ev", "all"}));

  TKiv other;
  other.DefsDir = dir.Path();
  r = Parse(other, "-kivtype 1234abcd");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(other.Identification(), "1234ABCD");
  EXPECT_EQ(other.IdentificationName(), "1234_ABCD");
  EXPECT_EQ(other.GetKivType(), kivtKivs2);
  EXPECT_EQ(other.Defs.ZnsSize, 55);
}

TEST(StartParams, ErrorsAndHelp) {
  TKiv kiv;
  TParsed r = Parse(kiv, "buffile x");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, " then expected character was: \"-\" :buffile x");
  EXPECT_EQ(std::string(" then expected character was: \"-\" :").size(), 35u);

  r = Parse(kiv, "-BUFFILE x");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Unknown command: BUFFILE");

  r = Parse(kiv, "-h");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.message,
            "Starting parammeters programme:\n-buffile buffilename\n-zns1file zns1filename\n"
            "-zns2file zns2filename\n-kivtype [kivs2|kivs3|eproms string]\n"
            "-h -szhow this message");
  EXPECT_EQ(kiv.GetKivType(), kivtUnknown);  // help alone touches nothing

  r = Parse(kiv, "-h -kivtype kivs2");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.message.substr(0, 31), "Starting parammeters programme:");
  EXPECT_EQ(kiv.GetKivType(), kivtKivs2);

  r = Parse(kiv, "  ");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.message, "");
}

TEST(StartParams, RawFilesAreCutToCapacity) {
  TTempDir dir;
  std::vector<uint8_t> big(20000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
  std::string buf = dir.Write("buf.bin", big);
  std::string z1 = dir.Write("z1.bin", std::vector<uint8_t>(600, 0x11));
  std::string z2 = dir.Write("z2.bin", std::vector<uint8_t>{1, 2, 3, 4});
  TKiv kiv;
  kiv.DefsDir = dir.Path();
  TParsed r =
      Parse(kiv, "-buffile " + buf + " -zns1file " + z1 + " -zns2file " + z2 + " -kivtype kivs2");
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(kiv.EventBufferLength(), 15360);
  EXPECT_EQ(kiv.EventBuffer()[15359], static_cast<uint8_t>(15359));
  EXPECT_EQ(kiv.Zestaw1Length(), 512);
  EXPECT_EQ(kiv.Zestaw2Length(), 4);
  EXPECT_EQ(kiv.Zestaw2()[3], 4);
  EXPECT_EQ(kiv.GetKivType(), kivtKivs2);

  // A missing file stops the parser; what was loaded before stays.
  TKiv other;
  r = Parse(other, "-buffile " + buf + " -zns1file " + dir.File("nope.bin"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Cant load the file: " + dir.File("nope.bin"));
  EXPECT_EQ(other.EventBufferLength(), 15360);
  EXPECT_EQ(other.Zestaw1Length(), 0);
}

TEST(StartParams, MinusSignsInsidePathsAndWords) {
  TTempDir dir;
  std::filesystem::create_directories(dir.File("site-a"));
  std::string buf = dir.Write("site-a/ev-2024-05-01.bin", std::vector<uint8_t>(40, 0x7f));
  std::string z1 = dir.Write("site-a/p-1.bin", std::vector<uint8_t>(6, 0x11));
  TKiv kiv;
  kiv.DefsDir = dir.Path();
  TParsed r = Parse(kiv, "-buffile " + buf + " -zns1file " + z1 + " -kivtype kivs2");
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(kiv.EventBufferLength(), 40);
  EXPECT_EQ(kiv.Zestaw1Length(), 6);
  EXPECT_EQ(kiv.GetKivType(), kivtKivs2);
  // An identification with a minus sign stays whole; a "-" after a blank starts an item.
  TKiv other;
  r = Parse(other, "-kivtype kiv-x2 -h");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.message, TKiv::kStartParamsHelp);
  EXPECT_EQ(other.Identification(), "KIV-X2");
  r = Parse(other, "-bogus-a");
  EXPECT_EQ(r.message, "Unknown command: bogus-a");
  EXPECT_EQ(NextItemStart("a-b -c"), 4u);
  EXPECT_EQ(NextItemStart("-a"), 0u);
  EXPECT_EQ(NextItemStart("x\t-y"), 2u);
  EXPECT_EQ(NextItemStart("site-a"), std::string::npos);
}

}  // namespace

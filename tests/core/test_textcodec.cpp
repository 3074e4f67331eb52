#include <gtest/gtest.h>

#include "textcodec.h"

TEST(TextCodec, PolishLettersBothWays) {
  // "Zażółć gęślą jaźń" in Windows-1250.
  const std::string cp = "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1";
  const std::string utf8 = "Zażółć gęślą jaźń";
  EXPECT_EQ(Cp1250ToUtf8(cp), utf8);
  EXPECT_EQ(Utf8ToCp1250(utf8), cp);
  EXPECT_EQ(Cp1250ToUtf8("\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF"), "ĄĆĘŁŃÓŚŹŻ");
  EXPECT_EQ(Cp1250ToUtf8("\x80\x84\x96\xB0\xFF"), "€„–°˙");
}

TEST(TextCodec, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Cp1250ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToCp1250(utf8), all);
  EXPECT_EQ(Utf8Length(utf8), 255u);
  // The undefined bytes become the C1 controls of the same number.
  EXPECT_EQ(Cp1250ToUtf8("\x81"), "\xC2\x81");
}

TEST(TextCodec, CharactersWithoutAByteBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1250("a€b"),
            "a\x80"
            "b");
  EXPECT_EQ(Utf8ToCp1250("日本"), "??");
  EXPECT_EQ(Utf8ToCp1250("x😀y"), "x?y");
  EXPECT_EQ(Utf8ToCp1250("a\xFF"
                         "b"),
            "a?b");                   // a stray byte
  EXPECT_EQ(Utf8ToCp1250("ñ"), "?");  // Latin-1, but not in 1250
}

TEST(TextCodec, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("Łódź 😀"));
  EXPECT_FALSE(IsValidUtf8("\xB3\xF3"));          // Windows-1250 "łó"
  EXPECT_FALSE(IsValidUtf8("\xC3"));              // cut short
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

TEST(TextCodec, DefinitionFilesInEitherEncoding) {
  EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBFNAME=Napięcie"), "NAME=Napięcie");
  EXPECT_EQ(DecodeTextFile("NAME=Napi\xEA\x63ie"), "NAME=Napięcie");
  EXPECT_EQ(DecodeTextFile("ascii"), "ascii");
}

TEST(TextCodec, CharacterCountsAndUpperCase) {
  EXPECT_EQ(Utf8Left("Zażółć gęślą", 5), "Zażół");
  EXPECT_EQ(Utf8Left("abc", 10), "abc");
  EXPECT_EQ(Utf8Left("abc", 0), "");
  EXPECT_EQ(Utf8Length("żółw"), 4u);
  EXPECT_EQ(Utf8Upper("real y/n zażółć ľš ÿ"), "REAL Y/N ZAŻÓŁĆ ĽŠ Ÿ");
  EXPECT_EQ(Utf8Upper("÷1"), "÷1");
}

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "numfmt.h"

TEST(NumFmt, FloatToStrGShortestFormWithComma) {
  EXPECT_EQ(FloatToStrG(25.8), "25,8");
  EXPECT_EQ(FloatToStrG(258 * 0.1), "25,8");  // 25.800000000000001 in binary
  EXPECT_EQ(FloatToStrG(0.1 * 3), "0,3");
  EXPECT_EQ(FloatToStrG(0.0), "0");
  EXPECT_EQ(FloatToStrG(-0.0), "0");
  EXPECT_EQ(FloatToStrG(-1.5), "-1,5");
  EXPECT_EQ(FloatToStrG(230), "230");
  EXPECT_EQ(FloatToStrG(157 * 0.1), "15,7");
  EXPECT_EQ(FloatToStrG(334 * 0.01), "3,34");
  EXPECT_EQ(FloatToStrG(1.0 / 3), "0,333333333333333");
  EXPECT_EQ(FloatToStrG(2.0 / 3), "0,666666666666667");
}

TEST(NumFmt, FloatToStrGExponentForm) {
  EXPECT_EQ(FloatToStrG(1e20), "1E20");
  EXPECT_EQ(FloatToStrG(1.5e-7), "1,5E-7");
  EXPECT_EQ(FloatToStrG(-2.5e30), "-2,5E30");
  // 15 integer digits still fit the plain form, 16 do not.
  EXPECT_EQ(FloatToStrG(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStrG(1e15), "1E15");
  // Rounding to 15 digits can move the exponent.
  EXPECT_EQ(FloatToStrG(999999999999999.9), "1E15");
  EXPECT_EQ(FloatToStrG(0.0001), "0,0001");
  EXPECT_EQ(FloatToStrG(0.00012), "0,00012");
  EXPECT_EQ(FloatToStrG(0.00001), "1E-5");
  EXPECT_EQ(FloatToStrG(std::nan("")), "NAN");
  EXPECT_EQ(FloatToStrG(-INFINITY), "-INF");
}

TEST(NumFmt, ParsingUsesCommaOnly) {
  double v = 0;
  EXPECT_TRUE(TryStrToFloat("25,86", v));
  EXPECT_DOUBLE_EQ(v, 25.86);
  EXPECT_TRUE(TryStrToFloat("  -0,5  ", v));
  EXPECT_DOUBLE_EQ(v, -0.5);
  EXPECT_TRUE(TryStrToFloat("+7", v));
  EXPECT_DOUBLE_EQ(v, 7);
  EXPECT_TRUE(TryStrToFloat(",5", v));
  EXPECT_DOUBLE_EQ(v, 0.5);
  EXPECT_TRUE(TryStrToFloat("1,5E-7", v));
  EXPECT_DOUBLE_EQ(v, 1.5e-7);
  EXPECT_TRUE(TryStrToFloat("2e3", v));
  EXPECT_DOUBLE_EQ(v, 2000);
  v = 42;
  // A number a person typed takes "." as the separator as well; files keep to ",".
  EXPECT_TRUE(TryTypedToFloat("25.86", v));
  EXPECT_DOUBLE_EQ(v, 25.86);
  EXPECT_TRUE(TryTypedToFloat(".5", v));
  EXPECT_DOUBLE_EQ(v, 0.5);
  EXPECT_TRUE(TryTypedToFloat("1,5", v));
  EXPECT_DOUBLE_EQ(v, 1.5);
  EXPECT_DOUBLE_EQ(TypedToFloat("-2.25e1"), -22.5);
  for (const char* bad : {"1.2.3", "1,2.3", ".", "abc"})
    EXPECT_FALSE(TryTypedToFloat(bad, v)) << bad;
  EXPECT_THROW(TypedToFloat("x.5"), EConvertError);
  v = 42;
  for (const char* bad : {"", " ", "25.86", "abc", "1,2,3", "1e", "e5", ",", "-", "0x10", "inf",
                          "nan", "1 2", "1e999"}) {
    EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
  }
  EXPECT_EQ(v, 42);                         // failures leave the value alone
  EXPECT_TRUE(TryStrToFloat("1e-999", v));  // too small is zero, too large is no number
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(TryStrToFloat("0,000001e-400", v));
  EXPECT_TRUE(TryStrToFloat("123456e-5000000000000", v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(TryStrToFloat("0,001e312", v));
}

TEST(NumFmt, StrToFloatRaisesWithTheText) {
  EXPECT_DOUBLE_EQ(StrToFloat("0,1"), 0.1);
  try {
    StrToFloat("abc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
}

TEST(NumFmt, IndependentOfTheCLocale) {
  // Whatever locale a library switches to, the texts stay the program's.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "pl_PL.UTF-8") == nullptr)
    std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(FloatToStrG(25.8), "25,8");
  EXPECT_EQ(FormatFixed(1.25, 1), "1,2");
  double v = 0;
  EXPECT_TRUE(TryStrToFloat("3,5", v));
  EXPECT_DOUBLE_EQ(v, 3.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumFmt, FormatFixedRoundsFromTheBinaryValue) {
  EXPECT_EQ(FormatFixed(1.25, 1), "1,2");    // exactly half: to even
  EXPECT_EQ(FormatFixed(1.35, 1), "1,4");    // 1.350000000000000088..
  EXPECT_EQ(FormatFixed(2.675, 2), "2,67");  // 2.67499999999999982..
  EXPECT_EQ(FormatFixed(3.0, 3, 8), "   3,000");
  EXPECT_EQ(FormatFixed(-0.5, 0), "-0");
  EXPECT_EQ(FormatFixed(12345.678, 2, 3), "12345,68");
  EXPECT_EQ(FormatFixed(7.5, -2), "8");
}

TEST(NumFmt, RoundHalfEvenAndIntegers) {
  EXPECT_EQ(RoundHalfEven(258.6), 259);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(-0.4), 0);
  EXPECT_EQ(RoundHalfEven(0.49999999999999994), 0);
  EXPECT_EQ(RoundHalfEven(1e300), 1e300);
  EXPECT_EQ(IntToStr(-12), "-12");
  EXPECT_EQ(IntToHex(0x2a, 4), "002A");
  EXPECT_EQ(IntToHex(0x12345, 4), "12345");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(0xFFFFFFFFFFFFFFFFULL, 2), "FFFFFFFFFFFFFFFF");
}

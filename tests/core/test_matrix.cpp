#include "matrix.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A record whose first byte names it and whose last 8 bytes hold its key.
std::vector<uint8_t> Record(char name, double key, size_t size = 16) {
  std::vector<uint8_t> r(size, 0);
  r[0] = static_cast<uint8_t>(name);
  PutDoubleLE(r.data() + size - 8, key);
  return r;
}

void Put(TOgmMatrix& m, uint16_t row, uint16_t col, const std::vector<uint8_t>& r) {
  m.SetElement(r.data(), row, col, static_cast<uint16_t>(r.size()));
}

std::string Names(TOgmMatrix& m, uint16_t row) {
  std::string s;
  for (uint16_t c = 1; c <= m.GetRowLength(row); ++c) s += static_cast<char>(m.ElementByte(row, c));
  return s;
}

}  // namespace

TEST(Matrix, NewMatrixIsEmptyAndReportsRangeErrors) {
  TOgmMatrix m;
  EXPECT_EQ(m.RowCount, 0);
  EXPECT_EQ(m.RowCapacity, 0);
  EXPECT_TRUE(m.AutoExpand);
  EXPECT_EQ(m.GetRowLength(1), 0);
  EXPECT_EQ(m.LastError, "");
  uint8_t buf[8];
  uint16_t size = 99;
  EXPECT_EQ(m.GetElement(buf, 1, 1, size), 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(m.LastError, "Row index out of range");
  EXPECT_EQ(m.GetRowCapacity(0), 0);
  EXPECT_EQ(m.LastError, "Row index out of range");
  EXPECT_EQ(m.ElementPtr(1, 1), nullptr);
  EXPECT_EQ(m.ElementByte(1, 1), 0);
  EXPECT_EQ(m.LastError, "Row index out of range");
  m.SetElement(buf, 0, 1, 1);
  EXPECT_EQ(m.LastError, "Empty column or row writing");
  m.SetElement(buf, 1, 0, 1);
  EXPECT_EQ(m.LastError, "Empty column or row writing");
  EXPECT_EQ(m.RowCount, 0);
}

TEST(Matrix, SetElementExpandsRowsAndColumns) {
  TOgmMatrix m;
  const uint8_t v[3] = {7, 8, 9};
  m.SetElement(v, 3, 5, 3);
  EXPECT_EQ(m.LastError, "");
  EXPECT_EQ(m.RowCapacity, 3);
  EXPECT_EQ(m.RowCount, 3);
  EXPECT_EQ(m.GetRowLength(3), 5);
  EXPECT_EQ(m.GetRowCapacity(3), 5);
  EXPECT_EQ(m.GetRowLength(1), 0);
  EXPECT_EQ(m.GetRowLength(2), 0);
  uint8_t buf[3] = {};
  uint16_t size = 99;
  for (uint16_t c = 1; c <= 4; ++c) {
    m.GetElement(buf, 3, c, size);
    EXPECT_EQ(size, 0) << c;
    EXPECT_EQ(m.LastError, "");
    EXPECT_EQ(m.ElementPtr(3, c), nullptr);
  }
  EXPECT_EQ(m.GetElement(buf, 3, 5, size), 3);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(buf[2], 9);
  ASSERT_NE(m.ElementPtr(3, 5), nullptr);
  EXPECT_EQ(m.ElementPtr(3, 5)[1], 8);
  EXPECT_EQ(m.ElementSize(3, 5), 3);
  m.GetElement(buf, 3, 6, size);
  EXPECT_EQ(m.LastError, "Column index out of range");
  EXPECT_EQ(size, 0);
}

TEST(Matrix, NoAutoExpandRefusesAndStoresNothing) {
  TOgmMatrix m;
  m.AutoExpand = false;
  const uint8_t v = 1;
  m.SetElement(&v, 1, 1, 1);
  EXPECT_EQ(m.LastError, "Row index out of range");
  EXPECT_EQ(m.RowCapacity, 0);
  m.SetCapacity(2);
  m.SetElement(&v, 1, 1, 1);
  EXPECT_EQ(m.LastError, "Column index out of range");
  EXPECT_EQ(m.RowCount, 0);
  m.SetRowCapacity(3, 4);
  EXPECT_EQ(m.LastError, "Row index out of range");
  EXPECT_EQ(m.RowCapacity, 2);
  m.SetRowCapacity(2, 2);  // above RowCount but within the capacity: accepted
  EXPECT_EQ(m.GetRowCapacity(2), 2);
  m.SetElement(&v, 2, 2, 1);
  EXPECT_EQ(m.LastError, "");
  EXPECT_EQ(m.RowCount, 2);
  EXPECT_EQ(m.GetRowLength(2), 2);
}

TEST(Matrix, SmallerWriteReadsBackItsOwnSizeAndLargerBlocksGrow) {
  TOgmMatrix m;
  std::vector<uint8_t> big(24, 0xAA), small(16, 0x55), huge(300, 0x11);
  Put(m, 1, 1, big);
  Put(m, 1, 1, small);
  uint8_t buf[300];
  uint16_t size = 0;
  m.GetElement(buf, 1, 1, size);
  EXPECT_EQ(size, 16);
  EXPECT_EQ(buf[15], 0x55);
  Put(m, 1, 1, huge);
  m.GetElement(buf, 1, 1, size);
  EXPECT_EQ(size, 300);
  EXPECT_EQ(buf[299], 0x11);
  Put(m, 1, 1, small);  // back into the larger block
  EXPECT_EQ(m.ElementSize(1, 1), 16);
  EXPECT_EQ(m.ElementPtr(1, 1)[0], 0x55);
  // Writing an element from its own bytes is safe, whichever block it lives in.
  std::vector<uint8_t> copy(m.ElementPtr(1, 1), m.ElementPtr(1, 1) + 16);
  m.SetElement(m.ElementPtr(1, 1), 1, 1, 16);
  EXPECT_EQ(0, std::memcmp(m.ElementPtr(1, 1), copy.data(), 16));
}

TEST(Matrix, RowLengthTruncationEmptiesElements) {
  TOgmMatrix m;
  for (uint16_t c = 1; c <= 4; ++c) Put(m, 1, c, Record('a', c));
  m.SetRowLength(1, 0);
  EXPECT_EQ(m.GetRowLength(1), 0);
  m.SetRowLength(1, 4);
  EXPECT_EQ(m.LastError, "");
  for (uint16_t c = 1; c <= 4; ++c) EXPECT_EQ(m.ElementSize(1, c), 0);
  m.SetRowLength(1, 5);
  EXPECT_EQ(m.LastError, "Column index out of range");
  m.SetRowLength(2, 0);
  EXPECT_EQ(m.LastError, "Row index out of range");

  // Shrinking the capacity cuts the length and frees the elements.
  Put(m, 1, 3, Record('c', 3));
  m.SetRowCapacity(1, 2);
  EXPECT_EQ(m.GetRowCapacity(1), 2);
  EXPECT_EQ(m.GetRowLength(1), 2);
  m.SetRowCapacity(1, 0);
  EXPECT_EQ(m.GetRowCapacity(1), 0);
  EXPECT_EQ(m.GetRowLength(1), 0);
}

TEST(Matrix, SetRowCountAndCapacity) {
  TOgmMatrix m;
  for (uint16_t r = 1; r <= 4; ++r) Put(m, r, 2, Record('x', r));
  m.SetCapacity(6);
  EXPECT_EQ(m.RowCapacity, 6);
  EXPECT_EQ(m.RowCount, 4);
  m.SetRowCount(2);
  EXPECT_EQ(m.RowCount, 2);
  // Rows 5 and 6 were never in use, so the last SetRowLength was refused.
  EXPECT_EQ(m.LastError, "Row index out of range");
  m.SetRowCount(4);
  EXPECT_EQ(m.GetRowLength(3), 0);
  EXPECT_EQ(m.GetRowLength(2), 2);
  m.SetRowCount(7);
  EXPECT_EQ(m.LastError, "Row index out of range");
  EXPECT_EQ(m.RowCount, 4);
  m.SetRowCount(6);
  EXPECT_EQ(m.LastError, "");
  m.SetCapacity(1);
  EXPECT_EQ(m.RowCount, 1);
  EXPECT_EQ(m.GetRowLength(1), 2);
  m.SetCapacity(0);
  EXPECT_EQ(m.RowCount, 0);
  EXPECT_EQ(m.RowCapacity, 0);
}

TEST(Matrix, ReverseAndSwap) {
  TOgmMatrix m;
  Put(m, 1, 1, Record('a', 0, 10));
  Put(m, 1, 2, Record('b', 0, 40));  // elements of different sizes
  Put(m, 1, 3, Record('c', 0, 12));
  m.ReverseRow(1);
  EXPECT_EQ(Names(m, 1), "cba");
  EXPECT_EQ(m.ElementSize(1, 1), 12);
  EXPECT_EQ(m.ElementSize(1, 3), 10);
  Put(m, 2, 1, Record('z', 0));
  m.ReverseRow(2);
  EXPECT_EQ(m.LastError, "Row has less than two elements");
  m.SwapElements(1, 2, 2, 1);
  EXPECT_EQ(m.LastError, "");
  EXPECT_EQ(Names(m, 1), "cza");
  EXPECT_EQ(Names(m, 2), "b");
  EXPECT_EQ(m.ElementSize(2, 1), 40);
  m.SwapElements(1, 1, 3, 1);
  EXPECT_EQ(m.LastError, "Row index out of range");
  m.SwapElements(1, 4, 2, 1);
  EXPECT_EQ(m.LastError, "Column index out of range");
  m.ReverseRows();
  EXPECT_EQ(Names(m, 1), "b");
  EXPECT_EQ(Names(m, 2), "cza");
  m.SwapRows(1, 3);
  EXPECT_EQ(m.LastError, "Row index out of range");
  m.SetRowCount(1);
  m.ReverseRows();
  EXPECT_EQ(m.LastError, "board has less than two lines");
}

TEST(Matrix, KivMatrixSortsByTrailingDouble) {
  TKivMatrix m;
  Put(m, 1, 1, Record('c', 3.0));
  Put(m, 1, 2, Record('a', 1.0, 24));
  Put(m, 1, 3, Record('b', 2.0, 9));
  m.SortRow(1);
  EXPECT_EQ(m.LastError, "");
  EXPECT_EQ(Names(m, 1), "abc");
  EXPECT_EQ(m.ElementDouble(1, 1), 1.0);
  EXPECT_EQ(m.ElementDouble(1, 3), 3.0);
  EXPECT_EQ(m.ElementSize(1, 1), 24);

  Put(m, 2, 1, Record('x', 1.0));
  m.SortRow(2);
  EXPECT_EQ(m.LastError, "Data in row lee than 2");
  m.SortRow(3);
  EXPECT_EQ(m.LastError, "Sorting: Row index out of range");
  m.SortRow(0);
  EXPECT_EQ(m.LastError, "Sorting: Row index out of range");
  EXPECT_EQ(m.ElementDouble(5, 1), 0.0);
  EXPECT_EQ(m.LastError, "Row index out of range");
}

TEST(Matrix, ShellSortIsNotStable) {
  // Keys 1,0,0,2 held by A,B,C,D: the gap-2 exchange moves C in front of B.
  TKivMatrix m;
  Put(m, 1, 1, Record('A', 1));
  Put(m, 1, 2, Record('B', 0));
  Put(m, 1, 3, Record('C', 0));
  Put(m, 1, 4, Record('D', 2));
  m.SortRow(1);
  EXPECT_EQ(Names(m, 1), "CBAD");
}

TEST(Matrix, SortsLargeRowsAscending) {
  TKivMatrix m;
  const int n = 5000;
  for (int i = 0; i < n; ++i) {
    // A nearly sorted row with some values out of place and duplicates.
    double key = (i % 97 == 0) ? n - i : i / 2;
    Put(m, 1, static_cast<uint16_t>(i + 1), Record('r', key, 20));
  }
  m.SortRow(1);
  ASSERT_EQ(m.GetRowLength(1), n);
  for (int i = 2; i <= n; ++i) {
    ASSERT_LE(m.ElementDouble(1, i - 1), m.ElementDouble(1, i)) << i;
  }
}

TEST(Matrix, CompareTrailingDouble) {
  auto a = Record('a', 2.5), b = Record('b', 1.0, 12);
  EXPECT_EQ(CompareTrailingDouble(a.data(), 16, b.data(), 12), 1);
  EXPECT_EQ(CompareTrailingDouble(b.data(), 12, a.data(), 16), -1);
  EXPECT_EQ(CompareTrailingDouble(a.data(), 16, a.data(), 16), 0);
}

TEST(Matrix, Bits) {
  uint8_t b = 0;
  SetBit(true, 3, b);
  EXPECT_EQ(b, 0x08);
  EXPECT_TRUE(GetBit(3, b));
  EXPECT_FALSE(GetBit(2, b));
  SetBit(true, 8, b);
  EXPECT_EQ(b, 0x08);
  SetBit(false, 3, b);
  EXPECT_EQ(b, 0x00);
  EXPECT_FALSE(GetBit(8, 0xFF));
  EXPECT_TRUE(GetBit(7, 0x80));
  b = 0x01;
  EXPECT_EQ(SwapBits(0, 7, b), 0x80);
  EXPECT_EQ(b, 0x80);
  b = 0x81;
  EXPECT_EQ(SwapBits(0, 7, b), 0x81);
}

TEST(Matrix, HexToInt) {
  EXPECT_EQ(HexToInt("1F"), 31);
  EXPECT_EQ(HexToInt("0"), 0);
  EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
  EXPECT_EQ(HexToInt("100000000"), 0);
  EXPECT_EQ(HexToInt("1234ABCDE"), 0x234ABCDE);
  try {
    HexToInt("1f");
    FAIL();
  } catch (const EHexError& e) {
    EXPECT_STREQ(e.what(), "f is not a hex value");
  }
  try {
    HexToInt("");
    FAIL();
  } catch (const EHexError& e) {
    EXPECT_STREQ(e.what(), "HexToInt - trying convert empty string");
  }
  // Every character is checked, even those whose weight has wrapped to 0.
  EXPECT_THROW(HexToInt("G00000000"), EHexError);
  EXPECT_EQ(HexDigitValue('A'), 10);
  EXPECT_THROW(HexDigitValue('a'), std::runtime_error);
}

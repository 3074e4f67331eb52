#include <gtest/gtest.h>

#include "gridlayout.h"

TEST(GridLayout, ValueCellsOfASectionWithThreeSettings) {
  TKivDefs defs;
  defs.SetSectionTitle(1, "1. Voltages");
  for (int m = 1; m <= 3; ++m) defs.AddSetting(1, m, TSetDesc{});
  defs.SetSectionTitle(2, "2. Empty");
  using namespace znsgrid;
  EXPECT_EQ(ValueColumn(1), 2);
  EXPECT_EQ(ValueColumn(3), 8);
  EXPECT_EQ(SpacerColumn(3), 9);
  for (int c : {2, 5, 8}) EXPECT_TRUE(IsValueCell(defs, c, 1)) << c;
  for (int c : {0, 1, 3, 4, 6, 9, 10, 11}) EXPECT_FALSE(IsValueCell(defs, c, 1)) << c;
  EXPECT_FALSE(IsValueCell(defs, 2, 2)) << "a section without settings";
  EXPECT_FALSE(IsValueCell(defs, 2, 3)) << "below the last section";
  EXPECT_FALSE(IsValueCell(defs, 2, 0)) << "the fixed row";
  EXPECT_EQ(SettingOfColumn(11), 4);
  EXPECT_EQ(SettingOfColumn(3), 0);
}

// Where the settings of a parset lie in the settings grid: one row per section, three
// columns per setting (name, value, spacer) after the fixed column. Qt-free, so the grid
// widget, printing and tests share one set of rules.
#pragma once

#include "kivdefs.h"

namespace znsgrid {
constexpr int kFixedCols = 1;
constexpr int kFixedRows = 1;
constexpr int kInitialCols = 19;
constexpr int kInitialRows = 46;
constexpr int kDefaultColWidth = 88;
constexpr int kDefaultRowHeight = 18;

// Columns of setting j (from 1).
constexpr int NameColumn(int j) {
  return kFixedCols + 3 * (j - 1);
}
constexpr int ValueColumn(int j) {
  return NameColumn(j) + 1;
}
constexpr int SpacerColumn(int j) {
  return NameColumn(j) + 2;
}
// The setting number a value column c shows; 0 when c is no value column.
int SettingOfColumn(int c);
// Number of settings in section r; 0 outside 1..SectionCount.
int SettingCount(const TKivDefs& defs, int r);
// A cell the user may edit: a value column of an existing setting of an existing section.
bool IsValueCell(const TKivDefs& defs, int c, int r);
}  // namespace znsgrid

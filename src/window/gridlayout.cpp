#include "gridlayout.h"

namespace znsgrid {

int SettingOfColumn(int c) {
  int k = c - kFixedCols;
  if (k < 0 || k % 3 != 1) return 0;
  return k / 3 + 1;
}

int SettingCount(const TKivDefs& defs, int r) {
  if (r < 1 || r > defs.SectionCount()) return 0;
  const TSets* sets = defs.SectionSets(r);
  return sets ? sets->Count() : 0;
}

bool IsValueCell(const TKivDefs& defs, int c, int r) {
  int j = SettingOfColumn(c);
  return j > 0 && r >= 1 && j <= SettingCount(defs, r);
}

}  // namespace znsgrid

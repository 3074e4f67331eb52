// Comparison of two settings sets laid out by their definitions: parset 1 against parset 2
// of one registration, or a parset of one registration against a parset of another. The
// rows are what the comparison view, kivtool diff, the write confirmation and the service
// report show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kivdefs.h"

class TKiv;

// One settings set and the definitions that describe it.
struct TParsetSide {
  const TKivDefs* Defs = nullptr;
  const uint8_t* Parset = nullptr;
  int Length = 0;  // bytes held
};

// The side of parset n (1 or 2) of a registration.
TParsetSide ParsetSide(const TKiv& kiv, int n);

struct TSettingsDiffRow {
  std::string Section;  // section title
  std::string Name;     // "Name [Dim]" as the settings grid shows it
  std::string TextA;    // SettingToText of side A ("" when A has no such setting)
  std::string TextB;
  bool InA = true;
  bool InB = true;
  bool Differs = false;
};

class TSettingsDiff {
 public:
  // Rows in the order of A's definitions; a setting of B is matched by its section title
  // and name (the k-th setting of that title and name in A with the k-th in B), so two
  // files of the same definitions compare setting by setting. Settings only B knows
  // follow at the end.
  void Compare(const TParsetSide& a, const TParsetSide& b);
  const std::vector<TSettingsDiffRow>& Rows() const { return rows_; }
  // The rows that differ, in order.
  std::vector<TSettingsDiffRow> Differences() const;
  int DifferenceCount() const;

 private:
  std::vector<TSettingsDiffRow> rows_;
};

// One line per differing row: "Section / Name: A -> B".
std::vector<std::string> DifferenceLines(const TSettingsDiff& diff);

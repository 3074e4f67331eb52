#include "settingsdiff.h"

#include <map>
#include <utility>

#include "kivbase.h"
#include "settingcells.h"
#include "settings.h"

namespace {

struct TSideEntry {
  std::string section;
  TSetDesc desc;
};

std::vector<TSideEntry> Entries(const TKivDefs* defs) {
  std::vector<TSideEntry> out;
  if (defs == nullptr) return out;
  for (int n = 1; n <= defs->SectionCount(); ++n) {
    const TSets* sets = defs->SectionSets(n);
    if (sets == nullptr) continue;
    for (int m = 1; m <= sets->Count(); ++m)
      out.push_back({defs->SectionTitle(n), sets->GetSetting(m)});
  }
  return out;
}

std::string ValueText(const TParsetSide& side, const TSetDesc& desc) {
  // A setting without a register (a label) shows nothing on either side.
  if (desc.Kind == skInt) return {};
  return SettingToText(desc, side.Parset, side.Length);
}

}  // namespace

TParsetSide ParsetSide(const TKiv& kiv, int n) {
  TParsetSide side;
  side.Defs = &kiv.Defs;
  side.Parset = kiv.Zestaw(n);
  side.Length = side.Parset != nullptr ? kiv.ZestawLength(n) : 0;
  return side;
}

void TSettingsDiff::Compare(const TParsetSide& a, const TParsetSide& b) {
  rows_.clear();
  const std::vector<TSideEntry> ea = Entries(a.Defs);
  const std::vector<TSideEntry> eb = Entries(b.Defs);
  using TKey = std::pair<std::string, std::string>;
  // Settings of B by section and name, in their order, each taken once.
  std::map<TKey, std::vector<size_t>> pending;
  for (size_t i = 0; i < eb.size(); ++i) pending[{eb[i].section, eb[i].desc.Name}].push_back(i);
  std::map<TKey, size_t> taken;
  std::vector<bool> used(eb.size(), false);
  for (const TSideEntry& e : ea) {
    TSettingsDiffRow row;
    row.Section = e.section;
    row.Name = SettingNameCell(e.desc);
    row.TextA = ValueText(a, e.desc);
    const TKey key{e.section, e.desc.Name};
    const auto it = pending.find(key);
    size_t& k = taken[key];
    if (it != pending.end() && k < it->second.size()) {
      const size_t j = it->second[k++];
      used[j] = true;
      row.TextB = ValueText(b, eb[j].desc);
      row.Differs = row.TextA != row.TextB;
    } else {
      // A label of one side only carries no value, so it is no difference.
      row.InB = false;
      row.Differs = e.desc.Kind != skInt;
    }
    rows_.push_back(std::move(row));
  }
  for (size_t j = 0; j < eb.size(); ++j) {
    if (used[j]) continue;
    TSettingsDiffRow row;
    row.Section = eb[j].section;
    row.Name = SettingNameCell(eb[j].desc);
    row.TextB = ValueText(b, eb[j].desc);
    row.InA = false;
    row.Differs = eb[j].desc.Kind != skInt;
    rows_.push_back(std::move(row));
  }
}

std::vector<TSettingsDiffRow> TSettingsDiff::Differences() const {
  std::vector<TSettingsDiffRow> out;
  for (const TSettingsDiffRow& r : rows_)
    if (r.Differs) out.push_back(r);
  return out;
}

int TSettingsDiff::DifferenceCount() const {
  int n = 0;
  for (const TSettingsDiffRow& r : rows_) n += r.Differs ? 1 : 0;
  return n;
}

std::vector<std::string> DifferenceLines(const TSettingsDiff& diff) {
  std::vector<std::string> lines;
  for (const TSettingsDiffRow& r : diff.Rows()) {
    if (!r.Differs) continue;
    const std::string a = r.InA ? r.TextA : "(none)";
    const std::string b = r.InB ? r.TextB : "(none)";
    lines.push_back(r.Section + " / " + r.Name + ": " + a + " -> " + b);
  }
  return lines;
}

#include "kivdefs.h"

#include <algorithm>

#include "inifile.h"
#include "textcodec.h"

namespace {

constexpr int32_t kDefZnsSize = 119;
constexpr int32_t kDefZns1Adres = 0x881;      // 2177
constexpr int32_t kDefZns2Adres = 0x981;      // 2433
constexpr int32_t kDefEvBufFirstReg = 0xFA1;  // 4001
constexpr int32_t kDefEvBufLastReg = 0xFC0;   // 4032
constexpr int32_t kDefDiCorrection = -5;
constexpr int32_t kDefDoCorrection = 15;
constexpr int32_t kDefAiCorrection = -30;
// A parset holds 512 bytes, that is 256 registers.
constexpr int32_t kMaxParsetRegisters = 256;

// Numbers land in fields narrower than the INI integer; the excess bits are cut off
// (a correction of 300 is 44, one of $FB is -5).
uint16_t Cut16(int32_t v) {
  return static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFF);
}
int8_t Cut8s(int32_t v) {
  const auto b = static_cast<uint8_t>(static_cast<uint32_t>(v) & 0xFF);
  return static_cast<int8_t>(b);
}
uint8_t Cut8(int64_t v) {
  return static_cast<uint8_t>(static_cast<uint64_t>(v) & 0xFF);
}

uint8_t KindOf(const std::string& typeText) {
  const std::string t = Utf8Upper(typeText);
  if (t == "INT") return skInt;
  if (t == "REAL") return skReal;
  if (t == "Y/N") return skYesNo;
  if (t == "UN") return skVoltage;
  return skHex;
}

}  // namespace

TSetDesc TSets::GetSetting(int m) const {
  if (m < 1 || m > Count()) return TSetDesc{};
  return items_[static_cast<size_t>(m - 1)];
}

void TSets::SetSetting(int m, const TSetDesc& desc) {
  if (m < 1) return;
  if (m > Count()) {
    items_.resize(static_cast<size_t>(m - 1));
    items_.push_back(desc);
  } else {
    items_[static_cast<size_t>(m - 1)] = desc;
  }
}

void TKivDefs::Clear() {
  sections_.clear();
  // Nothing loaded any more: the next load of the same name reads the file again.
  LoadedFile.clear();
}

std::string TKivDefs::SectionTitle(int n) const {
  if (n < 1 || n > SectionCount()) return {};
  return sections_[static_cast<size_t>(n - 1)].title;
}

const TSets* TKivDefs::SectionSets(int n) const {
  if (n < 1 || n > SectionCount()) return nullptr;
  return sections_[static_cast<size_t>(n - 1)].sets.get();
}

void TKivDefs::SetSectionTitle(int n, const std::string& title) {
  if (n < 1) return;
  while (SectionCount() < n) sections_.push_back(Section{});
  sections_[static_cast<size_t>(n - 1)].title = title;
}

void TKivDefs::AddSetting(int n, int m, const TSetDesc& desc) {
  if (n < 1 || n > SectionCount()) return;
  Section& section = sections_[static_cast<size_t>(n - 1)];
  if (!section.sets) section.sets = std::make_unique<TSets>();
  section.sets->SetSetting(m, desc);
}

uint16_t TKivDefs::ZestawAdres(int parset) const {
  if (parset == 1) return Zns1Adres;
  if (parset == 2) return Zns2Adres;
  return 0;
}

int8_t TKivDefs::Correction(int inputKind) const {
  switch (inputKind) {
    case 1:
      return DiCorrection;
    case 2:
      return DoCorrection;
    case 3:
      return AiCorrection;
    default:
      return 0;
  }
}

void TKivDefs::LoadFromFile(const std::string& fileName) {
  if (fileName == LoadedFile) return;
  Clear();
  FileName = fileName;
  const TIniFile ini(fileName);

  const std::string g = "GLOBAL";
  ImplementsSysLogick = ini.ReadBool(g, "ImplementsSysLogick", false);
  DiCorrection = Cut8s(ini.ReadInteger(g, "DI_correction", kDefDiCorrection));
  DoCorrection = Cut8s(ini.ReadInteger(g, "DO_correction", kDefDoCorrection));
  AiCorrection = Cut8s(ini.ReadInteger(g, "AI_correction", kDefAiCorrection));
  const int32_t znsSize = ini.ReadInteger(g, "ZNS_SIZE", kDefZnsSize);
  // A parset image holds 256 registers; a size beyond that (or below zero) would make the
  // readings run past it.
  ZnsSize = std::clamp(znsSize, 0, kMaxParsetRegisters);
  Zns1Adres = Cut16(ini.ReadInteger(g, "ZNS1_ADRES", kDefZns1Adres));
  Zns2Adres = Cut16(ini.ReadInteger(g, "ZNS2_ADRES", kDefZns2Adres));
  ZnsSendStep = ini.ReadInteger(g, "ZNS_SEND_STEP", znsSize);
  EvBufFirstReg = Cut16(ini.ReadInteger(g, "EV_BUF_FIRST_REG", kDefEvBufFirstReg));
  EvBufLastReg = Cut16(ini.ReadInteger(g, "EV_BUF_LAST_REG", kDefEvBufLastReg));

  // Settings without OFFSET take consecutive registers, counting on across sections.
  int64_t reg = 1;
  for (int n = 1;; ++n) {
    const std::string section = "SECTION_" + std::to_string(n);
    int m = 1;
    for (;; ++m) {
      const std::string prefix = "X" + std::to_string(m) + "_";
      if (!ini.SectionExists(section) || !ini.ValueExists(section, prefix + "NAME")) break;
      SetSectionTitle(n, std::to_string(n) + ". " + ini.ReadString(section, "TITLE", ""));
      TSetDesc desc;
      desc.Name = Utf8Left(ini.ReadString(section, prefix + "NAME", ""), 20);
      desc.Dim = Utf8Left(ini.ReadString(section, prefix + "DIM", ""), 4);
      desc.Base = ini.ReadFloat(section, prefix + "BASE", 1.0);
      desc.DecPlaces = Cut8(ini.ReadInteger(section, prefix + "DEC_PLACES", 0));
      desc.Kind = KindOf(ini.ReadString(section, prefix + "TYPE", ""));
      int32_t offset = 0;
      if (ParseIniInteger(ini.ReadString(section, prefix + "OFFSET", ""), offset)) reg = offset;
      desc.Offset = Cut8(reg - 1);
      // Outside 1..256 the number names no register of the parset; the low bits would
      // silently alias another setting's register.
      desc.OffsetValid = reg >= 1 && reg <= kMaxParsetRegisters;
      AddSetting(n, m, desc);
      ++reg;
    }
    if (m == 1) break;
  }
  LoadedFile = fileName;
}

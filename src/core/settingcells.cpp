#include "settingcells.h"

#include "kivfiles.h"
#include "numfmt.h"
#include "textcodec.h"

std::string SettingNameCell(const TSetDesc& desc) {
  return Utf8Left(desc.Name + " [" + desc.Dim + "]", 27);
}

std::string DefinitionCell(const TKivDefs& defs) {
  return "def: " + ExtractFileName(defs.FileName);
}

std::string SettingAllowableValues(const TSetDesc& desc) {
  if (!desc.OffsetValid) return {};
  switch (desc.Kind) {
    case skReal:
      if (desc.Base == 0.0) return {};
      return "Allowable values: 0 to " + FloatToStrG(65535 * desc.Base) + " in steps of " +
             FloatToStrG(desc.Base);
    case skYesNo:
      return "Allowable values: [Y/N]";
    case skVoltage:
      return "Allowable values: 100 to 99,5k (V; 6,5k = 6500)";
    case skHex:
      return "Allowable values: 0000 to FFFF (hexadecimal)";
    default:
      return {};
  }
}

std::string SettingTooltip(const TSetDesc& desc, const std::string& value) {
  std::string tip = desc.Name + " [" + desc.Dim + "]";
  if (!value.empty()) tip += "\nValue: " + value;
  const std::string allowed = SettingAllowableValues(desc);
  if (!allowed.empty()) tip += "\n" + allowed;
  return tip;
}

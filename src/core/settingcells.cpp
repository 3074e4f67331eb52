#include "settingcells.h"

#include "kivfiles.h"
#include "textcodec.h"

std::string SettingNameCell(const TSetDesc& desc) {
  return Utf8Left(desc.Name + " [" + desc.Dim + "]", 27);
}

std::string DefinitionCell(const TKivDefs& defs) { return "def: " + ExtractFileName(defs.FileName); }

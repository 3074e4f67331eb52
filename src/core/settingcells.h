// Texts of the settings grid that do not depend on any widget, shared by the window,
// printing and kivtool.
#pragma once

#include <string>

#include "kivdefs.h"

// "Name [Dim]", at most 27 characters.
std::string SettingNameCell(const TSetDesc& desc);
// "def: " and the definition file's name without its directory.
std::string DefinitionCell(const TKivDefs& defs);

// Texts of the settings grid that do not depend on any widget, shared by the window,
// printing and kivtool.
#pragma once

#include <string>

#include "kivdefs.h"

// "Name [Dim]", at most 27 characters.
std::string SettingNameCell(const TSetDesc& desc);
// "def: " and the definition file's name without its directory.
std::string DefinitionCell(const TKivDefs& defs);
// What a value cell takes, for its tooltip ("Allowable values: ..."); empty for settings
// that cannot be edited.
std::string SettingAllowableValues(const TSetDesc& desc);
// A setting cell's tooltip: the whole "Name [Dim]", the value shown and what may be typed.
std::string SettingTooltip(const TSetDesc& desc, const std::string& value);

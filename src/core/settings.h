// Conversion between a parset register value and the text the settings grid shows.
#pragma once

#include <cstdint>
#include <string>

#include "kivdefs.h"

std::string SettingToText(const TSetDesc& desc, const uint8_t* parset, int parsetLength);
// Changes the parset bytes in place. Raises EConvertError for text that is not a number
// where a number is needed; a bad Y/N text shows "Allowable values: [Y/N]".
void TextToSetting(const TSetDesc& desc, const std::string& text, int parsetLength,
                   uint8_t* parset);

// A text typed for a setting, stored only when the setting allows it: the grid and kivtool
// both edit through this. Returns what the user is told when the setting refuses the text
// (a Y/N text that is neither, a voltage the device does not keep, a value whose register
// would not hold it as typed: "'9999' is out of range.\nAllowable values: ..."); empty when
// the text was stored or there is nothing to store (empty text, a setting not editable).
// Raises EConvertError (or EHexError) for text that is not a number, as TextToSetting does.
std::string StoreTypedSetting(const TSetDesc& desc, const std::string& text, int parsetLength,
                              uint8_t* parset);

// The register (0-based) whose value the setting shows; -1 when it shows none (kind INT,
// OFFSET outside 1..256, a register at or beyond the parset's length).
int SettingRegister(const TSetDesc& desc, int parsetLength);

std::string VoltageCodeToText(uint16_t code);
// False (nothing to store) for voltages outside 100 V .. 99.5 kV; raises EConvertError
// for text that is not a number.
bool VoltageTextToCode(const std::string& text, uint16_t& code);

// Texts are UTF-8 inside the program; the registration image stores Windows-1250 bytes.
#pragma once

#include <string>
#include <string_view>

std::string Cp1250ToUtf8(std::string_view bytes);
// Characters without a Windows-1250 form become '?'.
std::string Utf8ToCp1250(std::string_view text);
bool IsValidUtf8(std::string_view bytes);
// Definition files: UTF-8 when valid UTF-8 (a BOM is dropped), else Windows-1250.
std::string DecodeTextFile(std::string_view bytes);
// First n characters (not bytes) of a UTF-8 text.
std::string Utf8Left(std::string_view text, size_t n);
size_t Utf8Length(std::string_view text);
std::string Utf8Upper(std::string_view text);

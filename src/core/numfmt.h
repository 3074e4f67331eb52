// Number texts of the program: the decimal separator is always "," whatever the C
// locale says, and the general format is the shortest decimal form with up to 15
// significant digits.
#pragma once

#include <stdexcept>
#include <string>

constexpr char kDecimalSeparator = ',';

// The number conversion error ("'abc' is not a valid floating point value").
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Shortest form with up to 15 significant digits, "," as separator, exponent form
// ("1E20", "1,5E-7") only where the plain form would need more than 15 digits.
std::string FloatToStrG(double value);
// Parses a decimal number written with ","; blanks around it are allowed.
bool TryStrToFloat(const std::string& text, double& value);
// As TryStrToFloat, raising EConvertError for text that is not a number.
double StrToFloat(const std::string& text);
// A number a person typed: as TryStrToFloat, with "." taken as the separator too. Files
// keep to ",".
bool TryTypedToFloat(const std::string& text, double& value);
double TypedToFloat(const std::string& text);
// printf-style "%w.pf" with "," as the separator, correctly rounded from the binary value.
std::string FormatFixed(double value, int decimals, int width = 0);
// Banker's rounding (a half goes to the even neighbour), as every conversion here rounds.
double RoundHalfEven(double value);
std::string IntToStr(long long value);
// Upper-case hexadecimal with at least `digits` digits.
std::string IntToHex(unsigned long long value, int digits);

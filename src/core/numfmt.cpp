#include "numfmt.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// For a number text out of the double range: whether it is too large (rather than too
// small). Its decimal magnitude is the place of the first non-zero digit plus the exponent.
bool Overflows(const std::string& plain) {
  const size_t e = plain.find('e');
  const std::string mantissa = plain.substr(0, e);
  long long exponent = 0;
  if (e != std::string::npos) {
    size_t i = e + 1;
    const bool negative = i < plain.size() && plain[i] == '-';
    if (i < plain.size() && (plain[i] == '-' || plain[i] == '+')) ++i;
    for (; i < plain.size() && exponent < 1000000000; ++i)
      exponent = exponent * 10 + (plain[i] - '0');
    if (negative) exponent = -exponent;
  }
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t first = mantissa.find_first_of("123456789");
  if (first == std::string::npos) return false;
  const long long magnitude = first < point ? static_cast<long long>(point - first)
                                            : -static_cast<long long>(first - point) + 1;
  return magnitude + exponent > 0;
}

}  // namespace

// The general format follows the classic ffGeneral rule with 15 digits of precision: the
// number is rounded to 15 significant digits and trailing zeros dropped; with the decimal
// exponent e of the first digit (value = d,ddd x 10^e) the plain form is used for
// -4 <= e < 15 and the exponent form otherwise, so 1E15, 1E-5 and 1,5E-7 use an exponent
// while 123456789012345 and 0,0001 do not.
std::string FloatToStrG(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0.0) return "0";

  char buf[64];
  // 15 significant digits, correctly rounded, independent of the C locale.
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  std::string sci(buf, res.ptr);
  const bool negative = sci[0] == '-';
  if (negative) sci.erase(0, 1);
  const size_t ePos = sci.find('e');
  const int exponent = std::atoi(sci.c_str() + ePos + 1);
  std::string digits;
  for (size_t i = 0; i < ePos; ++i)
    if (IsDigit(sci[i])) digits += sci[i];
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent >= 15 || exponent < -4) {
    out += digits[0];
    if (digits.size() > 1) {
      out += kDecimalSeparator;
      out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    out += std::to_string(exponent);
    return out;
  }
  if (exponent < 0) {
    out += '0';
    out += kDecimalSeparator;
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
    return out;
  }
  const size_t intDigits = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= intDigits) {
    out += digits;
    out.append(intDigits - digits.size(), '0');
  } else {
    out.append(digits, 0, intDigits);
    out += kDecimalSeparator;
    out.append(digits, intDigits, std::string::npos);
  }
  return out;
}

namespace {

// pointToo: a "." is the decimal separator as well as "," (numbers people type).
bool ParseFloat(const std::string& text, double& value, bool pointToo) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;

  // Accepted: [sign] digits [, digits] [(E|e) [sign] digits], with a digit somewhere in
  // the mantissa. Rebuilt with "." for the locale-free standard parser.
  std::string plain;
  size_t i = b;
  if (i < e && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain += '-';
    ++i;
  }
  bool mantissaDigit = false;
  while (i < e && IsDigit(text[i])) {
    plain += text[i++];
    mantissaDigit = true;
  }
  if (i < e && (text[i] == kDecimalSeparator || (pointToo && text[i] == '.'))) {
    plain += '.';
    ++i;
    while (i < e && IsDigit(text[i])) {
      plain += text[i++];
      mantissaDigit = true;
    }
  }
  if (!mantissaDigit) return false;
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    bool expDigit = false;
    while (i < e && IsDigit(text[i])) {
      plain += text[i++];
      expDigit = true;
    }
    if (!expDigit) return false;
  }
  if (i != e) return false;

  double parsed = 0.0;
  auto res = std::from_chars(plain.data(), plain.data() + plain.size(), parsed);
  if (res.ec != std::errc() || res.ptr != plain.data() + plain.size()) {
    // Underflow to zero is a number; overflow is not.
    if (res.ec == std::errc::result_out_of_range && !Overflows(plain)) {
      value = 0.0;
      return true;
    }
    return false;
  }
  value = parsed;
  return true;
}

double FloatOrThrow(const std::string& text, bool typed) {
  double value = 0.0;
  if (!ParseFloat(text, value, typed))
    throw EConvertError("'" + text + "' is not a valid floating point value");
  return value;
}

}  // namespace

bool TryStrToFloat(const std::string& text, double& value) {
  return ParseFloat(text, value, false);
}

double StrToFloat(const std::string& text) {
  return FloatOrThrow(text, false);
}

// People type "." as often as ","; both are the decimal separator then.
bool TryTypedToFloat(const std::string& text, double& value) {
  return ParseFloat(text, value, true);
}

double TypedToFloat(const std::string& text) {
  return FloatOrThrow(text, true);
}

std::string FormatFixed(double value, int decimals, int width) {
  if (decimals < 0) decimals = 0;
  std::string out;
  if (std::isnan(value)) {
    out = "NAN";
  } else if (std::isinf(value)) {
    out = value < 0 ? "-INF" : "INF";
  } else {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    out.assign(buf, res.ptr);
    for (char& c : out)
      if (c == '.') c = kDecimalSeparator;
  }
  if (width > 0 && out.size() < static_cast<size_t>(width))
    out.insert(0, static_cast<size_t>(width) - out.size(), ' ');
  return out;
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  // From 2^52 on every double is already an integer.
  if (std::fabs(value) >= 4503599627370496.0) return value;
  const double lower = std::floor(value);
  const double diff = value - lower;  // exact for |value| < 2^52
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::string IntToStr(long long value) {
  return std::to_string(value);
}

std::string IntToHex(unsigned long long value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kHex[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < digits)
    out.insert(0, static_cast<size_t>(digits) - out.size(), '0');
  return out;
}

#pragma once
// Number texts of the instrument's command language: reading reply numbers and writing
// command arguments, independent of the process locale, with conversions that saturate
// instead of overflowing.

#include <cstdint>
#include <string>

namespace scpinum {

// The text's leading decimal integer (blanks before it and one sign allowed); 0 when the text
// does not begin with one; saturated to the range of int.
int ParseLeadingInt(const char* text);

// The text's leading decimal number (blanks before it, sign, fraction and exponent allowed);
// 0 when the text does not begin with one. May be infinite or NaN when the text says so.
double ParseLeadingDecimal(const char* text);

// Truncated toward zero and saturated to int16; NaN gives 0.
int16_t SaturateInt16(double value);
int16_t SaturateInt16(long long value);

// Decimal integer text.
std::string FormatInt(long long value);
// A value in tenths written with one decimal ("0.0"): 505 -> "50.5", -5 -> "-0.5".
std::string FormatTenths(int value);

} // namespace scpinum

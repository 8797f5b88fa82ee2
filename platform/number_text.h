// Number <-> text conversions with the exact results of the C runtime calls
// the program was first written against (MSVC's printf "%.13g", atof, _wtoi64,
// StrToIntW, StrToIntExW). Always the C locale, never the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ombrelk::platform {

// printf("%.13g") as MSVC writes it: at most 13 significant digits, trailing
// zeros dropped, exponent form when the decimal exponent is below -4 or not
// below 13, and the exponent always a sign and three digits:
// 1E20 -> "1e+020", 0.00001 -> "1e-005", 2500 -> "2500".
void AppendG13(double value, std::string& out);
std::string FormatG13(double value);

// Decimal digits, with a leading '-' when negative.
void AppendInt64(int64_t value, std::string& out);

// atof in the C locale on UTF-16 text: C white space (space, TAB, LF, VT, FF,
// CR) skipped, optional sign, digits with an optional point, optional
// exponent; reading stops at the first character that does not fit; no
// digits give 0.
double ReadAtof(std::u16string_view text);
double ReadAtof(std::string_view text);

// _wtoi64: C white space skipped, optional sign, ASCII decimal digits up to
// the first other character; no digits give 0.
int64_t ReadWtoi64(std::u16string_view text);

// StrToIntW: optional sign, ASCII decimal digits up to the first other
// character (no leading white space is skipped); no digits give 0. The value
// wraps as a 32-bit int does.
int32_t ReadStrToInt(std::u16string_view text);

// StrToIntExW with STIF_SUPPORT_HEX on "0x" + `hex_digits`: hexadecimal
// digits up to the first other character; no digits give 0.
int32_t ReadHexDigits(std::u16string_view hex_digits);

}  // namespace ombrelk::platform

// Number <-> text conversions with the results of the C runtime calls the
// program was first written against (printf "%.13g" of the Visual C runtime
// that writes three exponent digits, atof, _wtoi64, StrToIntW, StrToIntExW).
// Always the C locale, never the process locale; digits are ASCII 0-9 only.
// Nothing here allocates beyond growing the caller's string (ReadAtof aside,
// for a UTF-16 number of more than 512 characters).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ombrelk::platform {

// printf("%.13g") as the Visual C runtime writes it: at most 13 significant
// digits, trailing zeros dropped, exponent form when the decimal exponent is
// below -4 or not below 13, and the exponent always a sign and three digits:
// 1E20 -> "1e+020", 0.00001 -> "1e-005", 2500 -> "2500", 0.1 -> "0.1".
// Rounding is that runtime's: the value is first taken to 17 significant
// digits, then those to 13, each time half away from zero
// (1234567890122.5 -> "1234567890123"). Negative zero is "-0". Infinities and
// NaNs are written as that runtime writes them: "1.#INF", "-1.#INF",
// "-1.#IND" (the NaN that invalid operations produce: sign set, only the quiet
// bit), "1.#QNAN" / "-1.#QNAN" (other quiet NaNs), "1.#SNAN" / "-1.#SNAN".
void AppendG13(double value, std::string& out);
std::string FormatG13(double value);

// Decimal digits, with a leading '-' when negative.
void AppendInt64(int64_t value, std::string& out);

// atof in the C locale: C white space (space, TAB, LF, VT, FF, CR) skipped,
// an optional sign, digits with an optional point (at least one digit on
// either side of it), an optional exponent (e or E, an optional sign, at least
// one digit; "5e" and "5e+" read as 5); reading stops at the first character
// that does not fit, and no digits give 0. Only this decimal syntax counts:
// "inf", "nan" and "0x1p3" read as 0 (or as the digits before the x).
// The result is the correctly rounded double; beyond the largest double it is
// an infinity of the text's sign (as atof gives HUGE_VAL), below the smallest
// subnormal it is a zero of the text's sign. The UTF-16 form reads the text's
// code page 936 form (as atof after WideCharToMultiByte): the best fits to
// ASCII count (U+00B2 reads as '2', U+00AD as '-'), every other unit above
// U+007F is a character that does not fit.
double ReadAtof(std::u16string_view text);
double ReadAtof(std::string_view text);

// _wtoi64: C white space (as above) skipped, an optional sign, ASCII decimal
// digits up to the first other character; no digits give 0. A value beyond
// the 64-bit range is clamped to INT64_MAX or INT64_MIN, as the Visual C
// runtime does.
int64_t ReadWtoi64(std::u16string_view text);

// StrToIntW: an optional sign ('+' or '-') right at the start, then ASCII
// decimal digits up to the first other character; no digits give 0. Leading
// white space is NOT skipped (" 12" gives 0): Microsoft's page lists optional
// white space, but StrToIntW as shipped does not skip it (only StrToIntExW
// does). The value keeps the low 32 bits, as a 32-bit int wraps:
// "4294967319" gives 23.
int32_t ReadStrToInt(std::u16string_view text);

// StrToIntExW with STIF_SUPPORT_HEX on "0x" + `hex_digits`: hexadecimal
// digits (either case) from the start up to the first other character, low
// 32 bits kept; no digits give 0 ("4g" gives 4, "g4" gives 0).
int32_t ReadHexDigits(std::u16string_view hex_digits);

}  // namespace ombrelk::platform

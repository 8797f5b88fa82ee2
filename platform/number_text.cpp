// Number <-> text with the C runtime's results, built on std::to_chars and
// std::from_chars (exact, locale-free) plus our own scanning of the syntax.
#include "platform/number_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "platform/cp936_tables.h"

namespace ombrelk::platform {
namespace {

// ---------------------------------------------------------------------------
// "%.13g"

constexpr int kSignificantDigits = 13;
// The Visual C runtime first turns the value into this many digits, then
// rounds that digit string once more to the precision asked for.
constexpr int kFirstRoundingDigits = 17;
// to_chars precision that decides the 17-digit rounding in all but the rare
// cases that need the exact expansion (which never exceeds 767 digits).
constexpr int kProbePrecision = 40;
constexpr int kExactPrecision = 780;

// Adds one at digit count - 1 of a string of ASCII digits; returns true when
// the carry runs out of the front (the digits are then "1000...").
bool IncrementDigits(char* digits, int count) {
  for (int i = count - 1; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits[0] = '1';
  return true;
}

// Rounds the digit string (at least count + 1 digits) to count digits, half
// away from zero, as the runtime rounds its digit strings.
void RoundDigitsHalfUp(char* digits, int count, int& exponent) {
  if (digits[count] >= '5' && IncrementDigits(digits, count)) ++exponent;
}

// Splits to_chars' scientific output "d.ddde+XX" into its digits and exponent.
int SplitScientific(const char* text, const char* end, char* digits, int max_digits) {
  int n = 0;
  const char* p = text;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.' && n < max_digits) digits[n++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  return exponent;
}

// The 13 significant digits of a finite positive value as the runtime forms
// them, and the decimal exponent of the first one.
int SignificantDigits(double value, char (&digits)[kFirstRoundingDigits + 1]) {
  char text[kExactPrecision + 16];
  char probe[kProbePrecision + 1];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, kProbePrecision);
  int exponent = SplitScientific(text, result.ptr, probe, kProbePrecision + 1);
  // The probe's digit 17 is exact unless the digits after it came out as
  // zeros: then the exact digits may be 4999... rounded up to 5000..., and
  // only the full expansion tells.
  bool ambiguous = probe[kFirstRoundingDigits] == '5';
  for (int i = kFirstRoundingDigits + 1; ambiguous && i <= kProbePrecision; ++i) ambiguous = probe[i] == '0';
  if (ambiguous) {
    result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, kExactPrecision);
    exponent = SplitScientific(text, result.ptr, probe, kFirstRoundingDigits + 1);
  }
  std::memcpy(digits, probe, kFirstRoundingDigits + 1);
  RoundDigitsHalfUp(digits, kFirstRoundingDigits, exponent);
  RoundDigitsHalfUp(digits, kSignificantDigits, exponent);
  return exponent;
}

void AppendSpecial(double value, std::string& out) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  const uint64_t quiet_bit = uint64_t{1} << 51;
  if (negative) out += '-';
  if (mantissa == 0) {
    out += "1.#INF";
  } else if (negative && mantissa == quiet_bit) {
    out += "1.#IND";
  } else if ((mantissa & quiet_bit) != 0) {
    out += "1.#QNAN";
  } else {
    out += "1.#SNAN";
  }
}

// ---------------------------------------------------------------------------
// Reading

template <typename Char>
bool IsCSpace(Char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

template <typename Char>
bool IsDigit(Char c) {
  return c >= '0' && c <= '9';
}

// Where the atof syntax starting at `begin` (just after any sign) ends, or
// `begin` when there are no digits. `magnitude` gets the decimal exponent of
// the first nonzero digit, saturated; it only tells overflow from underflow.
const char* ScanDecimal(const char* begin, const char* end, int64_t& magnitude) {
  const char* p = begin;
  int64_t integer_digits = 0;  // significant digits before the point
  int64_t leading_zeros = 0;   // zeros after the point before the first nonzero
  bool nonzero = false;
  bool any_digit = false;
  for (; p != end && IsDigit(*p); ++p) {
    any_digit = true;
    if (*p != '0') nonzero = true;
    if (nonzero) ++integer_digits;
  }
  if (p != end && *p == '.') {
    ++p;
    for (; p != end && IsDigit(*p); ++p) {
      any_digit = true;
      if (*p != '0') nonzero = true;
      if (!nonzero) ++leading_zeros;
    }
  }
  if (!any_digit) return begin;
  int64_t exponent = 0;
  if (p != end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool negative = false;
    if (q != end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    if (q != end && IsDigit(*q)) {
      for (; q != end && IsDigit(*q); ++q) {
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (*q - '0');
      }
      if (negative) exponent = -exponent;
      p = q;
    }
  }
  magnitude = (integer_digits > 0 ? integer_digits - 1 : -leading_zeros - 1) + exponent;
  return p;
}

double ReadAtofBytes(const char* p, const char* end) {
  while (p != end && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  int64_t magnitude = 0;
  const char* stop = ScanDecimal(p, end, magnitude);
  if (stop == p) return 0.0;
  double value = 0.0;
  if (std::from_chars(p, stop, value).ec == std::errc::result_out_of_range) {
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

// The byte a code unit becomes in code page 936 when that is a single ASCII
// byte (the unit itself, or a best fit such as U+00B2 -> '2'); 0x80 for
// every other unit, which no number syntax contains.
char AsciiInCp936(char16_t unit) {
  if (unit < 0x80) return static_cast<char>(unit);
  const uint16_t bytes = cp936::kEncodeBlocks[cp936::kEncodeBlockOfPage[unit >> 8] * 256u + (unit & 0xFF)];
  return bytes != 0 && bytes < 0x80 ? static_cast<char>(bytes) : '\x80';
}

bool CanBeInNumber(char c) {
  return IsDigit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

}  // namespace

void AppendG13(double value, std::string& out) {
  if (!std::isfinite(value)) {
    AppendSpecial(value, out);
    return;
  }
  if (std::signbit(value)) {
    out += '-';
    value = -value;
  }
  if (value == 0) {
    out += '0';
    return;
  }
  char digits[kFirstRoundingDigits + 1];
  const int exponent = SignificantDigits(value, digits);
  int count = kSignificantDigits;
  while (count > 1 && digits[count - 1] == '0') --count;

  if (exponent < -4 || exponent >= kSignificantDigits) {
    out += digits[0];
    if (count > 1) {
      out += '.';
      out.append(digits + 1, static_cast<size_t>(count - 1));
    }
    const int magnitude = exponent < 0 ? -exponent : exponent;
    const char text[] = {'e', exponent < 0 ? '-' : '+', static_cast<char>('0' + magnitude / 100),
                         static_cast<char>('0' + magnitude / 10 % 10), static_cast<char>('0' + magnitude % 10)};
    out.append(text, sizeof text);
  } else if (exponent >= 0) {
    // All integer digits exist among the 13, trailing zeros included.
    out.append(digits, static_cast<size_t>(exponent + 1));
    if (count > exponent + 1) {
      out += '.';
      out.append(digits + exponent + 1, static_cast<size_t>(count - exponent - 1));
    }
  } else {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits, static_cast<size_t>(count));
  }
}

std::string FormatG13(double value) {
  std::string out;
  AppendG13(value, out);
  return out;
}

void AppendInt64(int64_t value, std::string& out) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

double ReadAtof(std::string_view text) { return ReadAtofBytes(text.data(), text.data() + text.size()); }

double ReadAtof(std::u16string_view text) {
  // atof reads the text's code page 936 form. Only its front can matter:
  // narrow that, up to the first unit that cannot be part of a number (white
  // space only before the number).
  char small[512];
  std::string large;  // only for a number longer than `small`
  size_t length = 0;
  bool started = false;
  for (char16_t unit : text) {
    const char c = AsciiInCp936(unit);
    if (IsCSpace(c) ? started : !CanBeInNumber(c)) break;
    started = started || !IsCSpace(c);
    if (length < sizeof small) {
      small[length] = c;
    } else {
      if (length == sizeof small) large.assign(small, length);
      large += c;
    }
    ++length;
  }
  const char* first = length <= sizeof small ? small : large.data();
  return ReadAtofBytes(first, first + length);
}

int64_t ReadWtoi64(std::u16string_view text) {
  const char16_t* p = text.data();
  const char16_t* const end = p + text.size();
  while (p != end && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // The magnitude is gathered unsigned and held at the limit of its sign.
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  for (; p != end && IsDigit(*p); ++p) {
    const unsigned digit = static_cast<unsigned>(*p - u'0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

int32_t ReadStrToInt(std::u16string_view text) {
  const char16_t* p = text.data();
  const char16_t* const end = p + text.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  uint32_t value = 0;  // wraps, keeping the low 32 bits
  for (; p != end && IsDigit(*p); ++p) value = value * 10 + static_cast<uint32_t>(*p - u'0');
  return static_cast<int32_t>(negative ? 0 - value : value);
}

int32_t ReadHexDigits(std::u16string_view hex_digits) {
  uint32_t value = 0;
  for (char16_t c : hex_digits) {
    uint32_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      break;
    }
    value = value << 4 | digit;
  }
  return static_cast<int32_t>(value);
}

}  // namespace ombrelk::platform

#include "json/parser_tokens.h"

#include <cstring>

#include "json/json_document.h"
#include "platform/number_text.h"

namespace ombrelk {

namespace {

inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
inline bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }

// One pass over a token: whether it is a number text, and whether that
// number is floating (a point, an e or E, or a sign past position 0).
bool ScanNumber(std::u16string_view token, bool& floating) {
  if (token.empty()) return false;
  int points = 0;
  int exponents = 0;
  int signs = 0;
  for (size_t p = 0; p < token.size(); ++p) {
    char16_t c = token[p];
    if (c <= 0x20) continue;
    bool digit = IsDigit(c);
    if (p == 0) {
      if (c == u'.') {
        points = 1;
      } else if (!digit && c != u'+' && c != u'-') {
        return false;
      }
      continue;
    }
    if (digit) continue;
    if (c == u'.') {
      if (points++ != 0) return false;
    } else if (c == u'e' || c == u'E') {
      if (exponents++ != 0) return false;
    } else if (c == u'+' || c == u'-') {
      if (signs++ != 0) return false;
    } else {
      return false;
    }
  }
  floating = points != 0 || exponents != 0 || signs != 0;
  return true;
}

// The literal a token of four or five units spells, if any.
TokenClass LiteralClass(const char16_t* t, size_t size) {
  if (size == 4) {
    if (t[0] == u'n' && t[1] == u'u' && t[2] == u'l' && t[3] == u'l') return TokenClass::Null;
    if (t[0] == u't' && t[1] == u'r' && t[2] == u'u' && t[3] == u'e') return TokenClass::Boolean;
  } else if (size == 5) {
    if (t[0] == u'f' && t[1] == u'a' && t[2] == u'l' && t[3] == u's' && t[4] == u'e') return TokenClass::Boolean;
  }
  return TokenClass::Invalid;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;
// Integers up to 2^53 are exact in a double.
constexpr uint64_t kLargestExactMantissa = uint64_t{1} << 53;

// The plain shapes, read directly: an optional sign, then either decimal
// digits alone (an Integer of at most 18 digits: no overflow), or digits
// with a point and/or an exponent (a Number whose digits, point removed,
// make an integer m <= 2^53 and whose value is m x 10^e with |e| <= 22:
// m and 10^|e| are exact doubles, so one multiplication or division rounds
// exactly once, as a correctly rounded reading does). False for anything
// else, which the general readers take.
bool ReadPlainNumber(const char16_t* p, size_t n, BareToken& result) {
  size_t k = 0;
  bool negative = false;
  if (k < n && (p[k] == u'-' || p[k] == u'+')) negative = p[k++] == u'-';
  uint64_t mantissa = 0;  // wraps past 19 digits; not used then
  const size_t integer_start = k;
  for (; k < n && IsDigit(p[k]); ++k) mantissa = mantissa * 10 + (p[k] - u'0');
  const size_t integer_digits = k - integer_start;
  if (k == n) {
    if (integer_digits == 0 || integer_digits > 18) return false;
    result.kind = TokenClass::Integer;
    result.integer = negative ? -static_cast<int64_t>(mantissa) : static_cast<int64_t>(mantissa);
    return true;
  }
  size_t fraction_digits = 0;
  if (p[k] == u'.') {
    const size_t fraction_start = ++k;
    for (; k < n && IsDigit(p[k]); ++k) mantissa = mantissa * 10 + (p[k] - u'0');
    fraction_digits = k - fraction_start;
  }
  const size_t digits = integer_digits + fraction_digits;
  if (digits == 0 || digits > 19) return false;
  int exponent = 0;
  if (k < n && (p[k] == u'e' || p[k] == u'E')) {
    ++k;
    bool negative_exponent = false;
    if (k < n && (p[k] == u'-' || p[k] == u'+')) negative_exponent = p[k++] == u'-';
    const size_t exponent_start = k;
    for (; k < n && IsDigit(p[k]) && k - exponent_start < 4; ++k) exponent = exponent * 10 + (p[k] - u'0');
    if (k == exponent_start) return false;  // "5e": atof reads the 5 alone
    if (negative_exponent) exponent = -exponent;
  }
  if (k != n) return false;
  exponent -= static_cast<int>(fraction_digits);
  if (mantissa > kLargestExactMantissa || exponent < -kLargestExactPower || exponent > kLargestExactPower) {
    return false;
  }
  double value = static_cast<double>(mantissa);
  value = exponent < 0 ? value / kExactPowersOfTen[-exponent] : value * kExactPowersOfTen[exponent];
  result.kind = TokenClass::Number;
  result.number = negative ? -value : value;
  return true;
}

}  // namespace

bool IsNumberText(std::u16string_view token) {
  bool floating = false;
  return ScanNumber(token, floating);
}

TokenClass ClassifyToken(std::u16string_view token) {
  TokenClass literal = LiteralClass(token.data(), token.size());
  if (literal != TokenClass::Invalid) return literal;
  bool floating = false;
  if (!ScanNumber(token, floating)) return TokenClass::Invalid;
  return floating ? TokenClass::Number : TokenClass::Integer;
}

BareToken ReadBareToken(std::u16string_view token) {
  BareToken result;
  if (token.empty()) return result;
  const char16_t first = token[0];
  if (first >= u'a') {
    result.kind = LiteralClass(token.data(), token.size());
    if (result.kind != TokenClass::Invalid) {
      result.boolean = first == u't';
      return result;
    }
  } else if (ReadPlainNumber(token.data(), token.size(), result)) {
    return result;
  }
  result.kind = ClassifyToken(token);
  if (result.kind == TokenClass::Number) {
    result.number = platform::ReadAtof(token);
  } else if (result.kind == TokenClass::Integer) {
    result.integer = platform::ReadWtoi64(token);
  }
  return result;
}

int32_t Unescape(char16_t* text, int32_t length, bool decode) {
  // In place: `w` (the output) never passes `r` (the input).
  int32_t w = 0;
  int32_t r = 0;
  while (r < length) {
    char16_t c = text[r];
    if (c != u'\\' || r + 1 >= length) {
      text[w++] = c;
      ++r;
      continue;
    }
    char16_t next = text[r + 1];
    switch (next) {
      case u'\\':
      case u'/':
      case u'"':
        text[w++] = next;
        r += 2;
        break;
      case u'b':
        text[w++] = 0x08;
        r += 2;
        break;
      case u't':
        text[w++] = 0x09;
        r += 2;
        break;
      case u'r':
        text[w++] = 0x0D;
        r += 2;
        break;
      case u'f':
        text[w++] = 0x0C;
        r += 2;
        break;
      case u'n':
        // A line break is CR LF, unless the text starts here or a CR is
        // already in front.
        if (w != 0 && text[w - 1] != 0x0D) text[w++] = 0x0D;
        text[w++] = 0x0A;
        r += 2;
        break;
      case u'u':
        if (decode && length - (r + 2) >= 4) {
          int32_t high = platform::ReadHexDigits(std::u16string_view(text + r + 2, 2));
          int32_t low = platform::ReadHexDigits(std::u16string_view(text + r + 4, 2));
          text[w++] = static_cast<char16_t>(((high & 0xFF) << 8) | (low & 0xFF));
          r += 6;
          break;
        }
        [[fallthrough]];
      default:
        // The backslash stays; the character after it is read as an
        // ordinary one.
        text[w++] = c;
        ++r;
        break;
    }
  }
  if (w < length) text[w] = 0;
  return w;
}

namespace {

// The node of a token read as `bare` (the token is its stored text form);
// nullptr for an Invalid one or when storage runs out.
JsonNode* NodeOf(const BareToken& bare, const char16_t* token, int32_t length) {
  switch (bare.kind) {
    case TokenClass::Null:
      return NewNullNode();
    case TokenClass::Boolean:
      return NewBoolNode(bare.boolean);
    case TokenClass::Number:
      return NewParsedNumberNode(bare.number, token, length);
    case TokenClass::Integer:
      return NewParsedIntegerNode(bare.integer, token, length);
    case TokenClass::Invalid:
      break;
  }
  return nullptr;
}

}  // namespace

bool ReadQuotedToken(const char16_t* token, int32_t length, bool escaped, bool decode,
                     char16_t* scratch, const char16_t*& value, int32_t& count) {
  if (length < 2 || token[length - 1] != token[0]) return false;
  value = token + 1;
  count = length - 2;
  if (escaped) {
    std::memcpy(scratch, token, sizeof(char16_t) * length);
    int32_t unescaped = Unescape(scratch, length, decode);
    // Measured up to a decoded zero, if any, less the two quotes (only a
    // decoded \u0000 makes one: the token itself holds none).
    int32_t measured = decode ? static_cast<int32_t>(UpToZero(std::u16string_view(scratch, unescaped)).size())
                              : unescaped;
    value = scratch + 1;
    count = measured > 2 ? measured - 2 : 0;
  }
  return true;
}

JsonNode* NewTokenNode(const char16_t* token, int32_t length, bool escaped, bool decode,
                       char16_t* scratch, int& code) {
  JsonNode* node = nullptr;
  if (length > 0 && IsQuote(token[0])) {
    const char16_t* value = nullptr;
    int32_t count = 0;
    if (!ReadQuotedToken(token, length, escaped, decode, scratch, value, count)) {
      code = kErrorBadToken;
      return nullptr;
    }
    node = NewStringNode(value, count);
  } else {
    BareToken bare = ReadBareToken(std::u16string_view(token, static_cast<size_t>(length)));
    if (bare.kind == TokenClass::Invalid) {
      code = kErrorBadToken;
      return nullptr;
    }
    node = NodeOf(bare, token, length);
  }
  if (node == nullptr) code = kErrorNoStorage;
  return node;
}

JsonNode* NewBareTokenNode(const char16_t* token, int32_t length) {
  return NodeOf(ReadBareToken(std::u16string_view(token, static_cast<size_t>(length))), token, length);
}

}  // namespace ombrelk

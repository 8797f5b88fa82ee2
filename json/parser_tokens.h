// The scalar tokens of the parser: what kind of value a token is, the value
// it stands for, how escapes resolve, and the node a token becomes. Shared by
// the tolerant parser and its fast path for plain JSON text.
//
// Internal to the library (exposed for tests).
#pragma once

#include <cstdint>
#include <string_view>

#include "json/json_node.h"

namespace ombrelk {

enum class TokenClass { Invalid, Null, Boolean, Number, Integer };
// "null" / "true" / "false" (exact, case-sensitive), else a number text
// (IsNumberText): Number when it has a point, an e or E, or a sign past
// position 0; else Integer. Anything else is Invalid.
TokenClass ClassifyToken(std::u16string_view token);
// Number text: not empty; code units up to U+0020 are skipped anywhere;
// position 0, when not skipped, must be a sign, a digit or a point; later
// positions take digits (ASCII), one point in all, one e or E, one + or -
// (besides a sign at position 0).
bool IsNumberText(std::u16string_view token);

// An unquoted token's kind and value in one pass: a Number's value is what
// atof gives for it (platform::ReadAtof), an Integer's what _wtoi64 gives
// (platform::ReadWtoi64), a Boolean's is true exactly when the token starts
// with t. The same answers as ClassifyToken and those readers; the common
// shapes (short integers, decimals of up to 15 or so digits with a small
// exponent) are read directly, exactly, and everything else through them.
struct BareToken {
  TokenClass kind = TokenClass::Invalid;
  double number = 0.0;
  int64_t integer = 0;
  bool boolean = false;
};
BareToken ReadBareToken(std::u16string_view token);

// Resolves escapes in place in text[0..length) and answers the new length
// (the text may now hold a zero code unit: a decoded \u0000). \\ \/ \" lose
// the backslash; \b \t \r \f become U+0008 U+0009 U+000D U+000C; \n becomes
// CR LF, or a lone LF at the start of the text or after a CR; \uXXXX with
// `decode` and four characters after the u becomes one code unit; any other
// escape stays as written.
int32_t Unescape(char16_t* text, int32_t length, bool decode);

// The string value of a quoted token (`length` > 0 units at `token`, starting
// with a quote): false when it does not end with its opening quote. Else
// `value` and `count` are its units between the quotes, unescaped through
// `scratch` (room for `length` units) when `escaped` says it holds a
// backslash, measured up to a decoded zero if any.
bool ReadQuotedToken(const char16_t* token, int32_t length, bool escaped, bool decode,
                     char16_t* scratch, const char16_t*& value, int32_t& count);

// The node a token (`length` units at `token`, cut out of a text that holds
// no zero code unit) becomes: a String for a token in quotes (it must end
// with its opening quote; unescaped through `scratch`, room for `length`
// units, when `escaped` says it holds a backslash), else the value
// ReadBareToken gives, with the token as its stored text form. nullptr when the token is not a
// value (`code` kErrorBadToken) or storage runs out (kErrorNoStorage).
JsonNode* NewTokenNode(const char16_t* token, int32_t length, bool escaped, bool decode,
                       char16_t* scratch, int& code);
// The node an unquoted token (`length` > 0 units, no zero unit among them)
// becomes, as NewTokenNode makes it; nullptr when it is no value or storage
// runs out.
JsonNode* NewBareTokenNode(const char16_t* token, int32_t length);

}  // namespace ombrelk

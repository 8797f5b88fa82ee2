// ReadBareToken reads the common number shapes directly; every token must
// get the kind ClassifyToken gives and the value atof or _wtoi64 give, on
// both sides of the direct reading's limits.
#include "json/parser_tokens.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>

#include "platform/number_text.h"
#include "tests/json/tree_text.h"

namespace ombrelk {
namespace {

// The answer of the general readers, to compare ReadBareToken with.
BareToken ReferenceReading(std::u16string_view token) {
  BareToken expected;
  expected.kind = ClassifyToken(token);
  if (expected.kind == TokenClass::Boolean) expected.boolean = token[0] == u't';
  if (expected.kind == TokenClass::Number) expected.number = platform::ReadAtof(token);
  if (expected.kind == TokenClass::Integer) expected.integer = platform::ReadWtoi64(token);
  return expected;
}

// Same kind and value; numbers bit for bit (a negative zero is not a zero).
::testing::AssertionResult SameReading(std::u16string_view token) {
  BareToken got = ReadBareToken(token);
  BareToken expected = ReferenceReading(token);
  if (got.kind == expected.kind && got.integer == expected.integer && got.boolean == expected.boolean &&
      std::bit_cast<uint64_t>(got.number) == std::bit_cast<uint64_t>(expected.number)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << test::Quoted(token) << ": kind " << static_cast<int>(got.kind) << " vs "
         << static_cast<int>(expected.kind) << ", number " << got.number << " vs " << expected.number
         << ", integer " << got.integer << " vs " << expected.integer;
}

TEST(ReadBareToken, AgreesWithTheGeneralReadersAtTheLimitsOfTheDirectReading) {
  const char16_t* tokens[] = {
      // Integers: 18 digits are read directly, 19 and more are not.
      u"0", u"-0", u"+7", u"007", u"-", u"+", u"123456789012345678", u"-999999999999999999",
      u"1234567890123456789", u"9223372036854775807", u"9223372036854775808", u"-9223372036854775809",
      u"99999999999999999999999",
      // Decimals: mantissas up to 2^53 and exponents up to 22 either way.
      u"9007199254740992", u"9007199254740992.0", u"9007199254740993.0", u"900719925474099.3",
      u"900719925474099.5", u"0.1", u"-0.0", u"-.5", u".5", u"5.", u".", u"-.", u"1e22", u"1e23",
      u"1e-22", u"1e-23", u"1.5e-3", u"12.75", u"-1234.50", u"98.5", u"0.125", u"1E+5", u"1e+022",
      u"123456789012345678.9", u"1234567890123456789.0", u"0.000000000000000000001",
      u"4.9e-324", u"2.2250738585072014e-308", u"1.7976931348623157e308", u"1e400", u"-1e400",
      u"1e-400", u"1e9999", u"1e00022", u"1e00023",
      // Shapes only the general readers take.
      u"5e", u"5e+", u"1-2", u"+-1", u" 1", u"1 ", u"1 2", u"\u00B2", u"1\u00AD2", u"1.2.3", u"1e5e",
      u"0x1F", u"Infinity", u"nan", u"", u"null", u"true", u"false", u"nul", u"True", u"\uFF11",
  };
  for (const char16_t* token : tokens) EXPECT_TRUE(SameReading(token));
}

TEST(ReadBareToken, AgreesWithTheGeneralReadersOnRandomTokens) {
  std::mt19937_64 random(20240611);
  // Mostly number characters, so that most tokens are numbers of some shape.
  const std::u16string alphabet = u"0123456789012345678901234567890123456789..eE+-- x\u00B2";
  for (int round = 0; round < 200000; ++round) {
    std::u16string token;
    size_t length = 1 + random() % 24;
    for (size_t k = 0; k < length; ++k) token += alphabet[random() % alphabet.size()];
    ASSERT_TRUE(SameReading(token));
  }
  // Plain decimals of every digit count and exponent near the limits.
  for (int round = 0; round < 200000; ++round) {
    std::u16string token = random() % 2 ? u"-" : u"";
    int integer_digits = static_cast<int>(random() % 12);
    int fraction_digits = static_cast<int>(random() % 12);
    for (int k = 0; k < integer_digits; ++k) token += static_cast<char16_t>(u'0' + random() % 10);
    if (fraction_digits > 0 || integer_digits == 0) token += u'.';
    for (int k = 0; k < fraction_digits || token.back() == u'.'; ++k) {
      token += static_cast<char16_t>(u'0' + random() % 10);
    }
    if (random() % 2) {
      token += u'e';
      token += random() % 2 ? u"-" : u"+";
      token += std::u16string(u"0123456789").substr(random() % 10, 1);
      if (random() % 2) token += static_cast<char16_t>(u'0' + random() % 10);
    }
    ASSERT_TRUE(SameReading(token));
  }
}

}  // namespace
}  // namespace ombrelk

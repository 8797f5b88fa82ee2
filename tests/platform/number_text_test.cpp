#include "platform/number_text.h"

#include "platform/cp936.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <iterator>
#include <random>
#include <string>

namespace ombrelk::platform {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

double FromBits(uint64_t bits) { return std::bit_cast<double>(bits); }

struct FormatCase {
  double value;
  const char* text;
};

TEST(NumberText, FormatG13AsTheVisualCRuntime) {
  const FormatCase cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0, "1"},
      {-1.5, "-1.5"},
      {0.1, "0.1"},
      {2500.0, "2500"},
      {1e20, "1e+020"},
      {0.00001, "1e-005"},
      {-0.00001, "-1e-005"},
      {0.0001, "0.0001"},
      {0.00012345, "0.00012345"},
      {1e13, "1e+013"},
      {9999999999999.0, "9999999999999"},
      {99999999999999.0, "1e+014"},  // rounding carries into the exponent
      {1234567890123456.0, "1.234567890123e+015"},
      {123456789012.345, "123456789012.3"},
      {3.14159265358979, "3.14159265359"},
      {1.5e-7, "1.5e-007"},
      {1e100, "1e+100"},
      {-2.5e-300, "-2.5e-300"},
      {std::numeric_limits<double>::max(), "1.797693134862e+308"},
      {std::numeric_limits<double>::denorm_min(), "4.940656458412e-324"},
      {std::numeric_limits<double>::min(), "2.225073858507e-308"},
      {0.30000000000000004, "0.3"},
      // Halves round away from zero, where glibc rounds to even.
      {1234567890122.5, "1234567890123"},
      {-1234567890122.5, "-1234567890123"},
      // Exact digits 1.0719998637484999815: the runtime's 17-digit string is
      // 1.0719998637485000, which rounds up to 13 digits.
      {1.0719998637484999815, "1.071999863749"},
      // Digit 18 is exactly 5 here: the full expansion decides.
      {10000000000000.0625, "1e+013"},
      {kInf, "1.#INF"},
      {-kInf, "-1.#INF"},
      {FromBits(0xFFF8000000000000ull), "-1.#IND"},
      {FromBits(0x7FF8000000000000ull), "1.#QNAN"},
      {FromBits(0xFFF8000000000001ull), "-1.#QNAN"},
      {FromBits(0x7FF0000000000001ull), "1.#SNAN"},
      {FromBits(0xFFF4000000000000ull), "-1.#SNAN"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatG13(c.value), c.text) << std::hexfloat << c.value;
  }
  std::string out = "t=";
  AppendG13(0.5, out);
  EXPECT_EQ(out, "t=0.5");
}

// glibc's "%.13g" rounds the exact value once, to even; the runtime rounds
// twice, away from zero. They can differ only when the exact digits 14 to 17
// are 4999 or digit 14 starts an exact half; everywhere else the texts must
// match once glibc's exponent is widened to three digits.
TEST(NumberText, FormatG13MatchesGlibcAwayFromRoundingBoundaries) {
  std::mt19937_64 random(13);
  int compared = 0;
  for (int i = 0; i < 200000; ++i) {
    const double value = FromBits(random());
    if (!std::isfinite(value)) continue;
    char exact[64];
    std::snprintf(exact, sizeof exact, "%.40e", std::fabs(value));
    const std::string digits = std::string(exact, 1) + std::string(exact + 2, 40);
    if (digits.compare(13, 4, "4999") == 0 || digits[13] == '5') continue;
    char glibc[64];
    std::snprintf(glibc, sizeof glibc, "%.13g", value);
    std::string expected = glibc;
    const size_t e = expected.find('e');
    if (e != std::string::npos && expected.size() - e == 4) expected.insert(e + 2, "0");
    ASSERT_EQ(FormatG13(value), expected) << exact;
    ++compared;
  }
  EXPECT_GT(compared, 100000);
}

TEST(NumberText, AppendInt64) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0"},
      {-5, "-5"},
      {1234567890123, "1234567890123"},
      {std::numeric_limits<int64_t>::max(), "9223372036854775807"},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
  };
  for (const auto& [value, text] : cases) {
    std::string out = "x";
    AppendInt64(value, out);
    EXPECT_EQ(out, std::string("x") + text);
  }
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct AtofCase {
  const char* text;
  double value;
};

TEST(NumberText, ReadAtofInBothForms) {
  const AtofCase cases[] = {
      {"", 0},
      {"abc", 0},
      {"  1.5", 1.5},
      {"\t\n\v\f\r-2", -2},
      {"+3", 3},
      {"1e5", 1e5},
      {"1E+5", 1e5},
      {"2.5e-3", 2.5e-3},
      {"5e", 5},
      {"5e+", 5},
      {"5E-x", 5},
      {".5", 0.5},
      {"5.", 5},
      {"1.e2", 100},
      {".", 0},
      {"-.5", -0.5},
      {"-", 0},
      {"+-1", 0},
      {"- 1", 0},
      {"1-2", 1},
      {"1 2", 1},
      {"1.2.3", 1.2},
      {"1e5e3", 1e5},
      {"0x10", 0},
      {"inf", 0},
      {"nan", 0},
      {"1d5", 1},
      {"007", 7},
      {"0.1", 0.1},
      {"12345678901234567890123", 12345678901234567890123.0},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"1e400", kInf},
      {"-1e400", -kInf},
      {"1e99999999999999999999", kInf},
      {"1e-400", 0},
      {"0e99999999999", 0},
      {"2.5e-324", std::numeric_limits<double>::denorm_min()},
      {"0.000000000000000000000000000000000000000000000001", 1e-48},
  };
  for (const AtofCase& c : cases) {
    EXPECT_EQ(ReadAtof(std::string_view(c.text)), c.value) << c.text;
    EXPECT_EQ(ReadAtof(std::u16string_view(Widen(c.text))), c.value) << c.text;
  }
  EXPECT_TRUE(std::signbit(ReadAtof(std::string_view("-0"))));
  EXPECT_TRUE(std::signbit(ReadAtof(std::string_view("-1e-400"))));
  EXPECT_FALSE(std::signbit(ReadAtof(std::string_view("-x"))));
}

TEST(NumberText, ReadAtofOfUtf16ReadsItsCodePage936Form) {
  EXPECT_EQ(ReadAtof(std::u16string_view(u"\u30001")), 0);     // ideographic space is no C space
  EXPECT_EQ(ReadAtof(std::u16string_view(u"\u00A01")), 0);     // nor is the no-break space
  EXPECT_EQ(ReadAtof(std::u16string_view(u"\uFF11")), 0);      // full-width digits are no digits
  EXPECT_EQ(ReadAtof(std::u16string_view(u"1\u4E2D5")), 1);
  EXPECT_EQ(ReadAtof(std::u16string_view(u"1\u0130" u"5")), 1);  // low byte 0x30 is no '0'
  EXPECT_EQ(ReadAtof(std::u16string_view(u"1\u00B2\u00B3")), 123);  // best fits to digits
  EXPECT_EQ(ReadAtof(std::u16string_view(u"\u00AD" u"1\u00F0" u"2")), -100);  // '-' and 'e'
  EXPECT_EQ(ReadAtof(std::u16string_view(u"1 2")), 1);
  EXPECT_EQ(ReadAtof(std::string_view("1\xA3\xB1")), 1);

  // The same as reading the converted text, for random texts of number
  // characters, blanks, best fits and other units.
  const char16_t alphabet[] = u" \t0123456789+-.eEx\u00B2\u00B9\u00AD\u00F0\u00A0\u3000\uFF11\u4E2D\xD800";
  std::mt19937 random(6);
  for (int i = 0; i < 20000; ++i) {
    std::u16string text;
    const int length = static_cast<int>(random() % 12);
    for (int k = 0; k < length; ++k) text += alphabet[random() % (std::size(alphabet) - 1)];
    const double expected = ReadAtof(std::string_view(Utf16ToCp936(text)));
    const double value = ReadAtof(std::u16string_view(text));
    ASSERT_TRUE(value == expected || (std::isnan(value) && std::isnan(expected))) << Utf16ToCp936(text);
    ASSERT_EQ(std::signbit(value), std::signbit(expected)) << Utf16ToCp936(text);
  }
}

TEST(NumberText, ReadAtofOfLongNumbers) {
  // More digits than the UTF-16 form narrows on the stack.
  std::string text = "0." + std::string(600, '0') + "125e603";
  EXPECT_EQ(ReadAtof(std::string_view(text)), 125);
  EXPECT_EQ(ReadAtof(std::u16string_view(Widen(text))), 125);
  text = "1" + std::string(2000, '0') + "e-2000";
  EXPECT_EQ(ReadAtof(std::u16string_view(Widen(text))), 1);
  text = std::string(1000, ' ') + "-2.5" + std::string(1000, ' ') + "1";
  EXPECT_EQ(ReadAtof(std::string_view(text)), -2.5);
  EXPECT_EQ(ReadAtof(std::u16string_view(Widen(text))), -2.5);
}

struct IntCase {
  const char16_t* text;
  int64_t value;
};

TEST(NumberText, ReadWtoi64) {
  const IntCase cases[] = {
      {u"", 0},
      {u"abc", 0},
      {u" \t\n\v\f\r-12abc", -12},
      {u"+7", 7},
      {u"007", 7},
      {u"12.7", 12},
      {u"1e5", 1},
      {u"--1", 0},
      {u"- 1", 0},
      {u"\u00A01", 0},
      {u"\u30001", 0},
      {u"\uFF11\uFF12", 0},
      {u"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {u"9223372036854775808", std::numeric_limits<int64_t>::max()},
      {u"99999999999999999999999", std::numeric_limits<int64_t>::max()},
      {u"-9223372036854775808", std::numeric_limits<int64_t>::min()},
      {u"-9223372036854775809", std::numeric_limits<int64_t>::min()},
      {u"-99999999999999999999999", std::numeric_limits<int64_t>::min()},
      {u"4294967297", 4294967297},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(ReadWtoi64(c.text), c.value) << std::u16string_view(c.text).size();
  }
}

TEST(NumberText, ReadStrToInt) {
  const IntCase cases[] = {
      {u"", 0},
      {u"12", 12},
      {u"-55", -55},
      {u"+88987", 88987},
      {u"-0", 0},
      {u"012", 12},
      {u"12a", 12},
      {u"12.7", 12},
      {u"abc", 0},
      {u" 12", 0},  // no leading white space
      {u"\t12", 0},
      {u"--1", 0},
      {u"- 1", 0},
      {u"-", 0},
      {u"\uFF11", 0},
      {u"4294967319", 23},  // low 32 bits
      {u"2147483647", 2147483647},
      {u"2147483648", -2147483647 - 1},
      {u"-2147483648", -2147483647 - 1},
      {u"4294967297", 1},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(ReadStrToInt(c.text), c.value) << std::u16string_view(c.text).size();
  }
}

TEST(NumberText, ReadHexDigits) {
  const IntCase cases[] = {
      {u"4e", 0x4E}, {u"4E", 0x4E}, {u"ff", 0xFF}, {u"00", 0},   {u"4g", 4},
      {u"g4", 0},    {u"", 0},      {u"+1", 0},    {u" 1", 0},   {u"0x", 0},
      {u"\uFF11", 0}, {u"a", 10},   {u"9F", 0x9F}, {u"ffffffff", -1},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(ReadHexDigits(c.text), c.value) << std::u16string_view(c.text).size();
  }
}

}  // namespace
}  // namespace ombrelk::platform

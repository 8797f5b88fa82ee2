#include "platform/cp936.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ombrelk::platform {
namespace {

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : bytes) {
    s += digits[c >> 4];
    s += digits[c & 15];
    s += ' ';
  }
  return s;
}

std::string Hex(std::u16string_view units) {
  std::string s;
  char buf[8];
  for (char16_t c : units) {
    std::snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(c));
    s += buf;
  }
  return s;
}

std::string Pair(int lead, int trail) {
  return std::string{static_cast<char>(lead), static_cast<char>(trail)};
}

bool IsValidPair(int lead, int trail) {
  return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

TEST(Cp936, EveryDoubleByteCharacterRoundTrips) {
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string bytes = Pair(lead, trail);
      const std::u16string units = Cp936ToUtf16(bytes);
      ASSERT_EQ(units.size(), 1u) << Hex(bytes);
      ASSERT_NE(units[0], u'?') << Hex(bytes);
      ASSERT_GE(units[0], 0x80) << Hex(bytes);
      ASSERT_EQ(Utf16ToCp936(units), bytes) << Hex(bytes);
      ++characters;
    }
  }
  EXPECT_EQ(characters, 23940);
}

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u16string units;
};

TEST(Cp936, DecodesNamedBytesAndInvalidInputAsWindows) {
  const DecodeCase cases[] = {
      {"ASCII and zero bytes", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"0x80 is the euro sign", "\x80", u"\u20AC"},
      {"0xFF is a private-use character", "\xFF", u"\uF8F5"},
      {"0x80 and 0xFF never lead", "\x80\x41\xFF\x42", u"\u20AC" u"A\uF8F5B"},
      {"common characters", "\xD6\xD0\xCE\xC4", u"\u4E2D\u6587"},
      {"ideographic space", "\xA1\xA1", u"\u3000"},
      {"A1A4 is the middle dot", "\xA1\xA4", u"\u00B7"},
      {"A1AA is the em dash", "\xA1\xAA", u"\u2014"},
      {"full-width digit", "\xA3\xB0", u"\uFF10"},
      {"user-defined area AAA1", "\xAA\xA1", u"\uE000"},
      {"user-defined area A140", "\xA1\x40", u"\uE4C6"},
      {"user-defined area FEFE", "\xFE\xFE", u"\uE4C5"},
      {"D7FA maps to private use", "\xD7\xFA", u"\uE810"},
      {"trail 0x5C is no backslash", "\x81\x5C\\", u"\u4E57\\"},
      {"trail 0x5C", "\x90\x5C", u"\u603D"},
      {"trail 0x5B", "\x89\x5B", u"\u5860"},
      {"trail 0x5D", "\x8F\x5D", u"\u5EEC"},
      {"trail 0x7B", "\x90\x7B", u"\u6075"},
      {"trail 0x7D", "\x81\x7D", u"\u4E87"},
      {"a lead byte takes a lead byte as trail", "\x81\x81\x40", u"\u4E96@"},
      {"lead at the end", "ab\x81", u"ab?"},
      {"lead alone", "\xB0", u"?"},
      {"lead before zero: the zero stays", std::string("\x81\0z", 3), std::u16string(u"?\0z", 3)},
      {"lead before a low byte: both consumed", "\x81\x30x", u"?x"},
      {"lead before a quote: the quote is consumed", "\xB0\"}", u"?}"},
      {"trail 0x7F has no character", "\x81\x7F" "a", u"?a"},
      {"trail 0xFF has no character", "\x81\xFF" "a", u"?a"},
      {"lead before 0x80", "\x81\x80", u"\u4E90"},
      {"empty", "", u""},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(Hex(Cp936ToUtf16(c.bytes)), Hex(c.units)) << c.name;
  }
}

struct EncodeCase {
  const char* name;
  std::u16string units;
  std::string bytes;
};

TEST(Cp936, EncodesBestFitsAndUnmappedUnitsAsWindows) {
  const EncodeCase cases[] = {
      {"ASCII and zero", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
      {"euro sign", u"\u20AC", "\x80"},
      {"U+F8F5", u"\uF8F5", "\xFF"},
      {"common characters", u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
      {"private use", u"\uE000\uE4C5", "\xAA\xA1\xFE\xFE"},
      {"best fit to ASCII", u"\u00B2\u00C0x", "2\xA8\xA4x"},
      {"best fit yen sign", u"\u00A5", "\xA3\xA4"},
      {"U+0080 has no mapping", u"\u0080", "?"},
      {"no-break space has no mapping", u"\u00A0", "?"},
      {"replacement character", u"\uFFFD", "?"},
      {"lone high surrogate", u"a\xD800z", "a?z"},
      {"lone low surrogate", u"a\xDC00z", "a?z"},
      {"pair: one '?' per unit", u"\U0001F600", "??"},
      {"empty", u"", ""},
  };
  for (const EncodeCase& c : cases) {
    EXPECT_EQ(Hex(Utf16ToCp936(c.units)), Hex(c.bytes)) << c.name;
  }
}

TEST(Cp936, AppendsAfterExistingContent) {
  std::u16string units = u"x";
  AppendCp936AsUtf16("\xD6\xD0", units);
  EXPECT_EQ(units, u"x\u4E2D");
  std::string bytes = "y";
  AppendUtf16AsCp936(u"\u4E2D", bytes);
  EXPECT_EQ(bytes, "y\xD6\xD0");
}

// Random texts of whole characters, long enough to cross the 16-unit blocks of
// the fast paths at every offset: converting the whole text must give the
// conversions of its pieces, one after the other.
TEST(Cp936, FastPathsAgreeWithCharacterByCharacterConversion) {
  std::mt19937 random(936);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    std::u16string expected_units;
    const int pieces = static_cast<int>(random() % 80);
    for (int i = 0; i < pieces; ++i) {
      std::string piece;
      const unsigned kind = random() % 10;
      if (kind < 6) {
        piece = std::string(1, static_cast<char>(random() % 0x80));
      } else if (kind < 9) {
        int lead = 0x81 + static_cast<int>(random() % 126);
        int trail = 0x40 + static_cast<int>(random() % 0xBF);
        if (!IsValidPair(lead, trail)) trail = 0x40;
        piece = Pair(lead, trail);
      } else {
        piece = random() % 2 ? "\x80" : "\xFF";
      }
      bytes += piece;
      expected_units += Cp936ToUtf16(piece);
    }
    const std::u16string units = Cp936ToUtf16(bytes);
    ASSERT_EQ(Hex(units), Hex(expected_units)) << Hex(bytes);
    ASSERT_EQ(Utf16ToCp936(units), bytes) << Hex(bytes);
  }
}

TEST(Cp936, InvalidSequencesAtEveryBlockOffset) {
  for (size_t offset = 0; offset < 40; ++offset) {
    const std::string prefix(offset, 'a');
    EXPECT_EQ(Cp936ToUtf16(prefix + "\x81"), std::u16string(offset, u'a') + u"?") << offset;
    EXPECT_EQ(Cp936ToUtf16(prefix + "\x81\x22" + prefix), std::u16string(offset, u'a') + u"?" + std::u16string(offset, u'a'))
        << offset;
    std::u16string units(offset, u'a');
    units += u'\xD800';
    units += std::u16string(offset, u'b');
    EXPECT_EQ(Utf16ToCp936(units), prefix + "?" + std::string(offset, 'b')) << offset;
  }
}

// glibc's CP936 is an independent reading of the same table. It agrees on
// every character it knows; it leaves out the user-defined areas that Windows
// maps to private use (0xAAA1..0xAFFE, 0xF8A1..0xFEFE, 0xA140..0xA7A0 and a
// few more, 2149 pairs) and the single byte 0xFF, and it has no best fits.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // False when iconv refuses the input.
  bool Convert(std::string in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* in_p = in.data();
    size_t in_left = in.size();
    char* out_p = buffer;
    size_t out_left = sizeof buffer;
    if (iconv(cd_, &in_p, &in_left, &out_p, &out_left) == static_cast<size_t>(-1)) return false;
    out.assign(buffer, out_p);
    return true;
  }

 private:
  iconv_t cd_;
};

TEST(Cp936, AgreesWithGlibcIconvWhereItHasACharacter) {
  Iconv decoder("UTF-16LE", "CP936");
  Iconv encoder("CP936", "UTF-16LE");
  if (!decoder.ok() || !encoder.ok()) GTEST_SKIP() << "glibc has no CP936 converter here";
  int refused = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string bytes = Pair(lead, trail);
      const char16_t ours = Cp936ToUtf16(bytes)[0];
      std::string theirs;
      if (!decoder.Convert(bytes, theirs)) {
        ++refused;
        EXPECT_TRUE(ours >= 0xE000 && ours <= 0xF8FF) << Hex(bytes) << "-> " << Hex(std::u16string(1, ours));
        continue;
      }
      ASSERT_EQ(theirs.size(), 2u) << Hex(bytes);
      EXPECT_EQ(ours, static_cast<unsigned char>(theirs[0]) | static_cast<unsigned char>(theirs[1]) << 8) << Hex(bytes);
    }
  }
  EXPECT_EQ(refused, 2149);

  // Every code unit glibc encodes, we encode the same way.
  for (uint32_t u = 1; u <= 0xFFFF; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const std::string in{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    std::string theirs;
    if (!encoder.Convert(in, theirs)) continue;
    EXPECT_EQ(Hex(Utf16ToCp936(std::u16string(1, static_cast<char16_t>(u)))), Hex(theirs)) << "U+" << std::hex << u;
  }
}

}  // namespace
}  // namespace ombrelk::platform

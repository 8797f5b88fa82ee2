#include "json/json_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrelk {
namespace {

// A step written as "k:text" for a key step, "i:n" for an index step.
std::vector<std::string> Describe(const ParsedPath& steps) {
  std::vector<std::string> out;
  for (const PathSegment& s : steps) {
    if (s.kind == PathSegment::kKey) {
      std::string key;
      for (char16_t c : s.key) key += c < 0x80 ? static_cast<char>(c) : '#';
      out.push_back("k:" + key);
    } else {
      out.push_back("i:" + std::to_string(s.index));
    }
  }
  return out;
}

std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

struct PathCase {
  const char* path;
  std::vector<std::string> steps;
};

const PathCase kPathCases[] = {
    {"", {}},
    {".", {}},
    {"..", {}},
    {"a", {"k:a"}},
    {"a.b", {"k:a", "k:b"}},
    {"a..b", {"k:a", "k:b"}},
    {".a.", {"k:a"}},
    {"a[3]", {"k:a", "i:3"}},
    {"[0][1]", {"i:0", "i:1"}},
    {"[0]b", {"i:0", "k:b"}},
    {"a[0].b", {"k:a", "i:0", "k:b"}},
    {"a\\.b", {"k:a.b"}},
    {"a\\\\.b", {"k:a\\", "k:b"}},
    {"a\\[0\\]", {"k:a[0]"}},
    {"a\\qb", {"k:a\\qb"}},  // a backslash before another character stays
    {"a\\", {"k:a\\"}},      // and so does a backslash at the end
    {"\\\\\\.", {"k:\\."}},
    {"[]", {"i:0"}},
    {"[-1]", {"i:-1"}},
    {"[+7]", {"i:7"}},
    {"[x]", {"i:0"}},
    {"[12a]", {"i:12"}},
    {"[1.5]", {"k:1", "i:1"}},
    {"a]b", {"k:b"}},
    {"]", {}},
    {"[1]]", {"i:1", "i:1"}},
    {"[1]x]", {"i:1", "i:1"}},  // the second ']' re-reads the text after the last '['
    {"a[", {"k:a"}},            // an unclosed bracket adds nothing
    {"[2", {"k:2"}},            // nor does an unclosed index: its text is a key
    {"[1[2]", {"k:1", "i:2"}},
    {"a b.c d", {"k:a b", "k:c d"}},  // white space belongs to keys
    // An index beyond the 32-bit range becomes the nearest 32-bit value,
    // which no container reaches; it never wraps into range.
    {"[2147483647]", {"i:2147483647"}},
    {"[2147483648]", {"i:2147483647"}},
    {"[4294967296]", {"i:2147483647"}},
    {"[99999999999999999999]", {"i:2147483647"}},
    {"[-2147483648]", {"i:-2147483648"}},
    {"[-4294967296]", {"i:-2147483648"}},
};

TEST(ParsePath, TableOfPaths) {
  for (const PathCase& c : kPathCases) {
    ParsedPath w;
    ParsePath(Widen(c.path), w);
    EXPECT_EQ(Describe(w), c.steps) << "W path '" << c.path << "'";
    ParsedPath a;
    ParsePathA(c.path, a);
    EXPECT_EQ(Describe(a), c.steps) << "A path '" << c.path << "'";
  }
}

TEST(ParsePath, MissingPathAndTextAfterZeroCountForNothing) {
  ParsedPath steps;
  ParsePathA(nullptr, steps);
  EXPECT_TRUE(steps.empty());
  ParsePath(std::u16string_view(u"a\0b.c", 5), steps);
  EXPECT_EQ(Describe(steps), std::vector<std::string>{"k:a"});
  ParsePath(std::u16string_view(u"\0a", 2), steps);
  EXPECT_TRUE(steps.empty());
}

TEST(ParsePath, ReuseReplacesEarlierSteps) {
  ParsedPath steps;
  ParsePathA("a.b.c.d.e.f.g.h.i.j", steps);  // more steps than fit inline
  EXPECT_EQ(steps.size(), 10u);
  ParsePathA("[3]", steps);
  EXPECT_EQ(Describe(steps), std::vector<std::string>{"i:3"});
  ParsePathA("", steps);
  EXPECT_TRUE(steps.empty());
}

TEST(ParsePath, LongPathsSpillOverWithoutLosingSteps) {
  std::string path;
  std::vector<std::string> expected;
  for (int i = 0; i < 200; ++i) {
    std::string key = "key\\.number" + std::to_string(i);
    path += key + "[" + std::to_string(i) + "].";
    expected.push_back("k:key.number" + std::to_string(i));
    expected.push_back("i:" + std::to_string(i));
  }
  ParsedPath steps;
  ParsePathA(path.c_str(), steps);
  EXPECT_EQ(Describe(steps), expected);
}

TEST(ParsePath, NonAsciiKeysAreConvertedFromCodePage936) {
  // "名字.年龄" in code page 936.
  ParsedPath steps;
  ParsePathA("\xC3\xFB\xD7\xD6.\xC4\xEA\xC1\xE4", steps);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].key, u"名字");
  EXPECT_EQ(steps[1].key, u"年龄");
}

TEST(ParsePath, SecondBytesThatLookLikeSeparatorsStayInsideTheirCharacter) {
  // Code page 936 characters whose second byte is '\', '[' or ']' in ASCII:
  // 0x815C, 0x815B, 0x815D. The path is converted before it is split.
  ParsedPath steps;
  ParsePathA("\x81\x5C.\x81\x5B\x81\x5D", steps);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].key.size(), 1u);
  EXPECT_EQ(steps[1].key.size(), 2u);
}

}  // namespace
}  // namespace ombrelk

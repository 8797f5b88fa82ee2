// The tolerant parser: tolerated forms, error codes and positions, escapes,
// number classification, and what the root holds afterwards. Texts use
// single quotes, which the parser treats like double quotes.
#include "json/json_parser.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "json/json_document.h"
#include "tests/json/tree_text.h"

namespace ombrelk {
namespace {

using test::TreeText;

enum Options : int { kNone = 0, kDecode = 1, kSkip = 2 };

struct ParseCase {
  const char* text;
  int options;
  int code;
  int position;
  const char* tree;  // the root afterwards, as TreeText writes it
};

const ParseCase kParseCases[] = {
    // Plain JSON and the tolerated forms.
    {"{'a':1,'b':[true,null,'x'],'c':{'d':-2.5e3}}", kNone, 0, 0,
     R"({"a":i1,"b":[true,null,"x"],"c":{"d":n-2.5e3}})"},
    {R"({"a":"it's",'b':'say "hi"'})", kNone, 0, 0, R"({"a":"it's","b":"say \"hi\""})"},
    {"{a:1}", kNone, 0, 0, R"({"a":i1})"},
    {"{ a b :1}", kNone, 0, 0, R"({"a ":i1})"},  // the key is cut by start and count
    {"[1,2,]", kNone, 0, 0, "[i1,i2]"},
    {"{'a':1,}", kNone, 0, 0, R"({"a":i1})"},
    {"[,1,,2]", kNone, 0, 0, "[i1,i2]"},
    {"[[1] 2]", kNone, 0, 0, "[[i1],i2]"},
    {"[[1],2]", kNone, 0, 0, "[[i1],i2]"},
    {"{'a':{} 'b':1}", kNone, 0, 0, R"({"a":{},"b":i1})"},
    {"{'a':[1,{'b':null}],'c':[]}", kNone, 0, 0, R"({"a":[i1,{"b":null}],"c":[]})"},
    {"[1 2]", kNone, 0, 0, "[i1 ]"},  // the blank is copied, the 2 is lost
    {"{'a':1,'a':2}", kNone, 0, 0, R"({"a":i2})"},
    {"{'a':1,'b':2,'a':3}", kNone, 0, 0, R"({"a":i3,"b":i2})"},
    {"{'ab\"':1}", kNone, 0, 0, R"({"ab":i1})"},  // a different quote closing the key is dropped
    {"{'a':1}{'b':2}", kNone, 0, 0, R"({"a":i1,"b":i2})"},
    {"{'a':1}[2]", kNone, 0, 0, "[i2]"},
    {"[1][2]", kNone, 0, 0, "[i1,i2]"},
    {"{'a':{'b':{'c':[[]]}}}", kNone, 0, 0, R"({"a":{"b":{"c":[[]]}}})"},
    {"", kNone, 0, 0, "{}"},
    {"  \r\n\t ", kNone, 0, 0, "{}"},
    {"{}", kNone, 0, 0, "{}"},
    {"[]", kNone, 0, 0, "[]"},
    // Top-level scalars: the whole text is the token.
    {"123", kNone, 0, 0, "i123"},
    {"'abc'", kNone, 0, 0, R"("abc")"},
    {"-5", kNone, 0, 0, "i-5"},
    {" -5", kNone, 0, 0, "n -5"},
    {"null", kNone, 0, 0, "null"},
    {"'[1]'", kNone, 0, 0, R"("[1]")"},  // brackets inside a top-level string
    {"'x' {'a':1} 'y'", kNone, 0, 0, R"("x' {'a':1} 'y")"},
    {"'x' {'a':1} '", kNone, 0, 0, R"("x' {'a':1} ")"},
    {"abc", kNone, -6, 0, "{}"},
    {"{'a':1} x", kNone, -6, 0, "{}"},
    {"{'a':1} x", kSkip, 0, 0, R"({"a":i1})"},
    {"x{'a':1}", kSkip, 0, 0, R"({"a":i1})"},
    {"} ] x {'a':1} y", kSkip, 0, 0, R"({"a":i1})"},
    {"abc", kSkip, 0, 0, "{}"},
    {"{}}", kNone, -6, 0, "{}"},
    {"[1]]", kNone, -6, 0, "[]"},
    // Misplaced structure (-4).
    {"[[1][2]]", kNone, -4, 4, "[]"},
    {"{'':1}", kNone, -4, 3, "{}"},
    {"{:1}", kNone, -4, 1, "{}"},
    {"{'a\"b':1}", kNone, -4, 4, "{}"},  // a character after a closed key
    {"{a'b':1}", kNone, -4, 3, "{}"},    // a quote after unquoted key characters
    {"{'a' 'b':1}", kNone, -4, 6, "{}"},
    {"{{", kNone, -4, 1, "{}"},
    {"{'a':1 {", kNone, -6, 5, "{}"},
    {"{'a'{}}", kNone, -4, 4, "{}"},
    // The text ended inside a container (-5 at n + 1).
    {"{'a':1", kNone, -5, 7, "{}"},
    {"[1,[2,3]", kNone, -5, 9, "[]"},
    {"{'a':[", kNone, -5, 7, "{}"},
    // Bad tokens (-6).
    {"{'a':1,,'b':2}", kNone, -6, 0, "{}"},
    {"{,}", kNone, -6, 0, "{}"},
    {"{'a':1 'b':2}", kNone, -6, 5, "{}"},
    {"{'a':}", kNone, -6, 5, "{}"},
    {"{'a': }", kNone, -6, 6, "{}"},
    {"{'a'}", kNone, -6, 0, "{}"},
    {"{'a':'", kNone, -6, 5, "{}"},
    {"{'a':'x}", kNone, -6, 5, "{}"},
    {"['abc", kNone, -6, 1, "[]"},
    {"[1,x]", kNone, -6, 3, "[]"},
    {"[1\\", kNone, -6, 1, "[]"},
    {"[1x[", kNone, -6, 1, "[]"},
    {"[0x10]", kNone, -6, 1, "[]"},
    {"[True]", kNone, -6, 1, "[]"},
    {"[nul]", kNone, -6, 1, "[]"},
    {"[NULL]", kNone, -6, 1, "[]"},
    {"[{]", kNone, -6, 0, "[]"},
    {"[1}", kNone, -6, 1, "[]"},
    // Escapes.
    {"['a\\nb']", kNone, 0, 0, R"(["a\r\nb"])"},
    {"['a\\r\\nb']", kNone, 0, 0, R"(["a\r\nb"])"},
    {"['\\x\\'']", kNone, 0, 0, R"(["\\x\\'"])"},
    {"['\\\\n\\/\\\"']", kNone, 0, 0, R"(["\\n/\""])"},
    {"['\\b\\t\\f']", kNone, 0, 0, R"(["\u0008\t\u000C"])"},
    {"['\\u4e2d']", kNone, 0, 0, R"(["\\u4e2d"])"},
    {"['\\u4e2d']", kDecode, 0, 0, R"(["\u4E2D"])"},
    {"['\\uD83D\\uDE00']", kDecode, 0, 0, R"(["\uD83D\uDE00"])"},
    {"['\\u00']", kDecode, -6, 1, "[]"},
    {"['ab\\u0000cd']", kDecode, 0, 0, R"(["a"])"},  // measured to the decoded zero, minus 2
    {"{'\\n':1,'a\\n':2}", kNone, 0, 0, R"({"\n":i1,"a\r\n":i2})"},
    {"{'\\u0041':1}", kDecode, 0, 0, R"({"A":i1})"},
    {"{'\\u0041':1}", kNone, 0, 0, R"({"\\u0041":i1})"},
    {"{\"a\\\"b\":1}", kNone, 0, 0, R"({"a\"b":i1})"},
    // Numbers keep the text they were written with.
    {"[1.0,007,-,1-2,+12,.5,-.5,5e,1E+5]", kNone, 0, 0, "[n1.0,i007,i-,n1-2,i+12,n.5,n-.5,n5e,n1E+5]"},
    {"[1.2.3]", kNone, -6, 1, "[]"},
    {"[1e5e]", kNone, -6, 1, "[]"},
    {"[1+2-3]", kNone, -6, 1, "[]"},
    {"[e5]", kNone, -6, 1, "[]"},
    {"[Infinity]", kNone, -6, 1, "[]"},
};

std::string Describe(const ParseCase& c) {
  return std::string("text <") + c.text + "> options " + std::to_string(c.options);
}

TEST(ParseA, TableOfTexts) {
  for (const ParseCase& c : kParseCases) {
    JsonDocument document;
    int code = 99;
    int position = 99;
    bool ok = document.ParseA(c.text, c.options & kDecode, c.options & kSkip, &code, &position);
    EXPECT_EQ(ok, c.code == 0) << Describe(c);
    if (c.text[0] != '\0') {  // an empty text writes neither out-argument
      EXPECT_EQ(code, c.code) << Describe(c);
      EXPECT_EQ(position, c.position) << Describe(c);
    }
    EXPECT_EQ(TreeText(document.GetRoot()), c.tree) << Describe(c);
  }
}

// The same table through the UTF-16 forms, into a root that already holds
// something: ParseIntoW empties it first and after a failure.
TEST(ParseIntoW, TableOfTextsIntoAFilledRoot) {
  for (const ParseCase& c : kParseCases) {
    if (c.text[0] == '\0') continue;
    JsonDocument document;
    ASSERT_TRUE(document.ParseA("{'old':[1,2]}"));
    JsonNode* root = document.GetRoot();
    std::u16string wide = AnsiToUtf16(c.text);
    int code = 99;
    int position = 99;
    bool ok = document.ParseIntoW(wide, c.options & kDecode, c.options & kSkip, &code, &position);
    EXPECT_EQ(ok, c.code == 0) << Describe(c);
    EXPECT_EQ(code, c.code) << Describe(c);
    EXPECT_EQ(position, c.position) << Describe(c);
    EXPECT_EQ(document.GetRoot(), root) << Describe(c);
    EXPECT_EQ(TreeText(root), c.tree) << Describe(c);
  }
}

TEST(ParseA, ValuesOfParsedTokens) {
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("{'d':-2.5e3,'i':-42,'z':007,'m':-,'s':1-2,'b':true,'f':false,"
                              "'big':9223372036854775807,'neg':-9223372036854775808}"));
  JsonNode* root = document.GetRoot();
  EXPECT_DOUBLE_EQ(root->FindMember(u"d")->NumberValue(), -2500.0);
  EXPECT_EQ(root->FindMember(u"i")->IntegerValue(), -42);
  EXPECT_EQ(root->FindMember(u"z")->IntegerValue(), 7);
  EXPECT_EQ(root->FindMember(u"m")->IntegerValue(), 0);
  EXPECT_DOUBLE_EQ(root->FindMember(u"s")->NumberValue(), 1.0);
  EXPECT_TRUE(root->FindMember(u"b")->BoolValue());
  EXPECT_FALSE(root->FindMember(u"f")->BoolValue());
  EXPECT_EQ(root->FindMember(u"big")->IntegerValue(), INT64_MAX);
  EXPECT_EQ(root->FindMember(u"neg")->IntegerValue(), INT64_MIN);

  ASSERT_TRUE(document.ParseA(" -5"));
  EXPECT_EQ(document.GetRoot()->Kind(), NodeType::Number);
  EXPECT_DOUBLE_EQ(document.GetRoot()->NumberValue(), -5.0);
}

TEST(ParseA, SecondBytesThatLookLikeStructureStayInsideTheirCharacter) {
  // 0x81 followed by \ [ ] { } are single GBK characters U+4E57, U+4E55,
  // U+4E5A, U+4E84, U+4E87; none of those bytes may act as structure.
  const std::string key = "\x81\x5C";
  const std::string value = "\x81\x5B\x81\x5D\x81\x7B\x81\x7D\xD6\xD0\xCE\xC4";
  const std::string text = "{'" + key + "':'" + value + "','k\x81\x5D':[\x27\x81\x5C\x27]}";
  JsonDocument document;
  int code = 99;
  ASSERT_TRUE(document.ParseA(text.c_str(), false, false, &code)) << code;
  EXPECT_EQ(TreeText(document.GetRoot()),
            R"({"\u4E57":"\u4E55\u4E5A\u4E84\u4E87\u4E2D\u6587","k\u4E5A":["\u4E57"]})");
  // A backslash byte that is a second byte does not escape the quote after it.
  ASSERT_TRUE(document.ParseA("['\x81\x5C']"));
  EXPECT_EQ(TreeText(document.GetRoot()), R"(["\u4E57"])");
  // Unquoted keys and top-level strings too.
  ASSERT_TRUE(document.ParseA("{\x81\x7B:1}"));
  EXPECT_EQ(TreeText(document.GetRoot()), R"({"\u4E84":i1})");
  ASSERT_TRUE(document.ParseA("'\x81\x7D'"));
  EXPECT_EQ(TreeText(document.GetRoot()), R"("\u4E87")");
}

TEST(ParseA, TheTextEndsAtItsFirstZeroByte) {
  JsonDocument document;
  int code = 99;
  std::string_view line("[1,2]\0[3]", 9);
  ASSERT_TRUE(document.ParseA(line, false, false, &code));
  EXPECT_EQ(TreeText(document.GetRoot()), "[i1,i2]");
  // A view is parsed exactly: the bytes after it are not read.
  std::string buffer = "{'a':1}{'b':2}";
  ASSERT_TRUE(document.ParseA(std::string_view(buffer).substr(0, 7)));
  EXPECT_EQ(TreeText(document.GetRoot()), R"({"a":i1})");
}

TEST(ParseA, ReplacesTheRootEvenWhenTheParseFails) {
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("{'a':[1,2,3]}"));
  JsonDocument keeper = document.Copy();
  JsonNode* old_root = document.GetRoot();
  EXPECT_EQ(old_root->RefCount(), 2);

  EXPECT_FALSE(document.ParseA("[1,x]"));
  EXPECT_NE(document.GetRoot(), old_root);
  EXPECT_EQ(TreeText(document.GetRoot()), "[]");
  EXPECT_EQ(old_root->RefCount(), 1);
  EXPECT_EQ(TreeText(keeper.GetRoot()), R"({"a":[i1,i2,i3]})");
}

TEST(ParseA, MissingOrEmptyTextLeavesAnEmptyObjectAndWritesNothing) {
  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    JsonDocument document;
    ASSERT_TRUE(document.ParseA("[1]"));
    int code = -4;
    int position = 17;
    EXPECT_TRUE(document.ParseA(text, false, false, &code, &position));
    EXPECT_EQ(code, -4);
    EXPECT_EQ(position, 17);
    EXPECT_EQ(TreeText(document.GetRoot()), "{}");
  }
  JsonDocument document;
  EXPECT_TRUE(document.ParseW());
  EXPECT_EQ(TreeText(document.GetRoot()), "{}");
}

TEST(ParseInto, KeepsTheRootAndItsSharers) {
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("{'a':1}"));
  JsonDocument sharer = document.Copy();
  JsonNode* root = document.GetRoot();
  ASSERT_TRUE(document.ParseIntoA("[true]"));
  EXPECT_EQ(document.GetRoot(), root);
  EXPECT_EQ(TreeText(sharer.GetRoot()), "[true]");

  // A document without root gets one.
  JsonDocument empty;
  ASSERT_TRUE(empty.ParseIntoA("{'b':2}"));
  EXPECT_EQ(TreeText(empty.GetRoot()), R"({"b":i2})");

  // An empty UTF-16 text is nothing to parse: the root stays as it was.
  int code = 99;
  int position = 99;
  EXPECT_FALSE(document.ParseIntoW(std::u16string_view(), false, false, &code, &position));
  EXPECT_EQ(code, -2);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(TreeText(root), "[true]");
  // An empty GBK text is the empty text: the root is emptied, kind kept.
  EXPECT_TRUE(document.ParseIntoA(""));
  EXPECT_EQ(TreeText(root), "[]");
}

TEST(ParseText, WithoutTargetAnswersNothingToParse) {
  ParseOutcome outcome = ParseText(nullptr, u"[1]", {});
  EXPECT_EQ(outcome.code, -2);
  EXPECT_EQ(outcome.position, 0);
}

TEST(ParseText, ATopLevelContainerDropsTheScalarBeforeIt) {
  // The target holds the scalar, then the container; at the end the
  // scalar again when text outside containers follows the last one.
  JsonNode* target = NewObjectNode();
  EXPECT_EQ(ParseText(target, u"'[1, 2]'", {}).code, 0);
  EXPECT_EQ(TreeText(target), R"("[1, 2]")");
  EXPECT_EQ(ParseText(target, u"'a' [1] [2] 'b' [3] x '", {}).code, 0);
  EXPECT_EQ(TreeText(target), R"("a' [1] [2] 'b' [3] x ")");
  Release(target);
}

struct NumberCase {
  const char16_t* token;
  TokenClass expected;
};

TEST(ClassifyToken, TableOfTokens) {
  const NumberCase cases[] = {
      {u"12", TokenClass::Integer},      {u"-12", TokenClass::Integer},
      {u"+12", TokenClass::Integer},     {u"007", TokenClass::Integer},
      {u"-", TokenClass::Integer},       {u"1 ", TokenClass::Integer},
      {u"1.5", TokenClass::Number},      {u".5", TokenClass::Number},
      {u"1e5", TokenClass::Number},      {u"1E+5", TokenClass::Number},
      {u"5e", TokenClass::Number},       {u"1-2", TokenClass::Number},
      {u"-.5", TokenClass::Number},      {u" -5", TokenClass::Number},
      {u"+-1", TokenClass::Number},      {u"1 2", TokenClass::Integer},
      {u"null", TokenClass::Null},       {u"true", TokenClass::Boolean},
      {u"false", TokenClass::Boolean},   {u"1.2.3", TokenClass::Invalid},
      {u"1e5e", TokenClass::Invalid},    {u"1e5E", TokenClass::Invalid},
      {u"1+2-3", TokenClass::Invalid},   {u"0x1F", TokenClass::Invalid},
      {u"e5", TokenClass::Invalid},      {u"Infinity", TokenClass::Invalid},
      {u"NaN", TokenClass::Invalid},     {u"True", TokenClass::Invalid},
      {u"", TokenClass::Invalid},        {u"nul", TokenClass::Invalid},
      {u"null ", TokenClass::Invalid},   {u"\u0661", TokenClass::Invalid},  // Arabic-Indic one
      {u"\uFF11", TokenClass::Invalid},  // full-width one
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(ClassifyToken(c.token), c.expected) << test::Quoted(c.token);
  }
}

TEST(Unescape, TableOfTexts) {
  struct Case {
    std::u16string in;
    bool decode;
    std::u16string out;
  };
  const Case cases[] = {
      {u"\\n", false, u"\n"},            // first character: LF alone
      {u"a\\n", false, u"a\r\n"},
      {u"\r\\n", false, u"\r\n"},        // after a CR: LF alone
      {u"\\r\\n", false, u"\r\n"},
      {u"\\\\n", false, u"\\n"},         // the escaped backslash is not read again
      {u"\\\\\\\\", false, u"\\\\"},
      {u"\\'\\q", false, u"\\'\\q"},
      {u"\\u0041", false, u"\\u0041"},
      {u"\\u0041", true, u"A"},
      {u"\\u004", true, u"\\u004"},      // fewer than four characters after the u
      {u"\\u4g00", true, std::u16string(1, char16_t{0x0400})},  // a pair reads up to its first non-hex digit
      {u"x\\", false, u"x\\"},
      {u"\\u0000z", true, std::u16string(u"\0z", 2)},
  };
  for (const Case& c : cases) {
    std::u16string text = c.in;
    int32_t length = Unescape(text.data(), static_cast<int32_t>(text.size()), c.decode);
    EXPECT_EQ(text.substr(0, length), c.out) << test::Quoted(c.in) << " decode " << c.decode;
  }
}

// Nesting is limited by storage only: the parser keeps its own stack, and
// freeing works without recursion, also on a thread with a small stack.
TEST(ParseA, DeepNestingOnASmallStack) {
  struct Job {
    static void* Run(void* arg) {
      auto* result = static_cast<std::string*>(arg);
      constexpr int kDepth = 1'000'000;
      std::string text(kDepth, '[');
      text.append(kDepth, ']');
      JsonDocument document;
      int code = 99;
      if (!document.ParseA(text.c_str(), false, false, &code)) {
        *result = "parse failed with " + std::to_string(code);
        return nullptr;
      }
      JsonNode* node = document.GetRoot();
      int depth = 0;
      while (node->ElementCount() == 1) {
        node = node->ElementAt(0);
        ++depth;
      }
      if (depth != kDepth - 1) *result = "depth " + std::to_string(depth);
      document.Clear();  // frees a million nested arrays
      // The same through an unterminated text: the failure empties the root.
      text.resize(kDepth + 10);
      if (document.ParseA(text.c_str(), false, false, &code) || code != -5) *result += " unterminated";
      return nullptr;
    }
  };
  std::string result;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 1 << 20);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, &Job::Run, &result), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(result, "");
}

// Shapes whose naive handling costs the square of their length; each of
// these texts takes minutes that way and milliseconds when linear.
TEST(ParseA, LargeTextsOfEveryShape) {
  constexpr size_t kSize = 1 << 20;
  std::vector<std::string> texts;
  texts.push_back(std::string(kSize, '7'));  // one top-level number
  texts.push_back("'" + std::string(kSize, 'x') + "'");
  std::string flips = "'";
  while (flips.size() < kSize) flips += "[]x";
  texts.push_back(flips + "'");  // containers between top-level scalar characters
  std::string members = "{";
  for (int k = 0; members.size() < kSize; ++k) members += "'k" + std::to_string(k) + "':" + std::to_string(k) + ",";
  texts.push_back(members + "}");
  std::string elements = "[";
  while (elements.size() < kSize) elements += "{},";
  texts.push_back(elements + "]");
  std::string keys = "{";
  while (keys.size() < kSize) keys += "'same':1,";  // one key replaced over and over
  texts.push_back(keys + "}");
  std::string late = "{";
  for (int k = 0; late.size() < kSize / 2; ++k) late += "k" + std::to_string(k) + ":0,";
  while (late.size() < kSize) late += "last:1,";  // a key far down the order replaced over and over
  texts.push_back(late + "}");
  for (const std::string& text : texts) {
    JsonDocument document;
    int code = 99;
    EXPECT_TRUE(document.ParseA(text.c_str(), false, false, &code)) << code << " for " << text.substr(0, 20);
    document.Clear();
  }
}

}  // namespace
}  // namespace ombrelk

// A second pass over the parser's corners, worked out by hand from the
// algorithm: where each error code is reported, what the tolerances give
// when pushed (quotes met in odd places, blanks inside tokens, keys closed
// early), escapes that depend on their neighbours, which tokens count as
// numbers, and text whose code units only look like structure. Texts use
// single quotes, which the parser treats like double quotes.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "json/json_document.h"
#include "json/json_parser.h"
#include "tests/json/tree_text.h"

namespace ombrelk {
namespace {

using test::TreeText;

enum Options : int { kNone = 0, kDecode = 1, kSkip = 2 };

struct ReviewCase {
  const char* text;  // GBK bytes
  int options;
  int code;
  int position;      // in UTF-16 code units
  const char* tree;  // the root afterwards, as TreeText writes it
};

const ReviewCase kReviewCases[] = {
    // -- The text ended with containers open: -5 at n + 1, whatever the
    //    last step was.
    {"[", kNone, -5, 2, "[]"},
    {"['a'", kNone, -5, 5, "[]"},  // the token is stored, then the array is still open
    {"{'a':[1,{'b':2}", kNone, -5, 16, "{}"},
    {"['a]'", kNone, -5, 6, "[]"},  // the ] is inside the quotes
    {"x{'a':1", kSkip, -5, 8, "{}"},

    // -- A key without a value: -6 at the value start (past the colon and
    //    the blanks after it), or 0 when no colon was read, however deep.
    {"{'abc", kNone, -6, 0, "{}"},  // the open quote runs to the end; no colon
    {"{'a':\t\r\n,}", kNone, -6, 8, "{}"},
    {"{'a':  ", kNone, -6, 7, "{}"},
    {"[{'a': }]", kNone, -6, 7, "[]"},
    {"[1,{'a'}]", kNone, -6, 0, "[]"},
    {"{a,b:1}", kNone, -6, 0, "{}"},
    {"{'a':[1] 2}", kNone, -6, 0, "{}"},  // after the nested array a key is expected
    // An empty token where a key is expected is an invalid token at 0.
    {"{'a':1,,}", kNone, -6, 0, "{}"},
    {"{,'a':1}", kNone, -6, 0, "{}"},

    // -- Bad tokens: -6 at the token start.
    {"{'a':1]", kNone, -6, 5, "{}"},   // ] is an ordinary character in an object's value
    {"{'a':[}]}", kNone, -6, 6, "{}"},  // } is an ordinary character in an array's token
    {"[1 {}]", kNone, -6, 1, "[]"},    // a bracket after other characters of a token
    {"[1 [2]]", kNone, -6, 1, "[]"},
    {"{a::1}", kNone, -6, 3, "{}"},    // the second colon belongs to the value
    {"{'a':x'y'}", kNone, -6, 5, "{}"},
    {"['a' 'b']", kNone, -6, 1, "[]"},  // blanks are not counted: the token is 'a' 'b
    {"[a'b']", kNone, -6, 1, "[]"},
    {"[']", kNone, -6, 1, "[]"},
    {"['a\"]", kNone, -6, 1, "[]"},      // the other quote does not close it
    {"['a\\']", kNone, -6, 1, "[]"},     // the escaped quote does not close it
    {"['\\u']", kNone, -6, 1, "[]"},     // the \u skip runs over the quote to the end
    {"{'\\u41':1}", kDecode, -6, 0, "{}"},  // the same in a key: the key runs to the end
    {"[\\u0031]", kDecode, -6, 1, "[]"},   // numbers are not unescaped

    // -- Misplaced structure: -4.
    {"[{}{}]", kNone, -4, 3, "[]"},
    {"[{'a':1}{'b':2}]", kNone, -4, 8, "[]"},
    {"{'a':{}{}}", kNone, -4, 7, "{}"},
    {"{a[1]}", kNone, -4, 2, "{}"},   // no colon yet: the object does not expect a value
    {"{ :1}", kNone, -4, 2, "{}"},    // a colon after an empty key
    {"{\"\" :1}", kNone, -4, 4, "{}"},
    {"{'a\" b':1}", kNone, -4, 4, "{}"},   // a blank inside the quotes after the key closed
    {"{'a\":x':1}", kNone, -4, 4, "{}"},   // a colon inside the quotes after the key closed
    {"{\f'a':1}", kNone, -4, 3, "{}"},    // a form feed is not a blank: it starts the key

    // -- Tolerances pushed further.
    {"{'a':1 2}", kNone, 0, 0, R"({"a":i1 })"},  // as [1 2]: the blank is copied, the 2 lost
    {"{'a':{'b':1}'c':2}", kNone, 0, 0, R"({"a":{"b":i1},"c":i2})"},
    {"[{'a':1} 2]", kNone, 0, 0, R"([{"a":i1},i2])"},
    {"[1,{}2]", kNone, 0, 0, "[i1,{},i2]"},
    {"[{}'x']", kNone, 0, 0, R"([{},"x"])"},
    {"[{},,1]", kNone, 0, 0, "[{},i1]"},
    {"[{}]", kNone, 0, 0, "[{}]"},
    {"[,]", kNone, 0, 0, "[]"},
    {"{'a':{},}", kNone, 0, 0, R"({"a":{}})"},
    {"{'a':'x':'y'}", kNone, 0, 0, R"({"a":"x':'y"})"},  // a colon in a value is ordinary
    {"['a' '']", kNone, 0, 0, R"(["a' "])"},  // the six counted units: 'a' ' plus ' = 'a' '
    {"[- 5]", kNone, 0, 0, "[i- ]"},
    {"[true ]", kNone, 0, 0, "[true]"},
    {"{my key:1}", kNone, 0, 0, R"({"my ke":i1})"},  // five counted units from the key start
    {"{a]:1}", kNone, 0, 0, R"({"a]":i1})"},
    {"{'}':'{','a,b:c':1}", kNone, 0, 0, R"({"}":"{","a,b:c":i1})"},
    {"{'a\\'b':1}", kNone, 0, 0, R"({"a\\'b":i1})"},  // \' keeps its backslash
    {"{'a'\\x:1}", kNone, 0, 0, R"({"a'\\":i1})"},     // a backslash after the closed key is counted
    // Keys: replaced in place, also by a container or by a later top-level object.
    {"{'a':[1],'b':2,'a':{}}", kNone, 0, 0, R"({"a":{},"b":i2})"},
    {"{'a':{'x':1}}{'a':{'y':2}}", kNone, 0, 0, R"({"a":{"y":i2}})"},
    {"{'a':1,'b':2}{'a':3}", kNone, 0, 0, R"({"a":i3,"b":i2})"},
    {"[1]{'a':2}", kNone, 0, 0, R"({"a":i2})"},
    {"[1]{'a':1}[2]", kNone, 0, 0, "[i2]"},
    {"{'a':1}{}", kNone, 0, 0, R"({"a":i1})"},
    {"[1][]", kNone, 0, 0, "[i1]"},
    {"{'a':[1]}{'a':[2]}", kNone, 0, 0, R"({"a":[i2]})"},
    {"{'a':1,'\\u0061':2}", kDecode, 0, 0, R"({"a":i2})"},
    {"{'a':1,'\\u0061':2}", kNone, 0, 0, R"({"a":i1,"\\u0061":i2})"},

    // -- Text outside every container.
    {"]", kNone, -6, 0, "{}"},
    {"]", kSkip, 0, 0, "{}"},
    {"[1]]", kSkip, 0, 0, "[i1]"},
    {"[1] x [2]", kSkip, 0, 0, "[i1,i2]"},
    {"[1] x [2]", kNone, -6, 0, "[]"},
    {"1[2]", kNone, -6, 0, "{}"},
    {"[1]'a'", kNone, -6, 0, "[]"},
    {"\f{}", kNone, -6, 0, "{}"},
    {"\f{}", kSkip, 0, 0, "{}"},
    // The top-level quotes mean nothing to the main loop: the [ opens an
    // array and the token inside it starts at the second quote.
    {"'a[' [1] 'b]'", kNone, -6, 3, "[]"},
    // With skipping the first quote is ignored, so the { opens an object
    // whose key runs to the end without a colon.
    {"'{' [1]", kSkip, -6, 0, "{}"},
    // A top-level token is the whole text, blanks at either end included.
    {"1 2", kNone, 0, 0, "i1 2"},
    {"-5 ", kNone, 0, 0, "i-5 "},
    {" 5", kNone, 0, 0, "i 5"},
    {"\v-5", kNone, 0, 0, "n\v-5"},
    {"'abc' ", kNone, -6, 0, "{}"},
    {" 'abc'", kNone, -6, 0, "{}"},
    {" true", kNone, -6, 0, "{}"},
    {"false", kNone, 0, 0, "false"},
    // A sign at position 0 is not counted, but only when position 0 is not
    // a skipped blank: then the sign is the one allowed later sign.
    {"+-5", kNone, 0, 0, "n+-5"},
    {" +-5", kNone, -6, 0, "{}"},
    {" .5.", kNone, -6, 0, "{}"},
    {" .5", kNone, 0, 0, "n .5"},

    // -- Numbers: what counts as one, its kind, its text as written.
    {"[.,1.,+,-0,5-,-e5,+.5,1e,-1e-5]", kNone, 0, 0, "[n.,n1.,i+,i-0,n5-,n-e5,n+.5,n1e,n-1e-5]"},
    {"[1 e5]", kNone, 0, 0, "[n1 e]"},
    {"[\x01" "5,\v5,\x01-5,\v-5]", kNone, 0, 0, "[i\x01" "5,i\v5,n\x01-5,n\v-5]"},
    {"[1e+-5]", kNone, -6, 1, "[]"},
    {"[.5.]", kNone, -6, 1, "[]"},  // a point at the start counts as the one point
    {"[..]", kNone, -6, 1, "[]"},
    {"[e]", kNone, -6, 1, "[]"},
    {"[E5]", kNone, -6, 1, "[]"},
    {"[1E5e]", kNone, -6, 1, "[]"},
    {"[FALSE]", kNone, -6, 1, "[]"},
    {"[nulL]", kNone, -6, 1, "[]"},
    {"[true 1]", kNone, -6, 1, "[]"},

    // -- Escapes.
    {"['\\n']", kNone, 0, 0, R"(["\r\n"])"},  // the opening quote stands before it
    {"['\\n\\n']", kNone, 0, 0, R"(["\r\n\r\n"])"},
    {"{'\\n\\n':1}", kNone, 0, 0, R"({"\n\r\n":i1})"},  // a key has no quote before it
    {"{\\nb:1}", kNone, 0, 0, R"({"\nb":i1})"},
    {"{'a\\nb':[1]}", kNone, 0, 0, R"({"a\r\nb":[i1]})"},
    {"['\r\\n']", kNone, 0, 0, R"(["\r\n"])"},  // a real CR before \n
    {"['\\\\\\n']", kNone, 0, 0, R"(["\\\r\n"])"},
    {"['a\\\\']", kNone, 0, 0, R"(["a\\"])"},
    {"['\\u005Cn']", kDecode, 0, 0, R"(["\\n"])"},  // a decoded backslash is not read again
    {"['\\u000D\\n']", kDecode, 0, 0, R"(["\r\n"])"},
    {"['\\u12345']", kDecode, 0, 0, R"(["\u12345"])"},
    {"['\\uABcd']", kDecode, 0, 0, R"(["\uABCD"])"},
    {"{'\\u0041':{}}", kDecode, 0, 0, R"({"A":{}})"},
    // "At least four characters follow the u" counts the closing quote, and
    // a hexadecimal pair reads up to its first other character.
    {"['\\u004'']", kDecode, 0, 0, R"(["\u0004"])"},
    {"['\\u004'']", kNone, 0, 0, R"(["\\u004'"])"},
    {"'\\u004'", kDecode, 0, 0, R"("")"},  // the quote went into the code unit: ' U+0004 is 2 - 2 long
    {"'\\u00'", kDecode, 0, 0, R"("\\u00")"},  // a top-level string is not scanned: only three follow
    {"'a\\'", kNone, 0, 0, R"("a\\")"},
    {"\"a\\\"", kNone, 0, 0, R"("a")"},  // the escaped quote loses its backslash and closes the text
    {"x{'\\u0041':'\\u0042'}y", kDecode | kSkip, 0, 0, R"({"A":"B"})"},
    // A decoded zero: the string is measured to it, quote included, minus 2.
    {"['\\u0000']", kDecode, 0, 0, R"([""])"},
    {"['a\\u0000b']", kDecode, 0, 0, R"([""])"},
    // In a key the zero ends the key; the empty key is then stored as it is.
    {"{'a\\u0000b':1}", kDecode, 0, 0, R"({"a":i1})"},
    {"{'\\u0000':1}", kDecode, 0, 0, R"({"":i1})"},

    // Escapes at either end, long keys and texts, escapes that change a
    // key into one already there.
    {"['\\\\']", kNone, 0, 0, R"(["\\"])"},
    {"{'\\\\':{}}", kNone, 0, 0, R"({"\\":{}})"},
    {"{'\\/':[]}", kNone, 0, 0, R"({"/":[]})"},
    {"{'a\\/b':1,'a/b':2}", kNone, 0, 0, R"({"a/b":i2})"},
    {"{'abcdefghijklmnop\\tq':'0123456789012345678\\u0041'}", kDecode, 0, 0,
     R"({"abcdefghijklmnop\tq":"0123456789012345678A"})"},
    {"['0123456789012345678901\\u0000x']", kDecode, 0, 0, R"(["012345678901234567890"])"},
    {"[-12345678901234567890.5e-10]", kNone, 0, 0, "[n-12345678901234567890.5e-10]"},
    // A backslash whose skip would pass the end stops there.
    {"['a'\\", kNone, -6, 1, "[]"},
    {"{'a':1\\", kNone, -6, 5, "{}"},
    {"{a\\", kNone, -6, 0, "{}"},

    // -- Runs of blanks inside tokens and keys are not counted, but the
    //    counted length is copied from the start, blanks and all.
    {"[1    2    3]", kNone, 0, 0, "[i1  ]"},
    {"{'a':1   2   3}", kNone, 0, 0, R"({"a":i1  })"},
    {"{k    e    y:1}", kNone, 0, 0, R"({"k  ":i1})"},
    {"['a    b'  ]", kNone, 0, 0, R"(["a    b"])"},
    {"[1   ", kNone, -5, 6, "[]"},

    // -- Top-level strings are the whole text too.
    {"'", kNone, -6, 0, "{}"},
    {"''", kNone, 0, 0, R"("")"},
    {"\"a'", kNone, -6, 0, "{}"},
    {"'\\u0041'", kDecode, 0, 0, R"("A")"},
    {"'\\n'", kNone, 0, 0, R"("\r\n")"},
    {"'[1] '", kNone, 0, 0, R"("[1] ")"},
    {"'x", kSkip, 0, 0, "{}"},
    {"{'a':1} junk {'b':2}", kSkip, 0, 0, R"({"a":i1,"b":i2})"},
    {"{'a':'}", kNone, -6, 5, "{}"},

    // -- GBK text: positions count UTF-16 code units, and an invalid trail
    //    byte is eaten with its lead byte.
    {"['\xD6\xD0',x]", kNone, -6, 5, "[]"},
    {"['\xD6\xD0'", kNone, -5, 5, "[]"},
    {"['\x80\xFF']", kNone, 0, 0, R"(["\u20AC\uF8F5"])"},
    {"['\x81']", kNone, -6, 1, "[]"},  // 0x81 0x27 is one '?': the closing quote is gone
    {"['\x81\x7F']", kNone, 0, 0, R"(["?"])"},
    {"['a']\x81", kNone, -6, 0, "[]"},  // a lead byte at the end is a '?' outside the array
    {"['a']\x81", kSkip, 0, 0, R"(["a"])"},
    {"['\x81\x5Cn']", kNone, 0, 0, R"(["\u4E57n"])"},
    {"{\x81\x5Cn:1}", kNone, 0, 0, R"({"\u4E57n":i1})"},
    {"[\x81\x5D]", kNone, -6, 1, "[]"},
    {"{'a':\x81\x7D}", kNone, -6, 5, "{}"},
    {"[\xA3\xB1]", kNone, -6, 1, "[]"},      // a full-width digit is no digit
    {"[\xA1\xA1" "1]", kNone, -6, 1, "[]"},  // an ideographic space is no blank
    {"[1,\x81,2]", kNone, -6, 3, "[]"},  // 0x81 0x2C is one '?': the token is ?2
    {"['\x81", kNone, -6, 1, "[]"},
    {"{'\xD6\xD0' 'b':1}", kNone, -4, 6, "{}"},
};

std::string Describe(const ReviewCase& c) {
  return std::string("text <") + c.text + "> options " + std::to_string(c.options);
}

TEST(ParseA, HandDerivedCasesOfEveryTolerance) {
  for (const ReviewCase& c : kReviewCases) {
    JsonDocument document;
    int code = 99;
    int position = 99;
    bool ok = document.ParseA(c.text, c.options & kDecode, c.options & kSkip, &code, &position);
    EXPECT_EQ(ok, c.code == 0) << Describe(c);
    EXPECT_EQ(code, c.code) << Describe(c);
    EXPECT_EQ(position, c.position) << Describe(c);
    EXPECT_EQ(TreeText(document.GetRoot()), c.tree) << Describe(c);
  }
}

// The same texts through ParseIntoA into a root that holds a tree already.
TEST(ParseIntoA, HandDerivedCasesIntoAFilledRoot) {
  for (const ReviewCase& c : kReviewCases) {
    JsonDocument document;
    ASSERT_TRUE(document.ParseA("{'old':[1,2],'k':{}}"));
    JsonNode* root = document.GetRoot();
    int code = 99;
    int position = 99;
    bool ok = document.ParseIntoA(c.text, c.options & kDecode, c.options & kSkip, &code, &position);
    EXPECT_EQ(ok, c.code == 0) << Describe(c);
    EXPECT_EQ(code, c.code) << Describe(c);
    EXPECT_EQ(position, c.position) << Describe(c);
    EXPECT_EQ(document.GetRoot(), root) << Describe(c);
    EXPECT_EQ(TreeText(root), c.tree) << Describe(c);
  }
}

struct WideCase {
  std::u16string_view text;
  int options;
  int code;
  int position;
  const char* tree;
};

// A code unit is structure only as a whole: its low byte alone means nothing.
TEST(ParseW, UnitsWhoseLowByteLooksLikeStructure) {
  using namespace std::literals;
  const WideCase cases[] = {
      {u"{'k\u0127\u013A\u012C':'\u015D\u017D\u015B\u017B\u015C\u0122\u0100\u0120\u0109'}"sv, kNone,
       0, 0, R"({"k\u0127\u013A\u012C":"\u015D\u017D\u015B\u017B\u015C\u0122\u0100\u0120\u0109"})"},
      {u"['\u015Cn']"sv, kNone, 0, 0, R"(["\u015Cn"])"},
      {u"{a\u0120b:1}"sv, kNone, 0, 0, R"({"a\u0120b":i1})"},
      {u"[1\u0120]"sv, kNone, -6, 1, "[]"},
      {u"[1,\u010A2]"sv, kNone, -6, 3, "[]"},
      {u"[\uFF3B1\uFF3D]"sv, kNone, -6, 1, "[]"},
      {u"\u0120"sv, kNone, -6, 0, "{}"},
      {u"\u0120"sv, kSkip, 0, 0, "{}"},
      {u"\u017B\u017D"sv, kNone, -6, 0, "{}"},
      {u"[1]\0[2]"sv, kNone, 0, 0, "[i1]"},  // the text ends at its first zero unit
      {u"\uFEFF{}"sv, kNone, -6, 0, "{}"},  // a byte order mark is text outside the object
      {u"\uFEFF{}"sv, kSkip, 0, 0, "{}"},
  };
  for (const WideCase& c : cases) {
    JsonDocument document;
    int code = 99;
    int position = 99;
    bool ok = document.ParseW(c.text, c.options & kDecode, c.options & kSkip, &code, &position);
    std::string name = test::Quoted(c.text);
    EXPECT_EQ(ok, c.code == 0) << name;
    EXPECT_EQ(code, c.code) << name;
    EXPECT_EQ(position, c.position) << name;
    EXPECT_EQ(TreeText(document.GetRoot()), c.tree) << name;
  }
}

// A UTF-16 text that starts with a zero unit is a given (non-empty) text
// holding nothing: it parses, and the out-arguments are written.
TEST(ParseIntoW, ATextStartingWithAZeroUnitIsGiven) {
  using namespace std::literals;
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("[1,2]"));
  int code = 99;
  int position = 99;
  JsonNode* root = document.GetRoot();
  EXPECT_TRUE(document.ParseIntoW(u"\0{}"sv, false, false, &code, &position));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(document.GetRoot(), root);
  EXPECT_EQ(TreeText(root), "[]");  // emptied, kind kept
}

// ParseW stops without writing the out-arguments only when no text is given
// (an empty view). A view holding units is a given text, even when its
// first unit is zero: the parse runs (an empty text) and reports code 0 at
// position 0, as ParseIntoW does above.
TEST(ParseW, ATextStartingWithAZeroUnitIsGiven) {
  using namespace std::literals;
  JsonDocument document;
  int code = 99;
  int position = 99;
  EXPECT_TRUE(document.ParseW(u"\0[1]"sv, false, false, &code, &position));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(TreeText(document.GetRoot()), "{}");
}

// The values behind the tokens of the table above: atof-style and
// _wtoi64-style reads skip C white space (VT and FF too) before the sign,
// and stop at the first character that does not fit.
TEST(ParseA, ValuesOfOddNumberTokens) {
  struct Case {
    const char* text;
    NodeType kind;
    double value;
  };
  const Case cases[] = {
      {"[- 5]", NodeType::Integer, 0},     {"[.]", NodeType::Number, 0},
      {"[1.]", NodeType::Number, 1},       {"[+]", NodeType::Integer, 0},
      {"[+1]", NodeType::Integer, 1},      {"[-0]", NodeType::Integer, 0},
      {"[5-]", NodeType::Number, 5},       {"[-e5]", NodeType::Number, 0},
      {"[+.5]", NodeType::Number, 0.5},    {"[1e]", NodeType::Number, 1},
      {"[-1e-5]", NodeType::Number, -1e-5}, {"[1 e5]", NodeType::Number, 1},
      {"[.5e1]", NodeType::Number, 5},     {"[00012]", NodeType::Integer, 12},
      {"[\x01" "5]", NodeType::Integer, 0},  // U+0001 is skipped as a blank by the test, not by the read
      {"[\v5]", NodeType::Integer, 5},     {"[\f5]", NodeType::Integer, 5},
      {"[\x01-5]", NodeType::Number, 0},   {"[\v-5]", NodeType::Number, -5},
      {"[1 2]", NodeType::Integer, 1},     {"[1,-+1]", NodeType::Number, 0},
  };
  for (const Case& c : cases) {
    JsonDocument document;
    ASSERT_TRUE(document.ParseA(c.text)) << c.text;
    JsonNode* array = document.GetRoot();
    JsonNode* node = array->ElementAt(array->ElementCount() - 1);
    ASSERT_NE(node, nullptr) << c.text;
    EXPECT_EQ(node->Kind(), c.kind) << c.text;
    double value = c.kind == NodeType::Number ? node->NumberValue()
                                              : static_cast<double>(node->IntegerValue());
    EXPECT_DOUBLE_EQ(value, c.value) << c.text;
  }
  // Top-level tokens are the whole text.
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("1 2 3"));
  EXPECT_EQ(TreeText(document.GetRoot()), "i1 2 3");
  EXPECT_EQ(document.GetRoot()->IntegerValue(), 1);
  ASSERT_TRUE(document.ParseA("\v-5"));
  EXPECT_DOUBLE_EQ(document.GetRoot()->NumberValue(), -5.0);
  ASSERT_TRUE(document.ParseA("\t5"));
  EXPECT_EQ(document.GetRoot()->Kind(), NodeType::Integer);
  EXPECT_EQ(document.GetRoot()->IntegerValue(), 5);
  ASSERT_TRUE(document.ParseA("true"));
  EXPECT_TRUE(document.GetRoot()->BoolValue());
}

// ParseInto keeps the root node and the kind the text leaves it with, also
// a scalar kind, and empties it on failure.
TEST(ParseIntoA, TheRootKeepsItsIdentityAndTheKindTheTextGaveIt) {
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("12"));
  JsonNode* root = document.GetRoot();
  int code = 99;
  int position = 99;

  EXPECT_TRUE(document.ParseIntoA("", false, false, &code, &position));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(document.GetRoot(), root);
  EXPECT_EQ(root->Kind(), NodeType::Integer);  // emptied: value 0, no text form
  EXPECT_EQ(root->IntegerValue(), 0);
  EXPECT_EQ(TreeText(root), "i");

  ASSERT_TRUE(document.ParseIntoA("34"));
  EXPECT_FALSE(document.ParseIntoA("abc", false, false, &code, &position));
  EXPECT_EQ(code, -6);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(TreeText(root), "i");  // the invalid token changed nothing but the emptying

  ASSERT_TRUE(document.ParseIntoA("'x'"));
  EXPECT_EQ(TreeText(root), R"("x")");
  EXPECT_TRUE(document.ParseIntoA("  "));
  EXPECT_EQ(TreeText(root), R"("")");

  ASSERT_TRUE(document.ParseIntoA("[1,2]"));
  EXPECT_FALSE(document.ParseIntoA("{'a':", false, false, &code, &position));
  EXPECT_EQ(code, -6);
  EXPECT_EQ(position, 5);
  EXPECT_EQ(TreeText(root), "{}");  // the text had made it an object

  // A missing text converts to the empty text: it parses and writes the code.
  ASSERT_TRUE(document.ParseIntoA("{'a':1}"));
  code = 99;
  position = 99;
  EXPECT_TRUE(document.ParseIntoA(nullptr, false, false, &code, &position));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(document.GetRoot(), root);
  EXPECT_EQ(TreeText(root), "{}");
}

// Emptying the root before and after a parse releases its members; one held
// elsewhere lives on outside the tree, and what the failed parse had built
// is released with the rest.
TEST(ParseIntoA, MembersHeldElsewhereOutliveTheEmptying) {
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("{'a':[1,2],'b':{'c':3}}"));
  JsonNode* root = document.GetRoot();
  JsonDocument a = JsonDocument::Sharing(root->FindMember(u"a"));
  JsonDocument c = JsonDocument::Sharing(root->FindMember(u"b")->FindMember(u"c"));

  int code = 99;
  EXPECT_FALSE(document.ParseIntoA("{'a':[9],'b':x}", false, false, &code));
  EXPECT_EQ(code, -6);
  EXPECT_EQ(TreeText(root), "{}");
  for (JsonDocument* held : {&a, &c}) {
    EXPECT_EQ(held->GetRoot()->RefCount(), 1);
    EXPECT_EQ(held->GetRoot()->Parent(), nullptr);
    EXPECT_EQ(held->GetRoot()->Key(), u"");
  }
  EXPECT_EQ(TreeText(a.GetRoot()), "[i1,i2]");
  EXPECT_EQ(TreeText(c.GetRoot()), "i3");

  // The shared node is in no container now: parsing the same key again
  // makes a new member and leaves it alone.
  ASSERT_TRUE(document.ParseIntoA("{'a':[3]}"));
  EXPECT_EQ(TreeText(root), R"({"a":[i3]})");
  EXPECT_NE(root->FindMember(u"a"), a.GetRoot());
  EXPECT_EQ(TreeText(a.GetRoot()), "[i1,i2]");
}

// ParseIntoW on a document without root gives it an empty object root
// first; an empty text then has nothing to parse.
TEST(ParseIntoW, AnEmptyTextIntoADocumentWithoutRoot) {
  JsonDocument document;
  int code = 99;
  int position = 99;
  EXPECT_FALSE(document.ParseIntoW(std::u16string_view(), false, false, &code, &position));
  EXPECT_EQ(code, -2);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(TreeText(document.GetRoot()), "{}");
}

// Escapes are resolved in one pass: texts made of nothing but escapes, in
// strings and keys, take milliseconds, not the minutes that moving the rest
// of the text for every escape would cost.
TEST(ParseA, LargeTextsOfEscapes) {
  constexpr size_t kPairs = 1 << 19;
  struct Shape {
    std::string open, unit, close;
    bool decode;
    char16_t expected;  // every unit of the result
  };
  const Shape shapes[] = {
      {"['", "\\/", "']", false, u'/'},
      {"['", "\\\\", "']", false, u'\\'},
      {"['", "\\t", "']", false, u'\t'},
      {"['", "\\u0041", "']", true, u'A'},
      {"'", "\\/", "'", false, u'/'},
      {"{'", "\\/", "':1}", false, u'/'},
  };
  for (const Shape& shape : shapes) {
    std::string text = shape.open;
    for (size_t k = 0; k < kPairs; ++k) text += shape.unit;
    text += shape.close;
    JsonDocument document;
    int code = 99;
    ASSERT_TRUE(document.ParseA(text.c_str(), shape.decode, false, &code)) << shape.unit << " " << code;
    JsonNode* root = document.GetRoot();
    std::u16string_view result = root->Kind() == NodeType::String ? root->StringValue()
                                 : root->Kind() == NodeType::Array ? root->ElementAt(0)->StringValue()
                                                                   : root->MemberAt(0)->Key();
    EXPECT_EQ(result, std::u16string(kPairs, shape.expected)) << shape.open << shape.unit;
  }
  // An object of many members that fails at its end frees them all.
  std::string members = "{";
  for (int k = 0; members.size() < (1u << 20); ++k) members += "k" + std::to_string(k) + ":'\\n',";
  members += "x}";
  JsonDocument document;
  int code = 99;
  EXPECT_FALSE(document.ParseA(members.c_str(), false, false, &code));
  EXPECT_EQ(code, -6);
  EXPECT_EQ(TreeText(document.GetRoot()), "{}");
}

}  // namespace
}  // namespace ombrelk

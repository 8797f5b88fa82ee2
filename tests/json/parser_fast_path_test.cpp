// The fast path for plain JSON text must give exactly what the tolerant
// parser gives: texts near the plain shape (converter lines, and the same
// lines broken at random) are parsed both ways and the outcomes and trees
// compared unit for unit and value for value.
#include "json/parser_fast_path.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_line.h"
#include "json/json_document.h"
#include "json/json_parser.h"
#include "tests/json/tree_text.h"

namespace ombrelk {
namespace {

// Every unit of every key, string and text form, and every value.
std::string ExactTree(const JsonNode* root) {
  std::string out;
  std::vector<const JsonNode*> pending{root};
  while (!pending.empty()) {
    const JsonNode* node = pending.back();
    pending.pop_back();
    char value[64];
    std::snprintf(value, sizeof value, "<%d %d %016llx %lld %d>", static_cast<int>(node->Kind()),
                  node->ChildCount(), static_cast<unsigned long long>(std::bit_cast<uint64_t>(node->NumberValue())),
                  static_cast<long long>(node->IntegerValue()), node->BoolValue());
    out += value;
    for (std::u16string_view text : {node->Key(), node->StringValue(), node->TextForm()}) {
      out += '|';
      for (char16_t c : text) {
        std::snprintf(value, sizeof value, "%x.", static_cast<unsigned>(c));
        out += value;
      }
    }
    out += '\n';
    for (int32_t k = node->ChildCount(); k-- > 0;) pending.push_back(node->ChildAt(k));
  }
  return out;
}

// Parses `text` with ParseText (fast path first) and with the tolerant
// parser alone, into a fresh target of `kind` each, and compares.
::testing::AssertionResult SameBothWays(std::u16string_view text, ParseOptions options, NodeType kind) {
  JsonNode* fast = kind == NodeType::Array ? NewArrayNode() : NewObjectNode();
  JsonNode* tolerant = kind == NodeType::Array ? NewArrayNode() : NewObjectNode();
  ParseOutcome a = ParseText(fast, text, options);
  ParseOutcome b = ParseTextTolerantly(tolerant, text, options);
  std::string tree_a = ExactTree(fast);
  std::string tree_b = ExactTree(tolerant);
  Release(fast);
  Release(tolerant);
  if (a.code == b.code && a.position == b.position && tree_a == tree_b) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << test::Quoted(text) << ": code " << a.code << " at " << a.position
                                       << " vs " << b.code << " at " << b.position << "\n"
                                       << tree_a << "vs\n" << tree_b;
}

// Whether the fast path alone takes the text.
bool FastPathTakes(std::u16string_view text) {
  JsonNode* target = NewObjectNode();
  std::vector<JsonNode*> stack;
  std::u16string scratch(text.size() + 2, u'\0');
  bool taken = ParsePlainJson(target, text, false, stack, scratch.data());
  Release(target);
  return taken;
}

std::vector<std::u16string> SampleTexts() {
  std::vector<std::u16string> texts = {
      u"{\"a\":1,\"b\":[true,null,\"x\"],\"c\":{\"d\":-2.5e3}}",
      u" { 'a' : 'it\"s' , \"b\" : [ 1 , 2 , ] , } ",
      u"[[],{},[[1]],{\"k\":{}},\"\\u4e2d\\n\\\\\",\"\\u00\\\"x\"]",
      u"{\"a\":1,\"a\":{\"x\":2},\"a\":[3]}",
      u"{\"k\\\"ey\":1,\"\\u0041\":2,\"a\\u0000b\":\"c\\u0000d\",\"\\n\":\"\\r\\n\"}",
      u"{\"n\":[0,-0,-0.0,007,1e22,1e23,9007199254740993.0,12345678901234567890,-,1.5e-3,.5,5.]}",
      u"[\"\u5F20\u4E09\",'\u5317\u4EAC',\"a'b\",'a\"b']",
  };
  bench::BenchLineGenerator generator;
  for (int k = 0; k < 8; ++k) {
    std::string line;
    generator.AppendLine(line);
    texts.push_back(AnsiToUtf16(line));
  }
  return texts;
}

TEST(ParsePlainJson, TakesPlainTextAndGivesUpOnTheRest) {
  for (const std::u16string& text : SampleTexts()) EXPECT_TRUE(FastPathTakes(text)) << test::Quoted(text);
  for (const char16_t* text : {u"{a:1}", u"[1 2]", u"[[1] 2]", u"[,1]", u"{\"a\":1,,\"b\":2}", u"{\"a\":1}x",
                               u"x{\"a\":1}", u"{\"a\":1}{\"b\":2}", u"{\"a\":1", u"[nul]", u"{\"a'\":1}",
                               u"{\"\":1}", u"{\"a\":}", u"[\"a\"b]", u"123", u"", u"  "}) {
    EXPECT_FALSE(FastPathTakes(text)) << test::Quoted(text);
  }
}

TEST(ParsePlainJson, GivesWhatTheTolerantParserGives) {
  std::vector<std::u16string> texts = SampleTexts();
  for (const std::u16string& text : texts) {
    for (int options = 0; options < 4; ++options) {
      for (NodeType kind : {NodeType::Object, NodeType::Array}) {
        EXPECT_TRUE(SameBothWays(text, {(options & 1) != 0, (options & 2) != 0}, kind));
      }
    }
  }
  // The same texts broken at random: units inserted, dropped and replaced,
  // mostly structural ones.
  const std::u16string alphabet = u"{}[]:,\"'\\ \t\r\nu0123456789.e-+tnfalsx\u4E2D\u005C";
  std::mt19937_64 random(7);
  int taken = 0;
  for (int round = 0; round < 30000; ++round) {
    std::u16string text = texts[random() % texts.size()];
    int edits = 1 + static_cast<int>(random() % 3);
    for (int k = 0; k < edits; ++k) {
      size_t at = random() % (text.size() + 1);
      char16_t unit = alphabet[random() % alphabet.size()];
      switch (random() % 3) {
        case 0:
          text.insert(at, 1, unit);
          break;
        case 1:
          if (at < text.size()) text.erase(at, 1);
          break;
        default:
          if (at < text.size()) text[at] = unit;
          break;
      }
    }
    ParseOptions options{random() % 2 == 0, random() % 4 == 0};
    ASSERT_TRUE(SameBothWays(text, options, random() % 4 == 0 ? NodeType::Array : NodeType::Object));
    taken += FastPathTakes(text);
  }
  EXPECT_GT(taken, 3000);  // the fast path itself was tried, not only the fallback
}

}  // namespace
}  // namespace ombrelk

// The CSV header and rows made from JSON lines, as tables of line -> text.
#include "conversion/csv_formatter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_node.h"

namespace ombrelk {
namespace {

// GBK bytes: 北京, and 嘰 whose second byte is 0x5C ('\').
#define BEIJING "\xb1\xb1\xbe\xa9"
#define JI "\x87\x5c"

struct RowCase {
  const char* name;
  std::string line;
  std::string row;
};

// Formats `line` as the run does: parse, count, FormatRow.
std::string FormatLine(CsvRowFormatter& formatter, const std::string& line) {
  JsonDocument document;
  document.ParseA(line);
  int count = document.CountAtA();
  std::string row;
  if (count >= 1) formatter.FormatRow(document, count, row);
  return row;
}

TEST(CsvRowFormatterTest, FormatRowGivesOneQuotedCellPerMember) {
  const std::vector<RowCase> cases = {
      {"six kinds", R"({"a":"x","b":2.0,"c":true,"d":null,"e":{"f":1},"g":[1,"y",null,[2]]})",
       R"("x","2.0","true","","","[1,y,,]")"},
      {"numbers as written", R"({"a":1e5,"b":-0,"c":1.50,"d":007,"e":false})",
       R"("1e5","-0","1.50","007","false")"},
      {"quotes doubled", R"({"a":"a\"b\"c","b":"\"\""})", R"("a""b""c","""""")"},
      {"arrays, each with its own elements", R"({"a":[1,2],"b":[3],"c":[]})",
       R"("[1,2]","[3]","[]")"},
      {"array elements without text", R"({"a":[[1,2],{"x":1},null,false,"q\"r"]})",
       R"("[,,,false,q""r]")"},
      {"top-level array", R"([5,"z",[6]])", R"("5","z","[6]")"},
      {"member order of the line itself", R"({"b":3,"a":4})", R"("3","4")"},
      {"commas and CR LF stay inside the quotes", "{\"a\":\"x,y\",\"b\":\"1\\n2\"}",
       "\"x,y\",\"1\r\n2\""},
      {"escape \\r\\n gives one CR LF", R"({"a":"x\r\ny"})", "\"x\r\ny\""},
      {"\\u escapes stay as written", R"({"a":"\u4e2d"})", R"("\u4e2d")"},
      {"GBK text", "{\"city\":\"" BEIJING "\"}", "\"" BEIJING "\""},
      {"GBK second byte 0x5C before the closing quote", "{\"a\":\"" JI "\",\"b\":1}",
       "\"" JI "\",\"1\""},
      {"GBK second byte 0x5C before n", "{\"a\":\"" JI "n\"}", "\"" JI "n\""},
      {"GBK inside an array", "{\"a\":[\"" JI "\",\"" BEIJING "\"]}", "\"[" JI "," BEIJING "]\""},
  };
  CsvRowFormatter formatter;
  for (const RowCase& c : cases) {
    EXPECT_EQ(FormatLine(formatter, c.line), c.row) << c.name;
  }
}

TEST(CsvRowFormatterTest, FormatRowAppendsToTheCallersRowAndLeavesTheLineAsItWas) {
  CsvRowFormatter formatter;
  JsonDocument line;
  line.ParseA(R"({"a":[1,2],"b":"x"})");
  std::string row = "kept|";
  formatter.FormatRow(line, line.CountAtA(), row);
  formatter.FormatRow(line, line.CountAtA(), row);
  EXPECT_EQ(row, R"(kept|"[1,2]","x""[1,2]","x")");
  EXPECT_EQ(line.CountAtA(), 2);
  EXPECT_EQ(line.CountAtA("[0]"), 2);
}

// The row read the long way, through the value readers and a member
// document, one "[k]" path per cell, quotes doubled afterwards.
std::string RowThroughReaders(const JsonDocument& line, int count) {
  std::string row;
  for (int k = 0; k < count; ++k) {
    const std::string path = "[" + std::to_string(k) + "]";
    std::string cell;
    if (line.TypeAtA(path.c_str()) == static_cast<int>(NodeType::Array)) {
      JsonDocument member = line.MemberAtA(nullptr, k);
      cell = "[";
      for (int l = 0; l < member.CountAtA(); ++l) {
        if (l > 0) cell += ",";
        cell += member.TextAtA(("[" + std::to_string(l) + "]").c_str());
      }
      cell += "]";
    } else {
      cell = line.TextAtA(path.c_str());
    }
    if (k > 0) row += ",";
    row += "\"";
    for (char c : cell) row += c == '"' ? std::string("\"\"") : std::string(1, c);
    row += "\"";
  }
  return row;
}

// Texts of every length around the blocks the conversion takes at a time,
// with quotes, GBK and escapes at the block edges.
TEST(CsvRowFormatterTest, FormatRowGivesWhatTheReadersGive) {
  std::vector<std::string> lines = {
      R"({"a":"x","b":2.0,"c":true,"d":null,"e":{"f":1},"g":[1,"y",null,[2]]})",
      R"([[],{},null,"",[""],["\"",[[]]]])",
      "{\"a\":\"" BEIJING "\\\"" JI "\",\"b\":[\"" JI "\\n\",\"\\u0000\"]}",
      "{\"euro\":\"\x80\",\"pua\":\"\xff\",\"bad\":\"\x81\x20x\"}",
  };
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at : {size_t{0}, size_t{6}, size_t{7}, size_t{8}, size_t{15}, size_t{16}, length}) {
      for (const char* odd : {"\\\"", BEIJING, "\\r\\n"}) {
        std::string text(length, 'a');
        if (at <= length) text.insert(at, odd);
        lines.push_back("{\"s\":\"" + text + "\",\"t\":[\"" + text + "\",\"" + text + "\"],\"u\":7}");
      }
    }
  }
  CsvRowFormatter formatter;
  for (const std::string& text : lines) {
    JsonDocument line;
    line.ParseA(text);
    const int count = line.CountAtA();
    ASSERT_GE(count, 1) << text;
    for (int n : {count, count + 2}) {  // members beyond the last give empty cells
      std::string row;
      formatter.FormatRow(line, n, row);
      EXPECT_EQ(row, RowThroughReaders(line, n)) << text << " n=" << n;
    }
  }
}

// Texts no parsed line holds: a zero unit (the readers end the text there),
// characters without a GBK form and lone surrogates, best fits; a scalar root
// and no root at all.
TEST(CsvRowFormatterTest, FormatRowReadsBuiltTreesAsTheReadersDo) {
  JsonNode* root = NewObjectNode();
  SetMember(root, u"zero", NewStringNode(u"ab\0\"c", 5));
  std::u16string unmapped = u"\"\U0001F600\xB2\xC0\u20AC?x\"xxxxxxxxxxx\"";
  unmapped[6] = 0xD800;  // a lone high surrogate
  SetMember(root, u"unmapped", NewStringNode(unmapped));
  JsonNode* array = NewArrayNode();
  AppendElement(array, NewStringNode(u"\0"));
  AppendElement(array, NewNumberNode(1e20));
  AppendElement(array, NewIntegerNode(-5));
  SetMember(root, u"array", array);
  SetMember(root, u"later zero", NewStringNode(u"0123456789\0abcdefghij\"", 22));
  JsonDocument line;
  line.SetRoot(root);
  Release(root);

  JsonNode* scalar = NewStringNode(u"alone");
  JsonDocument scalar_line;
  scalar_line.SetRoot(scalar);
  Release(scalar);

  JsonDocument no_root;

  CsvRowFormatter formatter;
  for (const JsonDocument* document : {&line, &scalar_line, &no_root}) {
    std::string row;
    formatter.FormatRow(*document, 6, row);
    EXPECT_EQ(row, RowThroughReaders(*document, 6));
  }
  std::string row;
  formatter.FormatRow(line, 4, row);
  EXPECT_EQ(row,
            "\"ab\",\"\"\"??2\xa8\xa4\x80?x\"\"xxxxxxxxxxx\"\"\",\"[,1e+020,-5]\",\"0123456789\"");
}

TEST(CsvRowFormatterTest, BuildHeaderJoinsTheFirstLinesKeys) {
  struct HeaderCase {
    const char* name;
    std::string line;
    std::string header;
  };
  const std::vector<HeaderCase> cases = {
      {"plain keys", R"({"id":7,"name":"hi"})", "id,name"},
      {"GBK key", "{\"" BEIJING "\":1,\"" JI "\":2}", BEIJING "," JI},
      {"key with a comma", R"({"x,y":1,"z":2})", "\"x,y\",z"},
      {"key with a quote", R"({"a\"b":1})", "\"a\"\"b\""},
      {"key with a line break", R"({"l\nm":1,"n\r":2})", "\"l\r\nm\",\"n\r\""},
      {"top-level array", R"([1,2])", ""},
      {"empty object", "{}", ""},
      {"invalid JSON", "not json", ""},
      {"empty line", "", ""},
  };
  CsvRowFormatter formatter;
  for (const HeaderCase& c : cases) {
    EXPECT_EQ(formatter.BuildHeader(c.line), c.header) << c.name;
  }
}

}  // namespace
}  // namespace ombrelk

// The value readers of JsonDocument and path resolution, each reader in its
// A form (GBK path) and W form (UTF-16 path).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/json_node.h"
#include "json/json_path.h"

namespace ombrelk {
namespace {

std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

JsonDocument Parsed(const char* text) {
  JsonDocument doc;
  int code = 1;
  doc.ParseA(text, false, false, &code);
  EXPECT_EQ(code, 0) << text;
  return doc;
}

// The converter's example line: a, the string x; b, null; c, the number
// written 1.50; d, an array of 1, y and null; e, an empty object.
constexpr const char* kLine = R"({"a":"x","b":null,"c":1.50,"d":[1,"y",null],"e":{}})";

// --------------------------------------------------------------- Resolution

struct ResolveCase {
  const char* path;
  int type;          // -1: nothing found
  const char* text;  // what TextAtA gives
  bool exists;
};

TEST(ResolveForRead, TableOfPaths) {
  // Members in order: a b c d e a.b f a\q 1
  JsonDocument doc = Parsed(
      R"({"a":"x","b":null,"c":1.50,"d":[1,"y",null],"e":{},"a.b":"dotted",)"
      R"("f":{"b":"inner","g":[[10,11],[20,21]]},"a\\q":"bs","1":{"5":"x1","6":"x2"}})");
  const ResolveCase cases[] = {
      {"", 6, "", false},  // no steps: the root, which "exists" does not count
      {".", 6, "", false},
      {"a", 4, "x", true},
      {"[0]", 4, "x", true},  // an index on an object: its member at that position
      {"[1]", 0, "", true},
      {"[2]", 1, "1.50", true},
      {"[8]", 6, "", true},
      {"[9]", -1, "", false},  // index equal to the member count
      {"[-1]", -1, "", false},
      {"[4294967296]", -1, "", false},  // too large: does not wrap round to [0]
      {"[-4294967296]", -1, "", false},
      {"d[4294967297]", -1, "", false},
      {"d[1]", 4, "y", true},
      {"[3][0]", 2, "1", true},
      {"d[3]", -1, "", false},
      {"d[-1]", -1, "", false},
      {"d.x", -1, "", false},  // a key on an array
      {"a[0]", -1, "", false},  // an index on a string
      {"e[0]", -1, "", false},  // an index on an empty object
      {"a\\.b", 4, "dotted", true},
      {"a.b", -1, "", false},  // member b inside member a
      {"a..b", -1, "", false},
      {"f..b", 4, "inner", true},
      {"[6].b", 4, "inner", true},
      {"[6]b", 4, "inner", true},
      {"f.g[1][0]", 2, "20", true},
      {"f.g[1]]", 2, "21", true},  // '[1]]' is index 1 twice
      {"f]b", 0, "", true},        // 'f]b' is key b: the root's null
      {"[]", 4, "x", true},
      {"a\\q", 4, "bs", true},
      {"[1.5]", 4, "x2", true},  // key 1, then index 1
      {"zz.a", -1, "", false},   // the first step fails, though 'a' exists
  };
  for (const ResolveCase& c : cases) {
    std::u16string w = Widen(c.path);
    EXPECT_EQ(doc.TypeAtA(c.path), c.type) << c.path;
    EXPECT_EQ(doc.TypeAtW(w), c.type) << c.path;
    EXPECT_EQ(doc.TextAtA(c.path), c.text) << c.path;
    EXPECT_EQ(doc.ExistsA(c.path), c.exists) << c.path;
    EXPECT_EQ(doc.ExistsW(w), c.exists) << c.path;
  }
}

TEST(ResolveForRead, IndexAndKeyFindTheSameNodeWithoutTakingAReference) {
  JsonDocument doc = Parsed(kLine);
  JsonNode* root = doc.GetRoot();
  JsonNode* by_index = ResolveForReadA(root, "[0]");
  ASSERT_NE(by_index, nullptr);
  EXPECT_EQ(by_index, ResolveForReadA(root, "a"));
  EXPECT_EQ(by_index, ResolveForRead(root, u"[0]"));
  EXPECT_EQ(ResolveForReadA(root, ""), root);
  EXPECT_EQ(by_index->RefCount(), 1);
  EXPECT_EQ(ResolveForReadA(nullptr, ""), nullptr);
}

TEST(ResolveForRead, DocumentWithoutRootFindsNothing) {
  JsonDocument doc = Parsed(kLine);
  doc.Clear();
  for (const char* path : {"", ".", "a", "[0]"}) {
    EXPECT_EQ(doc.TypeAtA(path), -1) << path;
    EXPECT_EQ(doc.CountAtA(path), 0) << path;
    EXPECT_FALSE(doc.ExistsA(path)) << path;
    EXPECT_EQ(doc.MemberAtA(path, 0).GetRoot(), nullptr) << path;
  }
  EXPECT_EQ(doc.TypeAtW(), -1);
}

TEST(ResolveForRead, WidePathEndsAtItsFirstZero) {
  JsonDocument doc = Parsed(kLine);
  EXPECT_EQ(doc.TextAtW(std::u16string_view(u"a\0d", 3)), u"x");
  EXPECT_EQ(doc.TypeAtW(std::u16string_view(u"\0d", 2)), 6);  // empty: the root
}

// --------------------------------------------------------------- Kind by kind

struct KindCase {
  const char* path;
  int type;
  int count;
  const char* text;       // TextAtA
  const char* text_form;  // TextFormAtA
  bool truth;             // BoolAtA
  double number;          // NumberAtA
  int64_t int64;          // Int64AtA
  int32_t int32;          // IntAtA
};

TEST(ValueReaders, KindByKind) {
  JsonDocument doc = Parsed(
      R"({"s":"x","n":null,"f":1.50,"i":-12,"big":4294967296,"big1":4294967297,)"
      R"("neg":-2.9,"tiny":1e-8,"edge":1e-7,"above":1.5e-7,"t":true,"no":false,)"
      R"("st":"true","s127":"12.7","sabc":"abc","sneg":"-7x","arr":[1,"y",null],)"
      R"("obj":{"k":1},"eo":{},"ea":[],"exp":1e5,"mz":-0,"wide":3000000000.7,"huge":1e300})");
  const KindCase cases[] = {
      {"s", 4, 0, "x", "", false, 0, 0, 0},
      {"n", 0, 0, "", "null", false, 0, 0, 0},
      {"f", 1, 0, "1.50", "1.50", true, 1.5, 1, 1},
      {"i", 2, 0, "-12", "-12", true, -12, -12, -12},
      {"big", 2, 0, "4294967296", "4294967296", true, 4294967296.0, 4294967296, 0},
      {"big1", 2, 0, "4294967297", "4294967297", true, 4294967297.0, 4294967297, 1},
      {"neg", 1, 0, "-2.9", "-2.9", true, -2.9, -2, -2},
      {"tiny", 1, 0, "1e-8", "1e-8", false, 1e-8, 0, 0},
      {"edge", 1, 0, "1e-7", "1e-7", false, 1e-7, 0, 0},  // strictly greater than 1e-7
      {"above", 1, 0, "1.5e-7", "1.5e-7", true, 1.5e-7, 0, 0},
      {"t", 3, 0, "true", "true", true, 1, 1, 1},
      {"no", 3, 0, "false", "false", false, 0, 0, 0},
      {"st", 4, 0, "true", "", false, 0, 0, 0},  // a string never reads as true
      {"s127", 4, 0, "12.7", "", false, 12.7, 12, 12},
      {"sabc", 4, 0, "abc", "", false, 0, 0, 0},
      {"sneg", 4, 0, "-7x", "", false, -7, -7, -7},
      {"arr", 5, 3, "", "", false, 0, 0, 0},
      {"obj", 6, 1, "", "", false, 0, 0, 0},
      {"eo", 6, 0, "", "", false, 0, 0, 0},
      {"ea", 5, 0, "", "", false, 0, 0, 0},
      {"exp", 1, 0, "1e5", "1e5", true, 1e5, 100000, 100000},
      {"mz", 2, 0, "-0", "-0", false, 0, 0, 0},
      // A floating value keeps the low 32 bits of its truncation.
      {"wide", 1, 0, "3000000000.7", "3000000000.7", true, 3000000000.7, 3000000000, -1294967296},
      // Beyond the 64-bit range: the x86 "integer indefinite".
      {"huge", 1, 0, "1e300", "1e300", true, 1e300, INT64_MIN, 0},
      {"nothing", -1, 0, "", "", false, 0, 0, 0},
      {"s.x", -1, 0, "", "", false, 0, 0, 0},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.path);
    std::u16string w = Widen(c.path);
    EXPECT_EQ(doc.TypeAtA(c.path), c.type);
    EXPECT_EQ(doc.TypeAtW(w), c.type);
    EXPECT_EQ(doc.CountAtA(c.path), c.count);
    EXPECT_EQ(doc.CountAtW(w), c.count);
    EXPECT_EQ(doc.TextAtA(c.path), c.text);
    EXPECT_EQ(doc.TextAtW(w), Widen(c.text));
    EXPECT_EQ(doc.TextFormAtA(c.path), c.text_form);
    EXPECT_EQ(doc.TextFormAtW(w), Widen(c.text_form));
    EXPECT_EQ(doc.BoolAtA(c.path), c.truth);
    EXPECT_EQ(doc.BoolAtW(w), c.truth);
    EXPECT_DOUBLE_EQ(doc.NumberAtA(c.path), c.number);
    EXPECT_DOUBLE_EQ(doc.NumberAtW(w), c.number);
    EXPECT_EQ(doc.Int64AtA(c.path), c.int64);
    EXPECT_EQ(doc.Int64AtW(w), c.int64);
    EXPECT_EQ(doc.IntAtA(c.path), c.int32);
    EXPECT_EQ(doc.IntAtW(w), c.int32);

    std::string appended = "<";
    EXPECT_EQ(AppendTextAtA(doc, c.path, appended), c.type);
    EXPECT_EQ(appended, std::string("<") + c.text);
  }
}

TEST(ValueReaders, RawNodeHasOnlyItsTextForm) {
  JsonNode* raw = NewRawNode(u"[1, 2]");
  JsonDocument doc;
  doc.SetRoot(raw);
  Release(raw);
  EXPECT_EQ(doc.TypeAtA(), -1);
  EXPECT_EQ(doc.TextAtA(), "");
  EXPECT_EQ(doc.TextFormAtA(), "[1, 2]");
  EXPECT_EQ(doc.TextFormAtW(), u"[1, 2]");
  EXPECT_FALSE(doc.BoolAtA());
  EXPECT_EQ(doc.NumberAtA(), 0);
  EXPECT_EQ(doc.CountAtA(), 0);
}

TEST(ValueReaders, NumbersFromStringsFoldFullWidthForms) {
  // Code page 936 texts: full-width digits, signs and points are A3A1..A3FE,
  // the ideographic space is A1A1.
  JsonDocument doc = Parsed(
      "{\"a\":\"\xA3\xB1\xA3\xB2\xA3\xAE\xA3\xB5\","        // １２．５
      "\"b\":\"\xA3\xAD\xA3\xB3\xA3\xE5\xA3\xB2\","         // －３ｅ２
      "\"c\":\"\xA1\xA1\xA3\xAB\xA3\xB7\","                  // 　＋７
      "\"d\":\"\xA3\xB4" "2\xA3\xAE" "5\","                  // ４2．5
      "\"e\":\"\xD6\xD0" "1\"}");                            // 中1: nothing to read
  const struct {
    const char* path;
    double number;
  } cases[] = {{"a", 12.5}, {"b", -300}, {"c", 7}, {"d", 42.5}, {"e", 0}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(doc.NumberAtA(c.path), c.number) << c.path;
    EXPECT_DOUBLE_EQ(doc.NumberAtW(Widen(c.path)), c.number) << c.path;
  }
}

// --------------------------------------------------------------- Keys and members

TEST(ValueReaders, KeysAndMembers) {
  JsonDocument doc = Parsed(R"({"a":"x","b":null,"c":1.50,"d":[1,"y",null],"e":{},"a.b":7})");
  EXPECT_EQ(doc.KeyAtA("[0]"), "a");
  EXPECT_EQ(doc.KeyAtW(u"[3]"), u"d");
  EXPECT_EQ(doc.KeyAtA("a\\.b"), "a.b");
  EXPECT_EQ(doc.KeyAtA("d[0]"), "");  // an array element has no key
  EXPECT_EQ(doc.KeyAtA(""), "");      // nor has the root
  EXPECT_EQ(doc.KeyAtA("zz"), "");

  // The key is a plain key: a.b is the member named so, not b inside a.
  EXPECT_EQ(doc.MemberByKeyA(nullptr, "a.b").TextAtA(), "7");
  EXPECT_EQ(doc.MemberByKeyW(u"", u"d").CountAtA(), 3);
  EXPECT_EQ(doc.MemberByKeyA("d", "0").GetRoot(), nullptr);  // not an object
  EXPECT_EQ(doc.MemberByKeyA(nullptr, "zz").GetRoot(), nullptr);
  EXPECT_EQ(doc.MemberByKeyA(nullptr, nullptr).GetRoot(), nullptr);

  EXPECT_EQ(doc.MemberAtA(nullptr, 0).TextAtA(), "x");
  EXPECT_EQ(doc.MemberAtA("d", 1).TextAtA(), "y");
  EXPECT_EQ(doc.MemberAtW(u"d", 2).TypeAtA(), 0);
  for (int index : {-1, 3}) EXPECT_EQ(doc.MemberAtA("d", index).GetRoot(), nullptr) << index;
  EXPECT_EQ(doc.MemberAtA("a", 0).GetRoot(), nullptr);  // a string has no children

  EXPECT_EQ(doc.ParentAtA().GetRoot(), nullptr);  // the root has no container
  EXPECT_EQ(doc.ParentAtA("a").GetRoot(), doc.GetRoot());
  EXPECT_EQ(doc.ParentAtW(u"d[1]").GetRoot(), doc.MemberAtA(nullptr, 3).GetRoot());
  EXPECT_EQ(doc.ParentAtA("zz").GetRoot(), nullptr);
}

TEST(ValueReaders, KeysAtFillsInInsertionOrderOnlyForObjects) {
  JsonDocument doc = Parsed(R"({"e":1,"a":2,"d":[1,2],"b":{},"c":{"x":1}})");
  std::vector<std::string> keys = {"old"};
  EXPECT_EQ(doc.KeysAtA(keys), 5);
  EXPECT_EQ(keys, (std::vector<std::string>{"e", "a", "d", "b", "c"}));

  std::vector<std::u16string> wide_keys;
  EXPECT_EQ(doc.KeysAtW(u"c", wide_keys), 1);
  EXPECT_EQ(wide_keys, std::vector<std::u16string>{u"x"});

  keys = {"old"};
  EXPECT_EQ(doc.KeysAtA("d", keys), 0);  // an array: the list stays as it was
  EXPECT_EQ(keys, std::vector<std::string>{"old"});
  EXPECT_EQ(doc.KeysAtA("zz", keys), 0);
  EXPECT_EQ(keys, std::vector<std::string>{"old"});
  EXPECT_EQ(doc.KeysAtA("b", keys), 0);  // an empty object empties it
  EXPECT_TRUE(keys.empty());
}

TEST(ValueReaders, ValuesAtSharesEveryChildOrLeavesTheListAlone) {
  JsonDocument doc = Parsed(R"({"a":"x","d":[1,"y",null],"ea":[],"eo":{}})");
  std::vector<JsonDocument> values = {JsonDocument(doc)};
  for (const char* path : {"ea", "eo", "a", "zz"}) {
    EXPECT_EQ(doc.ValuesAtA(path, values), 0) << path;
    ASSERT_EQ(values.size(), 1u) << path;
    EXPECT_EQ(values[0].GetRoot(), doc.GetRoot()) << path;
  }
  EXPECT_EQ(doc.ValuesAtW(u"d", values), 3);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[1].TextAtA(), "y");
  EXPECT_EQ(values[1].GetRoot(), ResolveForReadA(doc.GetRoot(), "d[1]"));
  EXPECT_EQ(doc.ValuesAtA(values), 4);
  EXPECT_EQ(values[1].CountAtA(), 3);

  // The list may hold the very document being read.
  std::vector<JsonDocument> self = {JsonDocument(doc)};
  EXPECT_EQ(self[0].ValuesAtA("d", self), 3);
  EXPECT_EQ(self[2].TypeAtA(), 0);
}

// --------------------------------------------------------------- Shared documents

TEST(SharedDocuments, OutliveAClearedSource) {
  JsonDocument source = Parsed(kLine);
  JsonDocument member = source.MemberAtA(nullptr, 3);
  JsonDocument by_key = source.MemberByKeyA(nullptr, "a");
  JsonDocument parent = source.ParentAtA("d[0]");
  std::vector<JsonDocument> values;
  ASSERT_EQ(source.ValuesAtA(values), 5);

  JsonNode* d = member.GetRoot();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->RefCount(), 4);  // its object, member, parent, values[3]
  EXPECT_EQ(member.KeyAtA(), "d");
  EXPECT_EQ(member.ParentAtA().GetRoot(), source.GetRoot());

  source.Clear();

  EXPECT_EQ(member.CountAtA(), 3);
  EXPECT_EQ(member.TextAtA("[1]"), "y");
  EXPECT_EQ(parent.TextAtA("[1]"), "y");
  EXPECT_EQ(by_key.TextAtA(), "x");
  EXPECT_EQ(values[2].TextAtA(), "1.50");
  EXPECT_EQ(values[3].GetRoot(), d);
  EXPECT_EQ(d->RefCount(), 3);
  // Its object is gone: it has no key and no container any more.
  EXPECT_EQ(member.KeyAtA(), "");
  EXPECT_EQ(member.ParentAtA().GetRoot(), nullptr);
  // Its own children still have their container.
  EXPECT_EQ(member.ParentAtA("[0]").GetRoot(), d);
}

// --------------------------------------------------------------- GBK texts

TEST(ValueReaders, GbkTextsRoundTripThroughTheAForms) {
  // Characters whose second byte is '\', '[', ']', '{' or '}' in ASCII.
  const std::string tricky = "\x87\x5c" "\x81\x5b" "\x81\x5d" "\x81\x7b" "\x81\x7d";
  const std::string zhang_wei = "\xD5\xC5\xCE\xB0";                    // 张伟
  const std::string beijing = "\xB1\xB1\xBE\xA9 \xC9\xCF\xBA\xA3";     // 北京 上海
  const std::string name = "\xC3\xFB\xD7\xD6";                         // 名字
  const std::string line = "{\"" + name + "\":\"" + zhang_wei + "\",\"city\":\"" + beijing +
                           "\",\"" + tricky + "\":\"C:\\\\" + tricky + ".json\"}";
  JsonDocument doc = Parsed(line.c_str());
  ASSERT_EQ(doc.CountAtA(), 3);

  EXPECT_EQ(doc.TextAtA(name.c_str()), zhang_wei);
  EXPECT_EQ(doc.TextAtA("[0]"), zhang_wei);
  EXPECT_EQ(doc.TextAtW(u"[0]"), u"张伟");
  EXPECT_EQ(doc.TextAtA("city"), beijing);
  EXPECT_EQ(doc.TextAtA(tricky.c_str()), "C:\\" + tricky + ".json");
  EXPECT_EQ(doc.TextAtA("[2]"), "C:\\" + tricky + ".json");
  EXPECT_EQ(doc.MemberByKeyA(nullptr, tricky.c_str()).TextAtA(), "C:\\" + tricky + ".json");
  EXPECT_EQ(doc.KeyAtA("[2]"), tricky);

  std::vector<std::string> keys;
  EXPECT_EQ(doc.KeysAtA(keys), 3);
  EXPECT_EQ(keys, (std::vector<std::string>{name, "city", tricky}));

  std::string appended;
  EXPECT_EQ(AppendTextAtA(doc, "[1]", appended), 4);
  EXPECT_EQ(appended, beijing);
}

}  // namespace
}  // namespace ombrelk

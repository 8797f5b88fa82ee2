// Nodes: constructors and their text forms, setters, emptying, kind
// conversion, attaching and detaching, and reference counting across trees.
#include "json/json_node.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/json/tree_text.h"

namespace ombrelk {
namespace {

using test::TreeText;

TEST(NewNumberNode, TextFormIsTheGivenTextOrThirteenSignificantDigits) {
  struct Case {
    double value;
    std::u16string text;
    std::u16string form;
  };
  const Case cases[] = {
      {0.1, u"", u"0.1"},
      {1e20, u"", u"1e+020"},
      {0.00001, u"", u"1e-005"},
      {2500, u"", u"2500"},
      {-2.5, u"", u"-2.5"},
      {1.0 / 3.0, u"", u"0.3333333333333"},
      {1234567890123456.0, u"", u"1.234567890123e+015"},
      {1.5, u"1.50", u"1.50"},
      {7, std::u16string(u"7.0\0zz", 6), u"7.0"},  // the text ends at its first zero
  };
  for (const Case& c : cases) {
    JsonNode* node = NewNumberNode(c.value, c.text);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Kind(), NodeType::Number);
    EXPECT_EQ(node->NumberValue(), c.value);
    EXPECT_EQ(node->TextForm(), c.form) << c.value;
    EXPECT_EQ(node->RefCount(), 1);
    EXPECT_EQ(node->Parent(), nullptr);
    Release(node);
  }
}

TEST(NodeConstructors, KindsValuesAndTextForms) {
  JsonNode* integer = NewIntegerNode(-5);
  EXPECT_EQ(TreeText(integer), "i-5");
  EXPECT_EQ(integer->IntegerValue(), -5);
  JsonNode* written = NewIntegerNode(7, u"007");
  EXPECT_EQ(TreeText(written), "i007");
  JsonNode* null = NewNullNode();
  EXPECT_EQ(TreeText(null), "null");
  JsonNode* yes = NewBoolNode(true);
  JsonNode* no = NewBoolNode(false);
  EXPECT_EQ(TreeText(yes) + TreeText(no), "truefalse");
  EXPECT_TRUE(yes->BoolValue());
  JsonNode* text = NewStringNode(u"ab\0cd");  // up to the first zero
  EXPECT_EQ(text->StringValue(), u"ab");
  EXPECT_EQ(text->TextForm(), u"");
  JsonNode* counted = NewStringNode(u"ab\0cd", 5);  // exactly the count
  EXPECT_EQ(counted->StringValue(), std::u16string_view(u"ab\0cd", 5));
  JsonNode* gbk = NewStringNodeA("\xD6\xD0\xCE\xC4");
  EXPECT_EQ(gbk->StringValue(), u"\u4E2D\u6587");
  JsonNode* empty = NewStringNode(u"");
  EXPECT_EQ(empty->Kind(), NodeType::String);
  EXPECT_EQ(empty->StringValue(), u"");
  JsonNode* raw = NewRawNode(u"[1, 2]");
  EXPECT_EQ(raw->Kind(), NodeType::Raw);
  EXPECT_EQ(raw->TextForm(), u"[1, 2]");
  for (JsonNode* node : {integer, written, null, yes, no, text, counted, gbk, empty, raw}) {
    EXPECT_EQ(Release(node), 0);
  }
}

TEST(Setters, KeepIdentityPlaceAndKey) {
  JsonNode* parent = NewObjectNode();
  JsonNode* child = NewObjectNode();
  JsonNode* shared = NewStringNode(u"kept");
  SetMember(child, u"s", shared);
  AddReference(shared);  // held elsewhere too
  SetMember(child, u"t", NewIntegerNode(1));
  SetMember(parent, u"first", NewNullNode());
  SetMember(parent, u"child", child);
  SetMember(parent, u"last", NewNullNode());

  EXPECT_TRUE(AssignBool(child, true));  // releases every member
  EXPECT_EQ(TreeText(parent), R"({"first":null,"child":true,"last":null})");
  EXPECT_EQ(parent->MemberAt(1), child);
  EXPECT_EQ(child->Key(), u"child");
  EXPECT_EQ(child->Parent(), parent);
  EXPECT_EQ(shared->RefCount(), 1);  // lives on, out of its container
  EXPECT_EQ(shared->Parent(), nullptr);
  EXPECT_EQ(shared->Key(), u"");
  EXPECT_EQ(shared->StringValue(), u"kept");

  EXPECT_TRUE(AssignNumber(child, 1e20));
  EXPECT_EQ(TreeText(child), "n1e+020");
  EXPECT_TRUE(AssignInteger(child, INT64_MIN));
  EXPECT_EQ(TreeText(child), "i-9223372036854775808");
  EXPECT_TRUE(AssignInteger32(child, INT32_MIN));
  EXPECT_EQ(TreeText(child), "i-2147483648");
  EXPECT_TRUE(AssignString(child, u"x"));
  EXPECT_TRUE(AssignStringA(child, "\x81\x5C"));
  EXPECT_EQ(TreeText(child), R"("\u4E57")");
  EXPECT_TRUE(AssignNull(child));
  EXPECT_EQ(TreeText(parent), R"({"first":null,"child":null,"last":null})");
  EXPECT_FALSE(AssignNull(nullptr));

  Release(shared);
  Release(parent);
}

TEST(ClearAndFree, KeepTheKind) {
  JsonNode* number = NewNumberNode(2.5, u"2.50");
  FreeContents(number);  // only the text form goes
  EXPECT_EQ(number->Kind(), NodeType::Number);
  EXPECT_EQ(number->NumberValue(), 2.5);
  EXPECT_EQ(number->TextForm(), u"");
  ClearContents(number);  // the value too
  EXPECT_EQ(number->NumberValue(), 0.0);

  JsonNode* text = NewStringNode(u"abc");
  ClearContents(text);
  EXPECT_EQ(text->Kind(), NodeType::String);
  EXPECT_EQ(text->StringValue(), u"");

  JsonNode* object = NewObjectNode();
  for (int k = 0; k < 40; ++k) SetMember(object, u"k" + std::u16string(1, u'A' + k), NewNullNode());
  EXPECT_EQ(object->Table()->bucket_count, 95);
  ClearContents(object);  // members gone, the grown table stays
  EXPECT_EQ(object->MemberCount(), 0);
  EXPECT_EQ(object->Table()->bucket_count, 95);

  JsonNode* array = NewArrayNode();
  AppendElement(array, NewNullNode());
  FreeContents(array);  // no list: empty, and nothing can be added
  EXPECT_EQ(array->Kind(), NodeType::Array);
  EXPECT_EQ(array->ElementCount(), 0);
  JsonNode* orphan = NewNullNode();
  EXPECT_FALSE(AppendElement(array, orphan));
  EXPECT_EQ(orphan->Parent(), nullptr);

  for (JsonNode* node : {number, text, object, array, orphan}) Release(node);
}

TEST(KindConversion, KeepsOrReplacesContents) {
  JsonNode* array = NewArrayNode();
  AppendElement(array, NewIntegerNode(1));
  EXPECT_TRUE(ConvertToArray(array));
  EXPECT_EQ(TreeText(array), "[i1]");
  EXPECT_TRUE(ConvertToObject(array));
  EXPECT_EQ(TreeText(array), "{}");

  JsonNode* text = NewStringNode(u"abc");
  EXPECT_TRUE(ConvertToArray(text));
  EXPECT_EQ(TreeText(text), "[]");
  EXPECT_FALSE(ConvertToArray(nullptr));
  EXPECT_FALSE(ConvertToObject(nullptr));

  // AppendElement and SetMember convert first.
  JsonNode* number = NewNumberNode(1.5);
  EXPECT_TRUE(AppendElement(number, NewNullNode()));
  EXPECT_EQ(TreeText(number), "[null]");
  EXPECT_TRUE(SetMember(number, u"a", NewNullNode()));
  EXPECT_EQ(TreeText(number), R"({"a":null})");
  EXPECT_FALSE(SetMember(number, u"b", nullptr));
  EXPECT_FALSE(AppendElement(nullptr, number));
  for (JsonNode* node : {array, text, number}) Release(node);
}

TEST(SetMember, ReplacesInPlaceAndReleasesTheOldMember) {
  JsonNode* object = NewObjectNode();
  JsonNode* old = NewIntegerNode(1);
  SetMember(object, u"a", old);
  SetMember(object, u"b", NewIntegerNode(2));
  AddReference(old);
  JsonNode* replacement = NewIntegerNode(3);
  EXPECT_TRUE(SetMember(object, u"a", replacement));
  EXPECT_EQ(TreeText(object), R"({"a":i3,"b":i2})");
  EXPECT_EQ(old->RefCount(), 1);
  EXPECT_EQ(old->Parent(), nullptr);
  EXPECT_EQ(old->Key(), u"");
  EXPECT_EQ(replacement->Parent(), object);
  // Storing the member that is already there hands over one reference.
  AddReference(replacement);
  EXPECT_TRUE(SetMember(object, u"a", replacement));
  EXPECT_EQ(replacement->RefCount(), 1);
  EXPECT_EQ(TreeText(object), R"({"a":i3,"b":i2})");
  Release(old);
  Release(object);
}

TEST(DetachFromParent, TakesTheNodeOutOfItsContainer) {
  JsonNode* object = NewObjectNode();
  JsonNode* array = NewArrayNode();
  JsonNode* a = NewNullNode();
  JsonNode* e = NewNullNode();
  SetMember(object, u"a", a);
  SetMember(object, u"b", array);
  AppendElement(array, NewIntegerNode(1));
  AppendElement(array, e);
  AppendElement(array, NewIntegerNode(3));

  DetachFromParent(a);  // the caller now owns the table's reference
  EXPECT_EQ(a->Parent(), nullptr);
  EXPECT_EQ(a->Key(), u"");
  EXPECT_EQ(object->FindMember(u"a"), nullptr);
  DetachFromParent(e);
  EXPECT_EQ(TreeText(object), R"({"b":[i1,i3]})");
  DetachFromParent(e);  // no parent: nothing
  EXPECT_EQ(Release(a), 0);
  EXPECT_EQ(Release(e), 0);
  Release(object);
}

// A member shared through a second holder outlives its tree; afterwards its
// parent link and key lead nowhere, and its own release finds no parent.
TEST(References, AMemberHeldElsewhereOutlivesItsTree) {
  JsonNode* root = NewObjectNode();
  JsonNode* member = NewObjectNode();
  SetMember(member, u"x", NewIntegerNode(1));
  SetMember(root, u"m", member);
  SetMember(root, u"other", NewArrayNode());
  EXPECT_EQ(AddReference(member), 2);

  EXPECT_EQ(Release(root), 0);
  EXPECT_EQ(member->RefCount(), 1);
  EXPECT_EQ(member->Parent(), nullptr);
  EXPECT_EQ(member->Key(), u"");
  EXPECT_EQ(TreeText(member), R"({"x":i1})");
  EXPECT_EQ(Release(member), 0);
}

TEST(References, NodeOperationsWithoutNode) {
  EXPECT_EQ(AddReference(nullptr), 0);
  EXPECT_EQ(Release(nullptr), 0);
  EXPECT_EQ(Query(nullptr, nullptr, nullptr), 1);
  FreeContents(nullptr);
  ClearContents(nullptr);
  DetachFromParent(nullptr);
}

TEST(TextHelpers, ConvertWithCodePage936) {
  EXPECT_EQ(AnsiToUtf16(nullptr), u"");
  EXPECT_EQ(AnsiToUtf16(""), u"");
  EXPECT_EQ(AnsiToUtf16("a\xD6\xD0\x80"), u"a\u4E2D\u20AC");
  EXPECT_EQ(AnsiToUtf16(std::string_view("ab\0cd", 5)), u"ab");
  EXPECT_EQ(Utf16ToAnsi(u"\u4E2D\u6587"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(Utf16ToAnsi(std::u16string_view(u"a\0b", 3)), "a");
  EXPECT_EQ(CopyUtf16(std::u16string_view(u"a\0b", 3)), u"a");
  std::u16string reused = u"old contents";
  AnsiToUtf16("x", reused);
  EXPECT_EQ(reused, u"x");
}

}  // namespace
}  // namespace ombrelk

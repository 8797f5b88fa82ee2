// Text forms made from values, at the edges of "%.13g" with its three-digit
// exponent: where the exponent form starts and stops, rounding that moves
// the exponent, exponents that already have three digits, signs and zero.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "json/json_node.h"
#include "tests/json/tree_text.h"

namespace ombrelk {
namespace {

TEST(NewNumberNode, TextFormsAtTheEdgesOfThirteenDigits) {
  struct Case {
    double value;
    const char16_t* form;
  };
  const Case cases[] = {
      {0.0001, u"0.0001"},                  // exponent -4: still plain
      {0.00009999, u"9.999e-005"},          // below -4: exponent form
      {1.234e-5, u"1.234e-005"},
      {1e12, u"1000000000000"},             // exponent 12: plain
      {1e13, u"1e+013"},                    // 13: exponent form
      {9999999999999.4, u"9999999999999"},
      {9999999999999.5, u"1e+013"},         // rounding to 13 digits moves the exponent to 13
      {1e100, u"1e+100"},                   // three digits already: no padding
      {1e-300, u"1e-300"},
      {-1e-7, u"-1e-007"},
      {1.7976931348623157e308, u"1.797693134862e+308"},
      {5e-324, u"4.940656458412e-324"},
      {0.0, u"0"},
      {-0.0, u"-0"},
      {100.0, u"100"},
      {0.1 + 0.2, u"0.3"},
      {-123.456, u"-123.456"},
  };
  for (const Case& c : cases) {
    JsonNode* made = NewNumberNode(c.value);
    EXPECT_EQ(made->TextForm(), c.form) << c.value;
    JsonNode* assigned = NewNullNode();
    ASSERT_TRUE(AssignNumber(assigned, c.value));
    EXPECT_EQ(assigned->TextForm(), c.form) << c.value;
    EXPECT_EQ(assigned->Kind(), NodeType::Number);
    Release(made);
    Release(assigned);
  }
}

TEST(NewIntegerNode, TextFormsAreTheDecimalDigits) {
  JsonNode* node = NewIntegerNode(0);
  EXPECT_EQ(node->TextForm(), u"0");
  ASSERT_TRUE(AssignInteger(node, INT64_MAX));
  EXPECT_EQ(node->TextForm(), u"9223372036854775807");
  ASSERT_TRUE(AssignInteger32(node, -1));
  EXPECT_EQ(node->IntegerValue(), -1);
  EXPECT_EQ(node->TextForm(), u"-1");
  ASSERT_TRUE(AssignInteger32(node, INT32_MAX, u"+2147483647"));  // a given text is kept
  EXPECT_EQ(node->TextForm(), u"+2147483647");
  EXPECT_EQ(node->IntegerValue(), INT32_MAX);
  Release(node);
}

}  // namespace
}  // namespace ombrelk

// MemberTable and ElementList: hashing, growth, insertion order, replacement
// and removal, checked against a plain model under random operations.
#include "json/member_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "json/json_node.h"

namespace ombrelk {
namespace {

// Nodes for the table to hold; the table never touches their counts.
class TableTest : public ::testing::Test {
 protected:
  void SetUp() override { table_ = NewMemberTable(); }
  void TearDown() override {
    DestroyTable(table_);
    for (JsonNode* node : nodes_) Release(node);
  }
  JsonNode* Node() {
    nodes_.push_back(NewNullNode());
    return nodes_.back();
  }
  std::vector<std::u16string> Keys() const {
    std::vector<std::u16string> keys;
    for (int32_t k = 0; k < MemberCount(table_); ++k) keys.emplace_back(MemberAt(table_, k)->Key());
    return keys;
  }

  MemberTable* table_ = nullptr;
  std::vector<JsonNode*> nodes_;
};

TEST(MemberHash, BytesInMemoryOrderTimesPowersOf31) {
  EXPECT_EQ(MemberHash(u""), 0);
  EXPECT_EQ(MemberHash(u"a"), 97);
  EXPECT_EQ(MemberHash(u"ab"), 94275);
  EXPECT_EQ(MemberHash(u"\u0100"), 31);  // high byte second
  EXPECT_EQ(MemberHash(std::u16string_view(u"ab\0c", 4)), 94275);  // ends at the first zero
}

// The same formula written out in 64-bit arithmetic.
int32_t ModelHash(std::u16string_view key) {
  uint64_t h = 0;
  uint64_t power = 1;
  for (char16_t unit : key) {
    h = (h + (unit & 0xFF) * power) & 0xFFFFFFFFu;
    power = (power * 31) & 0xFFFFFFFFu;
    h = (h + (unit >> 8) * power) & 0xFFFFFFFFu;
    power = (power * 31) & 0xFFFFFFFFu;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(h));
}

TEST(MemberHash, AgreesWithTheFormulaOnLongKeys) {
  for (std::u16string key : {u"abcdefgh", u"\u4E2D\u6587\u952E", u"0123456789abcdefghijklmnopqrstuvwxyz"}) {
    EXPECT_EQ(MemberHash(key), ModelHash(key));
  }
}

TEST_F(TableTest, NewTableAndGrowth) {
  EXPECT_EQ(table_->bucket_count, 11);
  EXPECT_EQ(table_->threshold, 8);
  EXPECT_EQ(table_->order.capacity, 8);
  // Bucket count and threshold after the n-th distinct key.
  const std::pair<int, std::pair<int, int>> steps[] = {
      {8, {11, 8}}, {9, {23, 17}}, {17, {23, 17}}, {18, {47, 35}}, {35, {47, 35}}, {36, {95, 71}}};
  int added = 0;
  for (const auto& [count, sizes] : steps) {
    while (added < count) {
      EXPECT_EQ(PutMember(table_, u"k" + std::u16string(1, static_cast<char16_t>(u'A' + added)), Node()), 0);
      ++added;
    }
    EXPECT_EQ(table_->bucket_count, sizes.first) << count;
    EXPECT_EQ(table_->threshold, sizes.second) << count;
  }
  EXPECT_EQ(table_->order.capacity, 71);  // 8 -> 17 -> 35 -> 71
  // Replacing never grows; clearing keeps the size.
  for (int k = 0; k < 20; ++k) EXPECT_EQ(PutMember(table_, u"kA", Node()), 1);
  EXPECT_EQ(table_->bucket_count, 95);
  ClearTable(table_);
  EXPECT_EQ(MemberCount(table_), 0);
  EXPECT_EQ(table_->bucket_count, 95);
  EXPECT_EQ(table_->threshold, 71);
  EXPECT_EQ(FindMember(table_, u"kA"), nullptr);
}

// The bucket of a member: its chain hash without the sign bit, modulo the
// bucket count.
int32_t ExpectedBucket(const MemberTable* table, const JsonNode* member) {
  return static_cast<int32_t>((static_cast<uint32_t>(ChainHash(member->Key())) & 0x7FFFFFFFu) %
                              static_cast<uint32_t>(table->bucket_count));
}

// Keys that all share one MemberHash, built from units whose low byte plus
// 31 x high byte is the same: 8 choices at each of 5 positions.
std::vector<std::u16string> CollidingKeys() {
  const char16_t units[] = {100 * 256 + 50, 101 * 256 + 19, 99 * 256 + 81, 98 * 256 + 112,
                            97 * 256 + 143, 96 * 256 + 174, 95 * 256 + 205, 94 * 256 + 236};
  std::vector<std::u16string> keys;
  for (int n = 0; n < 8 * 8 * 8 * 8 * 8; ++n) {
    std::u16string key;
    for (int k = 0, rest = n; k < 5; ++k, rest /= 8) key += units[rest % 8];
    keys.push_back(key);
  }
  return keys;
}

TEST_F(TableTest, KeysThatShareAMemberHashSpreadOverTheBuckets) {
  std::vector<std::u16string> keys = CollidingKeys();
  for (const std::u16string& key : keys) ASSERT_EQ(MemberHash(key), MemberHash(keys[0]));
  for (const std::u16string& key : keys) ASSERT_EQ(PutMember(table_, key, Node()), 0);
  int32_t longest = 0;
  for (int32_t b = 0; b < table_->bucket_count; ++b) {
    int32_t length = 0;
    for (JsonNode* m = table_->buckets[b]; m != nullptr; m = m->next_) {
      ASSERT_EQ(ExpectedBucket(table_, m), b);
      ++length;
    }
    longest = std::max(longest, length);
  }
  EXPECT_LE(longest, 16);  // one chain of 32768 under MemberHash
  for (const std::u16string& key : keys) ASSERT_EQ(FindMember(table_, key)->Key(), key);
}

TEST_F(TableTest, InsertionOrderReplacementAndRemoval) {
  JsonNode* a = Node();
  JsonNode* b = Node();
  JsonNode* c = Node();
  JsonNode* a2 = Node();
  EXPECT_EQ(PutMember(table_, u"a", a), 0);
  EXPECT_EQ(PutMember(table_, u"b", b), 0);
  EXPECT_EQ(PutMember(table_, u"c", c), 0);
  JsonNode* replaced = nullptr;
  EXPECT_EQ(PutMember(table_, u"a", a2, &replaced), 1);
  EXPECT_EQ(replaced, a);
  EXPECT_EQ(a->Key(), u"");  // the key went to the new member
  EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"a", u"b", u"c"}));
  EXPECT_EQ(MemberAt(table_, 0), a2);
  EXPECT_EQ(FindMember(table_, u"a"), a2);

  EXPECT_TRUE(RemoveMemberNode(table_, b));
  EXPECT_FALSE(RemoveMemberNode(table_, b));
  EXPECT_EQ(b->Key(), u"");
  EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"a", u"c"}));
  EXPECT_EQ(PutMember(table_, u"b", b), 0);
  EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"a", u"c", u"b"}));

  JsonNode* removed = nullptr;
  EXPECT_TRUE(RemoveMemberByKey(table_, u"c", &removed));
  EXPECT_EQ(removed, c);
  EXPECT_FALSE(RemoveMemberByKey(table_, u"c"));
  EXPECT_EQ(MemberCount(table_), 2);
}

TEST_F(TableTest, KeysAreCaseSensitiveAndMayBeEmpty) {
  JsonNode* upper = Node();
  JsonNode* lower = Node();
  JsonNode* empty = Node();
  EXPECT_EQ(PutMember(table_, u"Id", upper), 0);
  EXPECT_EQ(PutMember(table_, u"id", lower), 0);
  EXPECT_EQ(PutMember(table_, u"", empty), 0);
  EXPECT_EQ(FindMember(table_, u"Id"), upper);
  EXPECT_EQ(FindMember(table_, u"id"), lower);
  EXPECT_EQ(FindMember(table_, u""), empty);
  EXPECT_EQ(FindMember(table_, u"ID"), nullptr);
  EXPECT_EQ(FindMember(table_, std::u16string_view(u"id\0x", 4)), lower);
}

TEST_F(TableTest, InsertMemberAtPosition) {
  PutMember(table_, u"a", Node());
  PutMember(table_, u"b", Node());
  EXPECT_EQ(InsertMemberAt(table_, 0, u"z", Node()), 0);
  EXPECT_EQ(InsertMemberAt(table_, 3, u"y", Node()), 0);  // position = count appends
  EXPECT_EQ(InsertMemberAt(table_, 5, u"x", Node()), -1);  // count + 1
  EXPECT_EQ(InsertMemberAt(table_, -1, u"x", Node()), -1);
  EXPECT_EQ(FindMember(table_, u"x"), nullptr);
  EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"z", u"a", u"b", u"y"}));
  // An existing key is replaced in place, whatever the position.
  JsonNode* b2 = Node();
  EXPECT_EQ(InsertMemberAt(table_, 99, u"b", b2), 1);
  EXPECT_EQ(MemberAt(table_, 2), b2);
}

TEST(ElementList, BoundsAndGrowth) {
  ElementList* list = NewElementList();
  std::vector<JsonNode*> nodes;
  for (int k = 0; k < 20; ++k) nodes.push_back(NewNullNode());
  EXPECT_EQ(list->capacity, 8);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(ListAppend(list, nodes[k]), k);
  EXPECT_EQ(list->capacity, 8);
  EXPECT_EQ(ListAppend(list, nodes[8]), 8);
  EXPECT_EQ(list->capacity, 17);
  for (int k = 9; k < 17; ++k) ListAppend(list, nodes[k]);
  EXPECT_EQ(list->capacity, 17);
  EXPECT_EQ(ListInsertAt(list, 17, nodes[17]), 17);  // at count: appends
  EXPECT_EQ(list->capacity, 35);
  EXPECT_EQ(ListInsertAt(list, 19, nodes[18]), -1);  // count + 1
  EXPECT_EQ(ListInsertAt(list, 0, nodes[18]), 0);
  EXPECT_EQ(ListGetAt(list, 0), nodes[18]);
  EXPECT_EQ(ListGetAt(list, 1), nodes[0]);
  EXPECT_EQ(ListCount(list), 19);
  EXPECT_FALSE(ListRemoveAt(list, 19));
  EXPECT_TRUE(ListRemoveAt(list, 0));
  EXPECT_EQ(ListGetAt(list, 0), nodes[0]);
  EXPECT_EQ(ListGetAt(list, 18), nullptr);
  EXPECT_EQ(ListGetAt(list, -1), nullptr);
  EXPECT_TRUE(ListRemoveNode(list, nodes[5]));
  EXPECT_FALSE(ListRemoveNode(list, nodes[5]));
  EXPECT_EQ(ListGetAt(list, 5), nodes[6]);
  ListReplaceNode(list, nodes[6], nodes[19]);
  EXPECT_EQ(ListGetAt(list, 5), nodes[19]);
  EXPECT_TRUE(ListSetAt(list, 0, nodes[5]));
  EXPECT_FALSE(ListSetAt(list, 17, nodes[5]));
  EXPECT_TRUE(ListClear(list));
  EXPECT_EQ(ListCount(list), 0);
  EXPECT_EQ(list->capacity, 35);
  ListDestroy(list);
  // No list: the refusals of every operation.
  EXPECT_EQ(ListAppend(nullptr, nodes[0]), -1);
  EXPECT_EQ(ListCount(nullptr), 0);
  EXPECT_FALSE(ListClear(nullptr));
  EXPECT_EQ(PutMember(nullptr, u"a", nodes[0]), -1);
  EXPECT_EQ(FindMember(nullptr, u"a"), nullptr);
  EXPECT_EQ(MemberCount(nullptr), 0);
  for (JsonNode* node : nodes) Release(node);
}

// Random puts, inserts and removals against an ordered list of pairs: the
// table's order, lookups and counts agree with the model after every step.
TEST_F(TableTest, AgreesWithAModelUnderRandomOperations) {
  std::mt19937 random(2024);
  std::vector<std::pair<std::u16string, JsonNode*>> model;
  auto find = [&](const std::u16string& key) {
    for (size_t k = 0; k < model.size(); ++k) {
      if (model[k].first == key) return static_cast<int>(k);
    }
    return -1;
  };
  for (int step = 0; step < 3000; ++step) {
    std::u16string key = u"k" + std::u16string(1, static_cast<char16_t>(u'a' + random() % 200)) +
                         (random() % 2 ? u"\u4E2D" : u"");
    int at = find(key);
    switch (random() % 4) {
      case 0:
      case 1: {
        JsonNode* node = Node();
        EXPECT_EQ(PutMember(table_, key, node), at >= 0 ? 1 : 0);
        if (at >= 0) {
          model[at].second = node;
        } else {
          model.push_back({key, node});
        }
        break;
      }
      case 2: {
        int position = static_cast<int>(random() % (model.size() + 2));
        JsonNode* node = Node();
        int answer = InsertMemberAt(table_, position, key, node);
        if (at >= 0) {
          EXPECT_EQ(answer, 1);
          model[at].second = node;
        } else if (position > static_cast<int>(model.size())) {
          EXPECT_EQ(answer, -1);
        } else {
          EXPECT_EQ(answer, 0);
          model.insert(model.begin() + position, {key, node});
        }
        break;
      }
      case 3:
        if (at >= 0 && random() % 2) {
          EXPECT_TRUE(RemoveMemberNode(table_, model[at].second));
          model.erase(model.begin() + at);
        } else {
          EXPECT_EQ(RemoveMemberByKey(table_, key), at >= 0);
          if (at >= 0) model.erase(model.begin() + at);
        }
        break;
    }
    ASSERT_EQ(MemberCount(table_), static_cast<int32_t>(model.size()));
    int32_t chained = 0;
    for (int32_t b = 0; b < table_->bucket_count; ++b) {
      for (JsonNode* m = table_->buckets[b]; m != nullptr; m = m->next_, ++chained) {
        ASSERT_EQ(ExpectedBucket(table_, m), b);
      }
    }
    ASSERT_EQ(chained, MemberCount(table_));
    for (size_t k = 0; k < model.size(); ++k) {
      ASSERT_EQ(MemberAt(table_, static_cast<int32_t>(k)), model[k].second) << step;
      ASSERT_EQ(FindMember(table_, model[k].first), model[k].second) << step;
      ASSERT_EQ(model[k].second->Key(), model[k].first);
    }
  }
}

}  // namespace
}  // namespace ombrelk

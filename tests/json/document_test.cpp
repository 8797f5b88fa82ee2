// JsonDocument as a handle: copies share the tree, the last holder frees it,
// the root can be read and replaced, and shared members outlive their tree.
#include "json/json_document.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "tests/json/tree_text.h"

namespace ombrelk {
namespace {

using test::TreeText;

TEST(JsonDocument, CopiesShareOneTree) {
  JsonDocument first;
  ASSERT_TRUE(first.ParseA("{'a':[1,2]}"));
  JsonNode* root = first.GetRoot();
  JsonDocument second = first.Copy();
  JsonDocument third = second;  // copying the handle is Copy
  EXPECT_EQ(second.GetRoot(), root);
  EXPECT_EQ(root->RefCount(), 3);

  ASSERT_TRUE(second.ParseIntoA("{'b':true}"));  // a change through one is seen through all
  EXPECT_EQ(TreeText(first.GetRoot()), R"({"b":true})");

  first.Destroy();
  EXPECT_EQ(first.GetRoot(), nullptr);
  EXPECT_EQ(root->RefCount(), 2);
  third = JsonDocument();
  EXPECT_EQ(root->RefCount(), 1);
  EXPECT_EQ(TreeText(second.GetRoot()), R"({"b":true})");

  JsonDocument moved = std::move(second);
  EXPECT_EQ(second.GetRoot(), nullptr);
  EXPECT_EQ(moved.GetRoot(), root);
  EXPECT_EQ(root->RefCount(), 1);
}

TEST(JsonDocument, ClearLeavesNoRoot) {
  JsonDocument document;
  EXPECT_EQ(document.GetRoot(), nullptr);
  ASSERT_TRUE(document.ParseA("{'a':1}"));
  document.Clear();
  EXPECT_EQ(document.GetRoot(), nullptr);
  EXPECT_EQ(document.TypeAtA(), -1);
  EXPECT_EQ(document.TypeAtA("a"), -1);
  EXPECT_EQ(document.CountAtA(), 0);
  document.Clear();  // twice is fine
}

TEST(JsonDocument, SetRoot) {
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("[1]"));
  JsonNode* root = document.GetRoot();
  document.SetRoot(root);  // the node it holds: nothing changes
  EXPECT_EQ(root->RefCount(), 1);
  document.SetRoot(nullptr);  // none: the old root stays
  EXPECT_EQ(document.GetRoot(), root);

  JsonNode* other = NewStringNode(u"x");
  JsonNode* kept = root;
  AddReference(kept);
  document.SetRoot(other);
  EXPECT_EQ(other->RefCount(), 2);
  EXPECT_EQ(kept->RefCount(), 1);
  Release(other);
  Release(kept);
  EXPECT_EQ(TreeText(document.GetRoot()), R"("x")");

  JsonDocument sharing = JsonDocument::Sharing(document.GetRoot());
  EXPECT_EQ(sharing.GetRoot()->RefCount(), 2);
  EXPECT_EQ(JsonDocument::Sharing(nullptr).GetRoot(), nullptr);
}

// The converter's pattern: a member handed out as a document of its own
// outlives the line it came from.
TEST(JsonDocument, ASharedMemberOutlivesItsTree) {
  JsonDocument line;
  ASSERT_TRUE(line.ParseA("{'id':7,'tags':['a','b'],'name':'x'}"));
  JsonDocument tags = JsonDocument::Sharing(line.GetRoot()->FindMember(u"tags"));
  JsonNode* node = tags.GetRoot();
  EXPECT_EQ(node->RefCount(), 2);
  EXPECT_EQ(node->Parent(), line.GetRoot());
  EXPECT_EQ(node->Key(), u"tags");

  line.Clear();  // the rest of the tree is freed
  EXPECT_EQ(node->RefCount(), 1);
  EXPECT_EQ(node->Parent(), nullptr);
  EXPECT_EQ(node->Key(), u"");
  EXPECT_EQ(TreeText(node), R"(["a","b"])");
  EXPECT_EQ(tags.CountAtA(), 2);
  tags.Clear();
}

// Handles on one tree may be copied and dropped on several threads.
TEST(JsonDocument, HandlesDroppedOnOtherThreads) {
  JsonDocument document;
  ASSERT_TRUE(document.ParseA("{'a':{'b':[1,2,3]},'c':'x'}"));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    std::vector<JsonDocument> copies(1000, document);
    threads.emplace_back([copies = std::move(copies)]() mutable { copies.clear(); });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(document.GetRoot()->RefCount(), 1);
  // A member's last holder may be on another thread: its subtree is freed
  // there.
  JsonDocument member = JsonDocument::Sharing(document.GetRoot()->FindMember(u"a"));
  document.Clear();
  std::thread([member = std::move(member)]() mutable { member.Clear(); }).join();
}

}  // namespace
}  // namespace ombrelk

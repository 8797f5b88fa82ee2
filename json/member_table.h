// The two containers of the JSON tree: `ElementList`, a growable list of node
// references (an array's elements, and a table's insertion order), and
// `MemberTable`, a chained hash table from UTF-16 keys to member nodes that
// remembers the order in which keys were first added.
//
// Ownership: the containers store node references but never add or release
// them, and never set a node's parent link; the node operations in
// json_node.h do that around these calls. Member keys belong to the table:
// a key text is copied in when a new key is put and freed when the member
// leaves the table (removed, cleared, destroyed). A member that leaves the
// table keeps no key: its key view reads empty afterwards.
//
// Sizes are observable only through order and growth, and follow fixed
// rules: a list starts with 8 slots and grows to 2 x capacity + 1 (8, 17,
// 35, 71, ...); a table starts with 11 buckets and load factor 0.75 and grows
// to 2 x buckets + 1 (11, 23, 47, 95, ...) when a new key arrives while the
// member count has reached the threshold (buckets x load factor, truncated:
// 8, 17, 35, 71, ...). Nothing ever shrinks.
#pragma once

#include <cstdint>
#include <string_view>

namespace ombrelk {

class JsonNode;

// ---------------------------------------------------------------- ElementList

inline constexpr int32_t kDefaultListCapacity = 8;

struct ElementList {
  ElementList() = default;
  ElementList(const ElementList&) = delete;  // `slots` may point into the record
  ElementList& operator=(const ElementList&) = delete;

  int32_t count = 0;
  int32_t capacity = 0;
  JsonNode** slots = nullptr;  // `capacity` entries; 0..count-1 in use
  JsonNode* initial_slots[kDefaultListCapacity];  // the slots until the first growth
};

// An empty list with capacity 8, or nullptr when storage runs out.
ElementList* NewElementList();
// Entries 0..count-1 of every operation below are 0-based; indices out of
// range are refused, never clamped. A missing list (nullptr) answers -1,
// false, 0 or nullptr and changes nothing.
int32_t ListAppend(ElementList* list, JsonNode* node);  // new index, or -1
int32_t ListInsertAt(ElementList* list, int32_t index, JsonNode* node);  // index, or -1 unless 0 <= index <= count
bool ListRemoveAt(ElementList* list, int32_t index);    // unless 0 <= index < count: false
bool ListRemoveNode(ElementList* list, const JsonNode* node);  // first entry that is `node`
void ListReplaceNode(ElementList* list, const JsonNode* old_node, JsonNode* new_node);
bool ListSetAt(ElementList* list, int32_t index, JsonNode* node);
inline JsonNode* ListGetAt(const ElementList* list, int32_t index) {
  if (list == nullptr || index < 0 || index >= list->count) return nullptr;
  return list->slots[index];
}
inline int32_t ListCount(const ElementList* list) { return list ? list->count : 0; }
bool ListClear(ElementList* list);  // count 0, capacity kept
void ListDestroy(ElementList* list);

// ---------------------------------------------------------------- MemberTable

// The hash of a key: over its 2n bytes in memory order (low byte of each code
// unit first), h = byte[0] + byte[1]*31 + ... + byte[2n-1]*31^(2n-1) modulo
// 2^32. "a" -> 97, "ab" -> 94275, "" -> 0. The key ends at its first zero
// code unit.
int32_t MemberHash(std::u16string_view key);

// The hash by which a table chains its members. MemberHash is easy to
// collide on purpose (U+001F and U+0100 hash alike, and so do whole families
// of keys built from such units), and a text full of colliding keys would
// make every insertion walk one long chain. So the chains use a hash seeded
// at random per process; since members are visited in insertion order, the
// choice of hash changes nothing but speed. Ends at the key's first zero.
int32_t ChainHash(std::u16string_view key);

inline constexpr int32_t kDefaultBucketCount = 11;
inline constexpr float kDefaultLoadFactor = 0.75f;

struct MemberTable {
  JsonNode** buckets = nullptr;  // chain heads, linked through the members
  int32_t bucket_count = 0;
  int32_t member_count = 0;
  int32_t threshold = 0;     // a new key arriving at this count grows the table
  float load_factor = 0.0f;
  uint64_t bucket_divisor = 0;  // 2^64 / bucket_count rounded up: the bucket without a division
  ElementList order;         // the members in insertion order
  JsonNode* initial_buckets[kDefaultBucketCount];  // the buckets until the first growth
};

// An empty table: 11 buckets, load factor 0.75, threshold 8, order capacity
// 8; nullptr when storage runs out.
MemberTable* NewMemberTable();

// Keys are compared case-sensitively, code unit by code unit, up to their
// first zero code unit.
JsonNode* FindMember(const MemberTable* table, std::u16string_view key);

// Stores `node` under `key`. An existing member with that key is replaced in
// place (same position in the insertion order; the new node takes over the
// key text) and handed back through `replaced` (the caller releases it; it is
// left without key); the answer is 1. Otherwise the key is copied, the node
// is put in front of its bucket chain and at the end of the order: 0. -1
// without a table or when storage runs out (the table is left intact).
int PutMember(MemberTable* table, std::u16string_view key, JsonNode* node,
              JsonNode** replaced = nullptr);
// As PutMember for a key known to hold no zero code unit: taken whole.
int PutMemberWithoutZeros(MemberTable* table, std::u16string_view key, JsonNode* node,
                          JsonNode** replaced = nullptr);
// As PutMember, but a new key enters the order at `position` (0..count);
// -1 when the position is out of range (the node is not linked then,
// although the table may have grown). An existing key is replaced in place
// and `position` ignored.
int InsertMemberAt(MemberTable* table, int32_t position, std::u16string_view key,
                   JsonNode* node, JsonNode** replaced = nullptr);
// Takes that very node out of the table (chain, order, count) and frees its
// key. False when the node is not a member of this table.
bool RemoveMemberNode(MemberTable* table, JsonNode* node);
// Takes the member with `key` out of the table and frees its key; the member
// is handed back through `removed` for the caller to release.
bool RemoveMemberByKey(MemberTable* table, std::u16string_view key,
                       JsonNode** removed = nullptr);
inline int32_t MemberCount(const MemberTable* table) { return table ? table->member_count : 0; }
// The member at position `index` of the insertion order, or nullptr.
inline JsonNode* MemberAt(const MemberTable* table, int32_t index) {
  return table ? ListGetAt(&table->order, index) : nullptr;
}
// Frees every key and empties the buckets and the order; bucket count,
// threshold and load factor stay. Members keep no key afterwards.
void ClearTable(MemberTable* table);
// Frees the table and every key still in it.
void DestroyTable(MemberTable* table);

// Internal: frees a member's key text; the node is left without key (and
// without chain link). For the node operations that empty a whole table.
void DropMemberKey(JsonNode* member);

}  // namespace ombrelk

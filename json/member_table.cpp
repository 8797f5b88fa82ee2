#include "json/member_table.h"

#include <cstring>
#include <new>

#include "json/json_node.h"
#include "json/node_allocator.h"

namespace ombrelk {

using detail::AllocateBlock;
using detail::AllocateText;
using detail::FreeBlock;
using detail::FreeText;

// ---------------------------------------------------------------- ElementList

namespace {

JsonNode** NewSlots(int32_t capacity) {
  auto** slots = static_cast<JsonNode**>(AllocateBlock(sizeof(JsonNode*) * capacity));
  if (slots != nullptr) std::memset(slots, 0, sizeof(JsonNode*) * capacity);
  return slots;
}

void FreeSlots(JsonNode** slots, int32_t capacity) {
  FreeBlock(slots, sizeof(JsonNode*) * capacity);
}

bool InitList(ElementList* list) {
  list->slots = NewSlots(kDefaultListCapacity);
  if (list->slots == nullptr) return false;
  list->count = 0;
  list->capacity = kDefaultListCapacity;
  return true;
}

// Grows a full list to 2 x capacity + 1 slots. False when storage runs out
// (the list is unchanged).
bool GrowList(ElementList* list) {
  if (list->count < list->capacity) return true;
  if (list->capacity > (INT32_MAX - 1) / 2) return false;
  int32_t capacity = list->capacity * 2 + 1;
  JsonNode** slots = NewSlots(capacity);
  if (slots == nullptr) return false;
  if (list->count > 0) std::memcpy(slots, list->slots, sizeof(JsonNode*) * list->count);
  FreeSlots(list->slots, list->capacity);
  list->slots = slots;
  list->capacity = capacity;
  return true;
}

}  // namespace

ElementList* NewElementList() {
  void* block = AllocateBlock(sizeof(ElementList));
  if (block == nullptr) return nullptr;
  auto* list = new (block) ElementList;
  if (!InitList(list)) {
    FreeBlock(block, sizeof(ElementList));
    return nullptr;
  }
  return list;
}

int32_t ListAppend(ElementList* list, JsonNode* node) {
  if (list == nullptr || !GrowList(list)) return -1;
  list->slots[list->count] = node;
  return list->count++;
}

int32_t ListInsertAt(ElementList* list, int32_t index, JsonNode* node) {
  if (list == nullptr || index < 0 || index > list->count || !GrowList(list)) return -1;
  std::memmove(list->slots + index + 1, list->slots + index,
               sizeof(JsonNode*) * (list->count - index));
  list->slots[index] = node;
  ++list->count;
  return index;
}

bool ListRemoveAt(ElementList* list, int32_t index) {
  if (list == nullptr || index < 0 || index >= list->count) return false;
  std::memmove(list->slots + index, list->slots + index + 1,
               sizeof(JsonNode*) * (list->count - index - 1));
  list->slots[--list->count] = nullptr;
  return true;
}

bool ListRemoveNode(ElementList* list, const JsonNode* node) {
  if (list == nullptr) return false;
  for (int32_t k = 0; k < list->count; ++k) {
    if (list->slots[k] == node) return ListRemoveAt(list, k);
  }
  return false;
}

void ListReplaceNode(ElementList* list, const JsonNode* old_node, JsonNode* new_node) {
  if (list == nullptr) return;
  for (int32_t k = 0; k < list->count; ++k) {
    if (list->slots[k] == old_node) {
      list->slots[k] = new_node;
      return;
    }
  }
}

bool ListSetAt(ElementList* list, int32_t index, JsonNode* node) {
  if (list == nullptr || index < 0 || index >= list->count) return false;
  list->slots[index] = node;
  return true;
}

bool ListClear(ElementList* list) {
  if (list == nullptr) return false;
  if (list->slots != nullptr) std::memset(list->slots, 0, sizeof(JsonNode*) * list->capacity);
  list->count = 0;
  return true;
}

void ListDestroy(ElementList* list) {
  if (list == nullptr) return;
  FreeSlots(list->slots, list->capacity);
  list->~ElementList();
  FreeBlock(list, sizeof(ElementList));
}

// ---------------------------------------------------------------- MemberTable

int32_t MemberHash(std::u16string_view key) {
  key = UpToZero(key);
  // Bytes from the last to the first: high byte, then low byte of each unit.
  uint32_t h = 0;
  for (size_t j = key.size(); j-- > 0;) {
    uint32_t unit = key[j];
    h = h * 31 + (unit >> 8);
    h = h * 31 + (unit & 0xFF);
  }
  return static_cast<int32_t>(h);
}

namespace {

inline int32_t BucketOf(int32_t hash, int32_t bucket_count) {
  return static_cast<int32_t>((static_cast<uint32_t>(hash) & 0x7FFFFFFFu) %
                              static_cast<uint32_t>(bucket_count));
}

inline bool KeyEquals(const JsonNode* member, std::u16string_view key) {
  return static_cast<size_t>(member->key_length_) == key.size() &&
         (key.empty() || std::memcmp(member->key_, key.data(), key.size() * sizeof(char16_t)) == 0);
}

inline void DropKey(JsonNode* member) {
  if (member->key_ != nullptr) FreeText(member->key_, member->key_length_);
  member->key_ = nullptr;
  member->key_length_ = 0;
  member->next_ = nullptr;
}

// Doubles the bucket count plus one and moves every member to the front of
// its new chain. False when storage runs out (the table is unchanged).
bool Rehash(MemberTable* table) {
  if (table->bucket_count > (INT32_MAX - 1) / 2) return false;
  int32_t count = table->bucket_count * 2 + 1;
  JsonNode** buckets = NewSlots(count);
  if (buckets == nullptr) return false;
  for (int32_t b = 0; b < table->bucket_count; ++b) {
    JsonNode* member = table->buckets[b];
    while (member != nullptr) {
      JsonNode* next = member->next_;
      int32_t nb = BucketOf(member->key_hash_, count);
      member->next_ = buckets[nb];
      buckets[nb] = member;
      member = next;
    }
  }
  FreeSlots(table->buckets, table->bucket_count);
  table->buckets = buckets;
  table->bucket_count = count;
  table->threshold = static_cast<int32_t>(static_cast<float>(count) * table->load_factor);
  return true;
}

// Finds the member with `key` (already cut at its first zero); `previous`
// receives the member before it in its chain (nullptr at the head).
JsonNode* FindInChain(const MemberTable* table, std::u16string_view key, int32_t hash,
                      JsonNode** previous) {
  JsonNode* prev = nullptr;
  for (JsonNode* member = table->buckets[BucketOf(hash, table->bucket_count)]; member != nullptr;
       prev = member, member = member->next_) {
    if (member->key_hash_ == hash && KeyEquals(member, key)) {
      if (previous != nullptr) *previous = prev;
      return member;
    }
  }
  return nullptr;
}

void Unlink(MemberTable* table, JsonNode* member, JsonNode* previous) {
  if (previous != nullptr) {
    previous->next_ = member->next_;
  } else {
    table->buckets[BucketOf(member->key_hash_, table->bucket_count)] = member->next_;
  }
  --table->member_count;
  ListRemoveNode(&table->order, member);
  DropKey(member);
}

// Puts `node` under `key`: replaces an existing member in place, or adds a
// new one at the end of the order (`at_end`) or at `position` of it.
int StoreMember(MemberTable* table, bool at_end, int32_t position, std::u16string_view key,
                JsonNode* node, JsonNode** replaced) {
  if (replaced != nullptr) *replaced = nullptr;
  if (table == nullptr || node == nullptr) return -1;
  key = UpToZero(key);
  int32_t hash = MemberHash(key);
  JsonNode* previous = nullptr;
  JsonNode* old = FindInChain(table, key, hash, &previous);
  if (old != nullptr) {
    if (replaced != nullptr) *replaced = old;
    if (old == node) return 1;
    node->key_ = old->key_;
    node->key_length_ = old->key_length_;
    node->key_hash_ = hash;
    node->next_ = old->next_;
    if (previous != nullptr) {
      previous->next_ = node;
    } else {
      table->buckets[BucketOf(hash, table->bucket_count)] = node;
    }
    ListReplaceNode(&table->order, old, node);
    old->key_ = nullptr;  // the key text now belongs to `node`
    old->key_length_ = 0;
    old->next_ = nullptr;
    return 1;
  }
  if (table->member_count >= table->threshold && !Rehash(table)) return -1;
  char16_t* copy = nullptr;
  if (!key.empty()) {
    copy = AllocateText(static_cast<int32_t>(key.size()));
    if (copy == nullptr) return -1;
    std::memcpy(copy, key.data(), key.size() * sizeof(char16_t));
  }
  int32_t at = at_end ? ListAppend(&table->order, node)
                            : ListInsertAt(&table->order, position, node);
  if (at < 0) {
    if (copy != nullptr) FreeText(copy, static_cast<int32_t>(key.size()));
    return -1;
  }
  int32_t b = BucketOf(hash, table->bucket_count);
  node->key_hash_ = hash;
  node->key_ = copy;
  node->key_length_ = static_cast<int32_t>(key.size());
  node->next_ = table->buckets[b];
  table->buckets[b] = node;
  ++table->member_count;
  return 0;
}

}  // namespace

MemberTable* NewMemberTable() {
  void* block = AllocateBlock(sizeof(MemberTable));
  if (block == nullptr) return nullptr;
  auto* table = new (block) MemberTable;
  table->buckets = NewSlots(kDefaultBucketCount);
  if (table->buckets == nullptr || !InitList(&table->order)) {
    if (table->buckets != nullptr) FreeSlots(table->buckets, kDefaultBucketCount);
    FreeBlock(block, sizeof(MemberTable));
    return nullptr;
  }
  table->bucket_count = kDefaultBucketCount;
  table->load_factor = kDefaultLoadFactor;
  table->threshold = static_cast<int32_t>(static_cast<float>(kDefaultBucketCount) * kDefaultLoadFactor);
  return table;
}

JsonNode* FindMember(const MemberTable* table, std::u16string_view key) {
  if (table == nullptr) return nullptr;
  key = UpToZero(key);
  return FindInChain(table, key, MemberHash(key), nullptr);
}

int PutMember(MemberTable* table, std::u16string_view key, JsonNode* node, JsonNode** replaced) {
  return StoreMember(table, true, 0, key, node, replaced);
}

int InsertMemberAt(MemberTable* table, int32_t position, std::u16string_view key, JsonNode* node,
                   JsonNode** replaced) {
  return StoreMember(table, false, position, key, node, replaced);
}

bool RemoveMemberNode(MemberTable* table, JsonNode* node) {
  if (table == nullptr || node == nullptr) return false;
  // A member always sits in the chain of its stored hash.
  JsonNode* previous = nullptr;
  for (JsonNode* member = table->buckets[BucketOf(node->key_hash_, table->bucket_count)];
       member != nullptr; previous = member, member = member->next_) {
    if (member == node) {
      Unlink(table, member, previous);
      return true;
    }
  }
  return false;
}

bool RemoveMemberByKey(MemberTable* table, std::u16string_view key, JsonNode** removed) {
  if (removed != nullptr) *removed = nullptr;
  if (table == nullptr) return false;
  key = UpToZero(key);
  JsonNode* previous = nullptr;
  JsonNode* member = FindInChain(table, key, MemberHash(key), &previous);
  if (member == nullptr) return false;
  Unlink(table, member, previous);
  if (removed != nullptr) *removed = member;
  return true;
}

void ClearTable(MemberTable* table) {
  if (table == nullptr) return;
  for (int32_t k = 0; k < table->order.count; ++k) DropKey(table->order.slots[k]);
  ListClear(&table->order);
  std::memset(table->buckets, 0, sizeof(JsonNode*) * table->bucket_count);
  table->member_count = 0;
}

void DestroyTable(MemberTable* table) {
  if (table == nullptr) return;
  for (int32_t k = 0; k < table->order.count; ++k) DropKey(table->order.slots[k]);
  FreeSlots(table->order.slots, table->order.capacity);
  FreeSlots(table->buckets, table->bucket_count);
  table->~MemberTable();
  FreeBlock(table, sizeof(MemberTable));
}

}  // namespace ombrelk

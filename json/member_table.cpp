#include "json/member_table.h"

#include <chrono>
#include <cstring>
#include <new>
#include <random>

#include "json/json_node.h"
#include "json/node_allocator.h"

namespace ombrelk {

using detail::AllocateBlock;
using detail::AllocateText;
using detail::FreeBlock;
using detail::FreeText;

// ---------------------------------------------------------------- ElementList

namespace {

// Slots of a list are read only below its count, so they start out as they
// come; bucket heads start empty.
JsonNode** NewSlots(int32_t capacity) {
  return static_cast<JsonNode**>(AllocateBlock(sizeof(JsonNode*) * capacity));
}

JsonNode** NewBuckets(int32_t count) {
  JsonNode** buckets = NewSlots(count);
  if (buckets != nullptr) std::memset(buckets, 0, sizeof(JsonNode*) * count);
  return buckets;
}

void FreeSlots(JsonNode** slots, int32_t capacity) {
  FreeBlock(slots, sizeof(JsonNode*) * capacity);
}

void InitList(ElementList* list) {
  list->slots = list->initial_slots;
  list->count = 0;
  list->capacity = kDefaultListCapacity;
}

void FreeListSlots(ElementList* list) {
  if (list->slots != list->initial_slots) FreeSlots(list->slots, list->capacity);
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
  FreeListSlots(list);
  list->slots = slots;
  list->capacity = capacity;
  return true;
}

}  // namespace

ElementList* NewElementList() {
  void* block = AllocateBlock(sizeof(ElementList));
  if (block == nullptr) return nullptr;
  auto* list = new (block) ElementList;
  InitList(list);
  return list;
}

int32_t ListAppend(ElementList* list, JsonNode* node) {
  if (list == nullptr || !GrowList(list)) return -1;
  list->slots[list->count] = node;
  return list->count++;
}

// A node operation (json_node.h), defined here so that ListAppend is
// inlined into it: the parser calls it for every element.
bool AppendElement(JsonNode* node, JsonNode* child) {
  if (node == nullptr || child == nullptr) return false;
  if (node->kind_ != NodeType::Array) ConvertToArray(node);
  if (ListAppend(node->value_.list, child) < 0) return false;
  child->parent_ = node;
  return true;
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
  list->count = 0;
  return true;
}

void ListDestroy(ElementList* list) {
  if (list == nullptr) return;
  FreeListSlots(list);
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

uint64_t MakeSeed() {
  uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= (static_cast<uint64_t>(device()) << 32) ^ device();
  } catch (...) {
    // No random device: the clock and an address stand in.
  }
  return seed ^ reinterpret_cast<uintptr_t>(&seed);
}

const uint64_t kChainSeed = MakeSeed();

inline uint64_t Fold(uint64_t a, uint64_t b) {
  unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

}  // namespace

namespace {

const uint64_t kSecondSeed = Fold(kChainSeed ^ 0xE7037ED1A0B428DBu, 0x8EBC6AF09C88C6E3u);

inline uint64_t Load64(const char16_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint32_t Load32(const char16_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The chain hash of a key already cut at its first zero. Keys of up to 8
// units (nearly all) are read with two loads that may overlap, every unit
// counted once given the length, which is mixed in too; both seeds enter
// the final 64 x 64 -> 128-bit multiplication, so colliding keys cannot be
// built without knowing them.
inline int32_t HashKey(const char16_t* p, size_t n) {
  uint64_t a = 0;
  uint64_t b = 0;
  if (n >= 4) {
    if (n <= 8) {
      a = Load64(p);
      b = Load64(p + n - 4);
    } else {
      uint64_t h = kChainSeed;
      size_t i = 0;
      for (; i + 8 < n; i += 4) h = Fold(h ^ Load64(p + i), 0xA0761D6478BD642Fu);
      a = h ^ Load64(p + i);
      b = Load64(p + n - 4);
    }
  } else if (n >= 2) {
    a = Load32(p);
    b = Load32(p + n - 2);
  } else if (n == 1) {
    a = p[0];
  }
  uint64_t h = Fold(a ^ kChainSeed ^ (n * 0x9E3779B97F4A7C15u), b ^ kSecondSeed);
  return static_cast<int32_t>(h ^ (h >> 32));
}

}  // namespace

int32_t ChainHash(std::u16string_view key) {
  key = UpToZero(key);
  return HashKey(key.data(), key.size());
}

namespace {

// The bucket of a hash: (hash AND 0x7FFFFFFF) modulo the bucket count,
// computed with a multiplication by the table's precomputed divisor (exact
// for every 32-bit hash and bucket count).
inline uint64_t DivisorFor(int32_t bucket_count) {
  return UINT64_MAX / static_cast<uint32_t>(bucket_count) + 1;
}

inline int32_t BucketOf(int32_t hash, int32_t bucket_count, uint64_t divisor) {
  uint64_t low = divisor * (static_cast<uint32_t>(hash) & 0x7FFFFFFFu);
  return static_cast<int32_t>((static_cast<unsigned __int128>(low) * static_cast<uint32_t>(bucket_count)) >> 64);
}

inline int32_t BucketOf(const MemberTable* table, int32_t hash) {
  return BucketOf(hash, table->bucket_count, table->bucket_divisor);
}

inline bool KeyEquals(const JsonNode* member, std::u16string_view key) {
  return static_cast<size_t>(member->key_length_) == key.size() &&
         (key.empty() || std::memcmp(member->key_, key.data(), key.size() * sizeof(char16_t)) == 0);
}

inline void DropKey(JsonNode* member) {
  if (member->key_ != nullptr && member->key_ != member->key_inline_) {
    FreeText(member->key_, member->key_length_);
  }
  member->key_ = nullptr;
  member->key_length_ = 0;
  member->next_ = nullptr;
}

// Gives `member` a copy of `key`: in the record when it fits. False when
// storage runs out.
bool CopyKey(JsonNode* member, std::u16string_view key) {
  int32_t length = static_cast<int32_t>(key.size());
  char16_t* copy = nullptr;
  if (length <= JsonNode::kInlineKeyUnits) {
    copy = member->key_inline_;
  } else if ((copy = AllocateText(length)) == nullptr) {
    return false;
  }
  detail::CopyUnits(copy, key.data(), length);
  member->key_ = copy;
  member->key_length_ = length;
  return true;
}

// Moves the key of `old` to `member` (which has none).
void MoveKey(JsonNode* member, JsonNode* old) {
  if (old->key_ == old->key_inline_) {
    std::memcpy(member->key_inline_, old->key_inline_, sizeof(char16_t) * old->key_length_);
    member->key_ = member->key_inline_;
  } else {
    member->key_ = old->key_;
  }
  member->key_length_ = old->key_length_;
  old->key_ = nullptr;
  old->key_length_ = 0;
}

// Doubles the bucket count plus one and moves every member to the front of
// its new chain. False when storage runs out (the table is unchanged).
bool Rehash(MemberTable* table) {
  if (table->bucket_count > (INT32_MAX - 1) / 2) return false;
  int32_t count = table->bucket_count * 2 + 1;
  uint64_t divisor = DivisorFor(count);
  JsonNode** buckets = NewBuckets(count);
  if (buckets == nullptr) return false;
  for (int32_t b = 0; b < table->bucket_count; ++b) {
    JsonNode* member = table->buckets[b];
    while (member != nullptr) {
      JsonNode* next = member->next_;
      int32_t nb = BucketOf(member->key_hash_, count, divisor);
      member->next_ = buckets[nb];
      buckets[nb] = member;
      member = next;
    }
  }
  if (table->buckets != table->initial_buckets) FreeSlots(table->buckets, table->bucket_count);
  table->buckets = buckets;
  table->bucket_count = count;
  table->bucket_divisor = divisor;
  table->threshold = static_cast<int32_t>(static_cast<float>(count) * table->load_factor);
  return true;
}

// Finds the member with `key` (already cut at its first zero); `previous`
// receives the member before it in its chain (nullptr at the head).
JsonNode* FindInChain(const MemberTable* table, std::u16string_view key, int32_t hash,
                      JsonNode** previous) {
  JsonNode* prev = nullptr;
  for (JsonNode* member = table->buckets[BucketOf(table, hash)]; member != nullptr;
       prev = member, member = member->next_) {
    if (member->key_hash_ == hash && KeyEquals(member, key)) {
      if (previous != nullptr) *previous = prev;
      return member;
    }
  }
  return nullptr;
}

// Where a member stands in the order: its hint when still right (inserts
// before it, removals and sorting move members), else found by a search,
// which corrects the hint for next time.
int32_t OrderIndexOf(MemberTable* table, JsonNode* member) {
  int32_t at = member->order_hint_;
  if (at < 0 || at >= table->order.count || table->order.slots[at] != member) {
    for (at = 0; at < table->order.count && table->order.slots[at] != member; ++at) {
    }
    member->order_hint_ = at;
  }
  return at;
}

void Unlink(MemberTable* table, JsonNode* member, JsonNode* previous) {
  if (previous != nullptr) {
    previous->next_ = member->next_;
  } else {
    table->buckets[BucketOf(table, member->key_hash_)] = member->next_;
  }
  --table->member_count;
  ListRemoveAt(&table->order, OrderIndexOf(table, member));
  member->order_hint_ = -1;
  DropKey(member);
}

// Puts `node` under `key`: replaces an existing member in place, or adds a
// new one at the end of the order (`at_end`) or at `position` of it.
// `key` is already cut at its first zero.
int StoreMember(MemberTable* table, bool at_end, int32_t position, std::u16string_view key,
                JsonNode* node, JsonNode** replaced) {
  if (replaced != nullptr) *replaced = nullptr;
  if (table == nullptr || node == nullptr) return -1;
  int32_t hash = HashKey(key.data(), key.size());
  JsonNode* previous = nullptr;
  JsonNode* old = FindInChain(table, key, hash, &previous);
  if (old != nullptr) {
    if (replaced != nullptr) *replaced = old;
    if (old == node) return 1;
    MoveKey(node, old);  // the key text now belongs to `node`
    node->key_hash_ = hash;
    node->next_ = old->next_;
    if (previous != nullptr) {
      previous->next_ = node;
    } else {
      table->buckets[BucketOf(table, hash)] = node;
    }
    int32_t at = OrderIndexOf(table, old);
    table->order.slots[at] = node;
    node->order_hint_ = at;
    old->next_ = nullptr;
    return 1;
  }
  if (table->member_count >= table->threshold && !Rehash(table)) return -1;
  if (!CopyKey(node, key)) return -1;
  int32_t at = at_end ? ListAppend(&table->order, node)
                      : ListInsertAt(&table->order, position, node);
  if (at < 0) {
    DropKey(node);
    return -1;
  }
  int32_t b = BucketOf(table, hash);
  node->order_hint_ = at;
  node->key_hash_ = hash;
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
  std::memset(table->initial_buckets, 0, sizeof table->initial_buckets);
  table->buckets = table->initial_buckets;
  InitList(&table->order);
  table->bucket_count = kDefaultBucketCount;
  table->bucket_divisor = DivisorFor(kDefaultBucketCount);
  table->load_factor = kDefaultLoadFactor;
  table->threshold = static_cast<int32_t>(static_cast<float>(kDefaultBucketCount) * kDefaultLoadFactor);
  return table;
}

JsonNode* FindMember(const MemberTable* table, std::u16string_view key) {
  if (table == nullptr) return nullptr;
  key = UpToZero(key);
  return FindInChain(table, key, HashKey(key.data(), key.size()), nullptr);
}

int PutMember(MemberTable* table, std::u16string_view key, JsonNode* node, JsonNode** replaced) {
  return StoreMember(table, true, 0, UpToZero(key), node, replaced);
}

int PutMemberWithoutZeros(MemberTable* table, std::u16string_view key, JsonNode* node,
                          JsonNode** replaced) {
  // The common case in one piece: a new short key at the end of a table
  // that has room in its chains and its order. Everything else (a key
  // already there, growth, a long key, no table) takes the general path.
  if (table != nullptr && node != nullptr && table->member_count < table->threshold &&
      table->order.count < table->order.capacity && key.size() <= JsonNode::kInlineKeyUnits) {
    const int32_t hash = HashKey(key.data(), key.size());
    JsonNode** head = &table->buckets[BucketOf(table, hash)];
    // Only hashes are compared here (no call, so nothing to save around
    // one); a member of the same hash sends the key to the general path.
    JsonNode* member = *head;
    while (member != nullptr && member->key_hash_ != hash) member = member->next_;
    if (member == nullptr) {
      if (replaced != nullptr) *replaced = nullptr;
      const int32_t length = static_cast<int32_t>(key.size());
      detail::CopyUnits(node->key_inline_, key.data(), length);
      node->key_ = node->key_inline_;
      node->key_length_ = length;
      node->key_hash_ = hash;
      node->order_hint_ = table->order.count;
      table->order.slots[table->order.count++] = node;
      node->next_ = *head;
      *head = node;
      ++table->member_count;
      return 0;
    }
  }
  return StoreMember(table, true, 0, key, node, replaced);
}

// A node operation (json_node.h), defined here so that the store above is
// inlined into it: the parser calls it for every member.
bool SetMemberWithoutZeros(JsonNode* node, std::u16string_view key, JsonNode* child) {
  if (node == nullptr || child == nullptr) return false;
  if (node->kind_ != NodeType::Object) ConvertToObject(node);
  JsonNode* replaced = nullptr;
  if (PutMemberWithoutZeros(node->value_.table, key, child, &replaced) < 0) return false;
  child->parent_ = node;
  if (replaced != nullptr) {
    if (replaced != child) replaced->parent_ = nullptr;
    Release(replaced);
  }
  return true;
}

int InsertMemberAt(MemberTable* table, int32_t position, std::u16string_view key, JsonNode* node,
                   JsonNode** replaced) {
  return StoreMember(table, false, position, UpToZero(key), node, replaced);
}

bool RemoveMemberNode(MemberTable* table, JsonNode* node) {
  if (table == nullptr || node == nullptr) return false;
  // A member always sits in the chain of its stored hash.
  JsonNode* previous = nullptr;
  for (JsonNode* member = table->buckets[BucketOf(table, node->key_hash_)];
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
  JsonNode* member = FindInChain(table, key, HashKey(key.data(), key.size()), &previous);
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
  FreeListSlots(&table->order);
  if (table->buckets != table->initial_buckets) FreeSlots(table->buckets, table->bucket_count);
  table->~MemberTable();
  FreeBlock(table, sizeof(MemberTable));
}

void DropMemberKey(JsonNode* member) { DropKey(member); }

}  // namespace ombrelk

#include "json/json_node.h"

#include <cstring>
#include <new>
#include <type_traits>

#include "json/node_allocator.h"
#include "platform/cp936.h"
#include "platform/number_text.h"

namespace ombrelk {

using detail::AllocateBlock;
using detail::AllocateText;
using detail::FreeBlock;
using detail::FreeText;

static_assert(sizeof(JsonNode) == 128, "a node is two cache lines, short texts included");

namespace {

// The text forms of null and the booleans are shared, never freed.
char16_t kNullText[] = u"null";
char16_t kTrueText[] = u"true";
char16_t kFalseText[] = u"false";

inline bool IsSharedText(const char16_t* text) {
  return text == kNullText || text == kTrueText || text == kFalseText;
}

JsonNode* AllocateNode() {
  void* block = AllocateBlock(sizeof(JsonNode));
  return block ? new (block) JsonNode : nullptr;
}

void FreeNodeRecord(JsonNode* node) {
  node->~JsonNode();
  FreeBlock(node, sizeof(JsonNode));
}

// A copy of the text for `node`: in its record when it fits (a node holds
// one text at most: a string value or a text form).
char16_t* CopyText(JsonNode* node, const char16_t* start, int32_t count) {
  char16_t* copy = count <= JsonNode::kInlineTextUnits ? node->text_inline_ : AllocateText(count);
  if (copy != nullptr) detail::CopyUnits(copy, start, count);
  return copy;
}

void FreeNodeText(JsonNode* node, char16_t* text, int32_t count) {
  if (text != nullptr && text != node->text_inline_ && !IsSharedText(text)) FreeText(text, count);
}

void DropTextForm(JsonNode* node) {
  FreeNodeText(node, node->text_form_, node->text_form_length_);
  node->text_form_ = nullptr;
  node->text_form_length_ = 0;
}

void DropStringValue(JsonNode* node) {
  FreeNodeText(node, node->value_.string, node->string_length_);
  node->value_.string = nullptr;
  node->string_length_ = 0;
}

void SetSharedTextForm(JsonNode* node, char16_t* text, int32_t length) {
  node->text_form_ = text;
  node->text_form_length_ = length;
}

bool SetTextForm(JsonNode* node, std::u16string_view text) {
  if (text.empty()) return true;
  char16_t* copy = CopyText(node, text.data(), static_cast<int32_t>(text.size()));
  if (copy == nullptr) return false;
  node->text_form_ = copy;
  node->text_form_length_ = static_cast<int32_t>(text.size());
  return true;
}

// The text form of a value formatted by the number-text layer (ASCII).
bool SetFormattedTextForm(JsonNode* node, const std::string& digits) {
  char16_t units[64];
  size_t n = digits.size() < 64 ? digits.size() : 64;
  for (size_t k = 0; k < n; ++k) units[k] = static_cast<unsigned char>(digits[k]);
  return SetTextForm(node, std::u16string_view(units, n));
}

bool SetStringValue(JsonNode* node, const char16_t* start, int32_t count) {
  node->value_.string = nullptr;
  node->string_length_ = 0;
  if (count <= 0) return true;
  char16_t* copy = CopyText(node, start, count);
  if (copy == nullptr) return false;
  node->value_.string = copy;
  node->string_length_ = count;
  return true;
}

// Drops one reference; true when it was the last. A count of 1 is the
// caller's own reference, which no one else can change meanwhile, so it
// needs no atomic read-modify-write.
inline bool DropReference(JsonNode* node) {
  if (node->refs_.load(std::memory_order_acquire) == 1) {
    node->refs_.store(0, std::memory_order_relaxed);
    return true;
  }
  return node->refs_.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

// Frees a scalar whose last reference went: its texts and its record,
// without resetting fields of a record that goes.
inline void FreeDeadScalar(JsonNode* node) {
  if (node->kind_ == NodeType::String) FreeNodeText(node, node->value_.string, node->string_length_);
  FreeNodeText(node, node->text_form_, node->text_form_length_);
  FreeNodeRecord(node);
}

// Hands the container's reference to `child` back: a container whose count
// reaches zero joins the `dead` list (linked through next_) to be freed by
// FreeDeadNodes, a scalar is freed at once; a child that lives on is left
// without parent.
inline void DropChildReference(JsonNode* child, JsonNode*& dead) {
  child->parent_ = nullptr;
  if (DropReference(child)) {
    if (child->kind_ == NodeType::Object || child->kind_ == NodeType::Array) {
      child->next_ = dead;
      dead = child;
    } else {
      FreeDeadScalar(child);
    }
  }
}

// DropMemberKey (member_table.h) written out here, for the loops that free
// whole tables.
inline void DropKeyOf(JsonNode* member) {
  if (member->key_ != member->key_inline_ && member->key_ != nullptr) FreeText(member->key_, member->key_length_);
  member->key_ = nullptr;
  member->key_length_ = 0;
  member->next_ = nullptr;
}

// Hands back the references of members 0..count-1 of an object's order
// (keys freed, members that live on left without key and parent).
void DropMemberReferences(MemberTable* table, JsonNode*& dead) {
  ElementList& order = table->order;
  for (int32_t k = 0; k < order.count; ++k) {
    JsonNode* member = order.slots[k];
    if (!DropReference(member)) {
      DropKeyOf(member);
      member->parent_ = nullptr;
      continue;
    }
    // The member dies with its key; nothing of its record is read again.
    if (member->key_ != member->key_inline_ && member->key_ != nullptr) FreeText(member->key_, member->key_length_);
    if (member->kind_ == NodeType::Object || member->kind_ == NodeType::Array) {
      member->next_ = dead;
      dead = member;
    } else {
      FreeDeadScalar(member);
    }
  }
}

// Releases every member of an object's table and leaves the table empty,
// its sizes kept.
void DropMembers(MemberTable* table, JsonNode*& dead) {
  DropMemberReferences(table, dead);
  // Emptied by hand: the members may be dead now and must not be touched.
  ListClear(&table->order);
  std::memset(table->buckets, 0, sizeof(JsonNode*) * table->bucket_count);
  table->member_count = 0;
}

void DropElements(ElementList* list, JsonNode*& dead) {
  for (int32_t k = 0; k < list->count; ++k) DropChildReference(list->slots[k], dead);
  ListClear(list);
}

// FreeContents without freeing the children that die: they join `dead`.
void FreeContentsInto(JsonNode* node, JsonNode*& dead) {
  switch (node->kind_) {
    case NodeType::String:
      DropStringValue(node);
      break;
    case NodeType::Object:
      // The table goes, so it is not emptied first: its order is forgotten
      // once the members' references are handed back.
      if (MemberTable* table = node->value_.table) {
        DropMemberReferences(table, dead);
        table->order.count = 0;
        table->member_count = 0;
        DestroyTable(table);
      }
      node->value_.table = nullptr;
      break;
    case NodeType::Array:
      if (ElementList* list = node->value_.list) {
        for (int32_t k = 0; k < list->count; ++k) DropChildReference(list->slots[k], dead);
        list->count = 0;
        ListDestroy(list);
      }
      node->value_.list = nullptr;
      break;
    default:
      break;
  }
  DropTextForm(node);
}

// Frees every node of the `dead` list and whatever dies with them. An
// explicit list instead of recursion: depth costs no stack, and each node is
// visited once.
void FreeDeadNodes(JsonNode* dead) {
  while (dead != nullptr) {
    JsonNode* node = dead;
    dead = node->next_;
    if (node->kind_ == NodeType::Object || node->kind_ == NodeType::Array) {
      FreeContentsInto(node, dead);
      FreeNodeRecord(node);
    } else {
      FreeDeadScalar(node);
    }
  }
}

// Frees the contents and sets the new kind with an empty value.
void Reset(JsonNode* node, NodeType kind) {
  FreeContents(node);
  node->kind_ = kind;
  node->value_.integer = 0;
}

}  // namespace

// ------------------------------------------------------------ Node operations

int32_t Query(JsonNode*, void*, void*) { return 1; }

int32_t AddReference(JsonNode* node) {
  if (node == nullptr) return 0;
  return node->refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

int32_t Release(JsonNode* node) {
  if (node == nullptr) return 0;
  if (node->refs_.load(std::memory_order_acquire) != 1) {
    int32_t count = node->refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count != 0) return count;
  } else {
    node->refs_.store(0, std::memory_order_relaxed);  // the caller's was the only reference
  }
  DetachFromParent(node);
  node->next_ = nullptr;
  FreeDeadNodes(node);
  return 0;
}

void FreeContents(JsonNode* node) {
  if (node == nullptr) return;
  JsonNode* dead = nullptr;
  FreeContentsInto(node, dead);
  FreeDeadNodes(dead);
}

void ClearContents(JsonNode* node) {
  if (node == nullptr) return;
  JsonNode* dead = nullptr;
  switch (node->kind_) {
    case NodeType::Object:
      if (node->value_.table != nullptr) DropMembers(node->value_.table, dead);
      break;
    case NodeType::Array:
      if (node->value_.list != nullptr) DropElements(node->value_.list, dead);
      break;
    case NodeType::String:
      DropStringValue(node);
      break;
    default:
      node->value_.integer = 0;
      break;
  }
  DropTextForm(node);
  FreeDeadNodes(dead);
}

void DetachFromParent(JsonNode* node) {
  if (node == nullptr || node->parent_ == nullptr) return;
  JsonNode* parent = node->parent_;
  if (parent->kind_ == NodeType::Array) {
    ListRemoveNode(parent->value_.list, node);
  } else if (parent->kind_ == NodeType::Object) {
    RemoveMemberNode(parent->value_.table, node);
  }
  node->parent_ = nullptr;
}

bool ConvertToObject(JsonNode* node) {
  if (node == nullptr) return false;
  if (node->kind_ == NodeType::Object) return true;
  Reset(node, NodeType::Object);
  node->value_.table = NewMemberTable();
  return node->value_.table != nullptr;
}

bool ConvertToArray(JsonNode* node) {
  if (node == nullptr) return false;
  if (node->kind_ == NodeType::Array) return true;
  Reset(node, NodeType::Array);
  node->value_.list = NewElementList();
  return node->value_.list != nullptr;
}

// AppendElement is in member_table.cpp, beside the list it appends to.

bool SetMember(JsonNode* node, std::u16string_view key, JsonNode* child) {
  return SetMemberWithoutZeros(node, UpToZero(key), child);
}

// SetMemberWithoutZeros is in member_table.cpp, beside the store it uses
// (one call less for every member the parser makes).

// --------------------------------------------------------------- Constructors

JsonNode* NewObjectNode() {
  JsonNode* node = AllocateNode();
  if (node == nullptr) return nullptr;
  node->kind_ = NodeType::Object;
  node->value_.table = NewMemberTable();
  if (node->value_.table == nullptr) {
    FreeNodeRecord(node);
    return nullptr;
  }
  return node;
}

JsonNode* NewArrayNode() {
  JsonNode* node = AllocateNode();
  if (node == nullptr) return nullptr;
  node->kind_ = NodeType::Array;
  node->value_.list = NewElementList();
  if (node->value_.list == nullptr) {
    FreeNodeRecord(node);
    return nullptr;
  }
  return node;
}

namespace {

// Store*: give an empty node (fresh, or with its contents freed) its kind,
// value and text form. False when storage for a text runs out (the node then
// has its kind and an empty value).

void StoreNull(JsonNode* node) {
  node->kind_ = NodeType::Null;
  node->value_.integer = 0;
  SetSharedTextForm(node, kNullText, 4);
}

void StoreBool(JsonNode* node, bool b) {
  node->kind_ = NodeType::Boolean;
  node->value_.integer = 0;
  node->value_.boolean = b ? 1 : 0;
  if (b) {
    SetSharedTextForm(node, kTrueText, 4);
  } else {
    SetSharedTextForm(node, kFalseText, 5);
  }
}

bool StoreNumber(JsonNode* node, double x, std::u16string_view text) {
  node->kind_ = NodeType::Number;
  node->value_.number = x;
  text = UpToZero(text);
  if (!text.empty()) return SetTextForm(node, text);
  return SetFormattedTextForm(node, platform::FormatG13(x));
}

bool StoreInteger(JsonNode* node, int64_t value, std::u16string_view text) {
  node->kind_ = NodeType::Integer;
  node->value_.integer = value;
  text = UpToZero(text);
  if (!text.empty()) return SetTextForm(node, text);
  std::string digits;
  platform::AppendInt64(value, digits);
  return SetFormattedTextForm(node, digits);
}

bool StoreString(JsonNode* node, const char16_t* start, int32_t count) {
  node->kind_ = NodeType::String;
  return SetStringValue(node, start, count);
}

// A fresh node given its value by `store`; dropped when that fails.
template <typename Store>
JsonNode* MakeNode(Store&& store) {
  JsonNode* node = AllocateNode();
  if (node != nullptr && !store(node)) {
    FreeContents(node);
    FreeNodeRecord(node);
    return nullptr;
  }
  return node;
}

}  // namespace

JsonNode* NewNullNode() {
  return MakeNode([](JsonNode* n) { return StoreNull(n), true; });
}
JsonNode* NewBoolNode(bool b) {
  return MakeNode([b](JsonNode* n) { return StoreBool(n, b), true; });
}
JsonNode* NewNumberNode(double x, std::u16string_view text) {
  return MakeNode([x, text](JsonNode* n) { return StoreNumber(n, x, text); });
}
JsonNode* NewIntegerNode(int64_t value, std::u16string_view text) {
  return MakeNode([value, text](JsonNode* n) { return StoreInteger(n, value, text); });
}
JsonNode* NewStringNode(std::u16string_view text) {
  text = UpToZero(text);
  return NewStringNode(text.data(), static_cast<int32_t>(text.size()));
}
JsonNode* NewStringNodeA(const char* text) {
  std::u16string wide = AnsiToUtf16(text);
  return NewStringNode(wide.data(), static_cast<int32_t>(wide.size()));
}
JsonNode* NewStringNode(const char16_t* start, int32_t count) {
  JsonNode* node = AllocateNode();
  if (node == nullptr) return nullptr;
  node->kind_ = NodeType::String;
  if (count <= 0) return node;
  char16_t* copy = CopyText(node, start, count);
  if (copy == nullptr) {
    FreeNodeRecord(node);
    return nullptr;
  }
  node->value_.string = copy;
  node->string_length_ = count;
  return node;
}

namespace {

// A fresh node of `kind` with `value` and a copy of `text` as its stored
// text form.
template <typename Value>
JsonNode* NewNodeWithTextForm(NodeType kind, Value value, const char16_t* text, int32_t length) {
  JsonNode* node = AllocateNode();
  if (node == nullptr) return nullptr;
  node->kind_ = kind;
  if constexpr (std::is_same_v<Value, double>) {
    node->value_.number = value;
  } else {
    node->value_.integer = value;
  }
  char16_t* copy = CopyText(node, text, length);
  if (copy == nullptr) {
    FreeNodeRecord(node);
    return nullptr;
  }
  node->text_form_ = copy;
  node->text_form_length_ = length;
  return node;
}

}  // namespace

JsonNode* NewParsedNumberNode(double x, const char16_t* text, int32_t length) {
  return NewNodeWithTextForm(NodeType::Number, x, text, length);
}

JsonNode* NewParsedIntegerNode(int64_t n, const char16_t* text, int32_t length) {
  return NewNodeWithTextForm(NodeType::Integer, n, text, length);
}
JsonNode* NewRawNode(std::u16string_view text) {
  return MakeNode([text](JsonNode* n) {
    n->kind_ = NodeType::Raw;
    return SetTextForm(n, UpToZero(text));
  });
}

// ------------------------------------------------------------ In-place setters

bool AssignNull(JsonNode* node) {
  if (node == nullptr) return false;
  FreeContents(node);
  StoreNull(node);
  return true;
}

bool AssignBool(JsonNode* node, bool b) {
  if (node == nullptr) return false;
  FreeContents(node);
  StoreBool(node, b);
  return true;
}

bool AssignNumber(JsonNode* node, double x, std::u16string_view text) {
  if (node == nullptr) return false;
  FreeContents(node);
  return StoreNumber(node, x, text);
}

bool AssignInteger(JsonNode* node, int64_t value, std::u16string_view text) {
  if (node == nullptr) return false;
  FreeContents(node);
  return StoreInteger(node, value, text);
}

bool AssignInteger32(JsonNode* node, int32_t value, std::u16string_view text) {
  return AssignInteger(node, value, text);  // same digits for a 32-bit value
}

bool AssignString(JsonNode* node, std::u16string_view text) {
  text = UpToZero(text);
  return AssignString(node, text.data(), static_cast<int32_t>(text.size()));
}

bool AssignStringA(JsonNode* node, const char* text) {
  if (node == nullptr) return false;
  std::u16string wide = AnsiToUtf16(text);
  return AssignString(node, wide.data(), static_cast<int32_t>(wide.size()));
}

bool AssignString(JsonNode* node, const char16_t* start, int32_t count) {
  if (node == nullptr) return false;
  FreeContents(node);
  return StoreString(node, start, count);
}

// --------------------------------------------------------------- Text helpers

std::u16string AnsiToUtf16(const char* text) {
  return text ? AnsiToUtf16(std::string_view(text)) : std::u16string();
}

std::u16string AnsiToUtf16(std::string_view text) {
  std::u16string out;
  AnsiToUtf16(text, out);
  return out;
}

void AnsiToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  platform::AppendCp936AsUtf16(text, out);
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string out;
  AppendUtf16AsAnsi(text, out);
  return out;
}

void AppendUtf16AsAnsi(std::u16string_view text, std::string& out) {
  platform::AppendUtf16AsCp936(UpToZero(text), out);
}

std::u16string CopyUtf16(std::u16string_view text) { return std::u16string(UpToZero(text)); }

}  // namespace ombrelk

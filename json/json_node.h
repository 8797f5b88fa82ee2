// The node model of the JSON document library: one reference-counted
// `JsonNode` per JSON value, its kind (`NodeType`), the node operations
// (reference counting, freeing, emptying, kind conversion, attaching
// children), the constructors and in-place setters, and the text helpers
// between code page 936 and UTF-16.
//
// Ownership
// - Every reference has exactly one holder: a document's root, a container
//   (an object holds one reference to each member, an array one to each
//   element) or the caller that got a new node from a constructor (count 1).
//   Attaching a node to a container (AppendElement, SetMember) hands the
//   caller's reference to the container.
// - A node's string value and stored text form belong to the node; member
//   keys belong to the object's MemberTable.
// - A node that leaves its container (replaced, removed, or its container
//   freed while the node is still referenced elsewhere) keeps no parent and
//   no key: Parent() is nullptr and Key() is empty afterwards.
// - When the last reference goes the node frees its whole subtree, except
//   nodes still referenced elsewhere, which live on by themselves. Freeing
//   works with an explicit list, never by recursion, and costs time linear
//   in the number of nodes freed.
//
// Threads: reference counts are atomic, so handles on one tree may be copied
// and dropped on different threads; everything else about a tree (and every
// tree sharing nodes with it) is used by one thread at a time.
//
// Every operation given no node (nullptr) does nothing and answers false, 0
// or nullptr.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/member_table.h"

namespace ombrelk {

// Kind codes; the numbers are part of the library's interface (TypeAtA).
enum class NodeType : int32_t {
  Raw = -1,  // JSON text written out unchanged; also "no node" in kind queries
  Null = 0,
  Number = 1,   // 64-bit floating value
  Integer = 2,  // signed 64-bit value
  Boolean = 3,
  String = 4,
  Array = 5,
  Object = 6,
};

class JsonNode {
 public:
  JsonNode() = default;
  JsonNode(const JsonNode&) = delete;
  JsonNode& operator=(const JsonNode&) = delete;

  // ---- Reading (O(1); the node must exist) ----
  NodeType Kind() const { return kind_; }
  int32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }
  // The Object or Array whose container holds this node; nullptr for a root
  // or a node that has left its container. Not a counted reference.
  JsonNode* Parent() const { return parent_; }
  // The key under which this node is a member of an object; empty otherwise.
  std::u16string_view Key() const { return {key_ ? key_ : u"", static_cast<size_t>(key_length_)}; }
  // The stored text form: "null", "true"/"false", a number as written in the
  // parsed text (or formatted from its value), a raw node's JSON text; empty
  // for strings, arrays and objects.
  std::u16string_view TextForm() const {
    return {text_form_ ? text_form_ : u"", static_cast<size_t>(text_form_length_)};
  }
  // A String's value; empty for other kinds. It holds zero units only when
  // made from a start and count that included some.
  std::u16string_view StringValue() const {
    if (kind_ != NodeType::String || value_.string == nullptr) return {};
    return {value_.string, static_cast<size_t>(string_length_)};
  }
  double NumberValue() const { return kind_ == NodeType::Number ? value_.number : 0.0; }
  int64_t IntegerValue() const { return kind_ == NodeType::Integer ? value_.integer : 0; }
  bool BoolValue() const { return kind_ == NodeType::Boolean && value_.boolean != 0; }

  // An Object's table and an Array's list; nullptr for any other kind.
  MemberTable* Table() const { return kind_ == NodeType::Object ? value_.table : nullptr; }
  ElementList* List() const { return kind_ == NodeType::Array ? value_.list : nullptr; }

  // Object members: count, the member at position i of the insertion order,
  // and lookup by key (exact, case-sensitive). 0 / nullptr for non-objects.
  int32_t MemberCount() const { return ombrelk::MemberCount(Table()); }
  JsonNode* MemberAt(int32_t i) const { return ombrelk::MemberAt(Table(), i); }
  JsonNode* FindMember(std::u16string_view key) const { return ombrelk::FindMember(Table(), key); }
  // Array elements. 0 / nullptr for non-arrays.
  int32_t ElementCount() const { return ListCount(List()); }
  JsonNode* ElementAt(int32_t i) const { return ListGetAt(List(), i); }
  // An Object's member count or an Array's element count, else 0; and the
  // child at index i as an index step reads it (an object's member at
  // position i, an array's element i), else nullptr.
  int32_t ChildCount() const {
    return kind_ == NodeType::Object ? MemberCount() : kind_ == NodeType::Array ? ElementCount() : 0;
  }
  JsonNode* ChildAt(int32_t i) const {
    return kind_ == NodeType::Object ? MemberAt(i) : kind_ == NodeType::Array ? ElementAt(i) : nullptr;
  }

  // ---- Internal representation ----
  // Written only by the node operations and the containers (json_node.cpp,
  // member_table.cpp); everyone else reads through the accessors above.
  // Short keys and texts live in the record itself, longer ones in blocks of
  // their own.
  static constexpr int32_t kInlineKeyUnits = 12;
  static constexpr int32_t kInlineTextUnits = 18;

  std::atomic<int32_t> refs_{1};
  NodeType kind_ = NodeType::Null;
  int32_t key_hash_ = 0;        // the table's chain hash of Key() while a member
  int32_t key_length_ = 0;
  char16_t* key_ = nullptr;     // owned by the parent's MemberTable
  JsonNode* parent_ = nullptr;
  JsonNode* next_ = nullptr;    // next in bucket chain; free-list link once dead
  union Value {
    double number;
    int64_t integer;
    int32_t boolean;
    MemberTable* table;
    ElementList* list;
    char16_t* string;
  } value_{};
  int32_t string_length_ = 0;
  int32_t text_form_length_ = 0;
  char16_t* text_form_ = nullptr;  // owned by the node (or a shared literal)
  int32_t order_hint_ = -1;  // where the member last stood in its table's order
  char16_t key_inline_[kInlineKeyUnits];    // holds key_ when it fits
  char16_t text_inline_[kInlineTextUnits];  // holds the string or text form when it fits
};

// ------------------------------------------------------------ Node operations

// Does nothing; answers 1 (kept for the shape of the operations set).
int32_t Query(JsonNode* node, void* a, void* b);
// Adds one reference; the new count.
int32_t AddReference(JsonNode* node);
// Drops one reference; at zero the node leaves its parent, frees its contents
// (its subtree, as above) and is freed. The new count.
int32_t Release(JsonNode* node);
// Frees what the node holds (members, elements, string, stored text form);
// the kind stays. A container's value becomes "no table/list": it behaves as
// empty and takes no children until converted again.
void FreeContents(JsonNode* node);
// Empties the node in place, kind kept: members or elements released (the
// table or list itself stays, with its grown size), a string emptied, a
// scalar's value zeroed; the stored text form dropped.
void ClearContents(JsonNode* node);
// Takes the node out of its parent's container (if it is still there) and
// clears the parent link and key.
void DetachFromParent(JsonNode* node);
// Kind conversion: an Object (Array) is left as it is, contents included;
// any other node has its contents freed and becomes an empty Object (Array).
// False only without a node or when storage runs out.
bool ConvertToObject(JsonNode* node);
bool ConvertToArray(JsonNode* node);
// AppendElement and SetMember take a child that is in no container (a new
// node, or one detached first); only the member already stored under the
// same key may be stored again.
//
// Makes `node` an Array if it is not one, then appends `child`, handing the
// caller's reference to the list. False without node or child, or when the
// node has no list (the child is then still the caller's).
bool AppendElement(JsonNode* node, JsonNode* child);
// Makes `node` an Object if it is not one, then stores `child` under `key`
// (up to its first zero code unit): an existing member with that key is
// replaced in its place of the insertion order and released; a new key goes
// to the end. The caller's reference goes to the table. False without node
// or child, or when the node has no table (the child is then still the
// caller's).
bool SetMember(JsonNode* node, std::u16string_view key, JsonNode* child);
// As SetMember for a key known to hold no zero code unit (the parser's):
// the key is taken whole.
bool SetMemberWithoutZeros(JsonNode* node, std::u16string_view key, JsonNode* child);

// --------------------------------------------------------------- Constructors
// Each answers a new node with count 1, no parent and no key, or nullptr
// when storage runs out. All nodes come from one allocator shared by every
// document, so a node may be moved between trees freely.

JsonNode* NewObjectNode();  // empty table: 11 buckets, load factor 0.75
JsonNode* NewArrayNode();   // empty list: capacity 8
JsonNode* NewNullNode();    // text form "null"
JsonNode* NewBoolNode(bool b);  // text form "true" / "false"
// Text form: `text` (up to its first zero) when not empty, else the value
// formatted ("%.13g" with a three-digit exponent: 1E20 -> "1e+020").
JsonNode* NewNumberNode(double x, std::u16string_view text = {});
// Text form: `text` when not empty, else the decimal digits of n.
JsonNode* NewIntegerNode(int64_t n, std::u16string_view text = {});
// The value is a copy of `text` up to its first zero code unit.
JsonNode* NewStringNode(std::u16string_view text);
// The value is `text` (GBK, up to its first zero byte; nullptr = empty)
// converted to UTF-16.
JsonNode* NewStringNodeA(const char* text);
// The value is exactly `count` code units from `start`, zeros included.
JsonNode* NewStringNode(const char16_t* start, int32_t count);
// Text form: a copy of `text`.
JsonNode* NewRawNode(std::u16string_view text);
// For the parser, whose tokens hold no zero code unit: a Number or Integer
// with the stored text form `length` (> 0) units from `text`, taken whole.
JsonNode* NewParsedNumberNode(double x, const char16_t* text, int32_t length);
JsonNode* NewParsedIntegerNode(int64_t n, const char16_t* text, int32_t length);

// ------------------------------------------------------------ In-place setters
// Each frees the node's contents first, then stores the new kind, value and
// text form; identity, count, parent, key and place in the container stay.
// False without a node (or when storage runs out; the node is then left
// with its new kind and an empty value).

bool AssignNull(JsonNode* node);
bool AssignBool(JsonNode* node, bool b);
bool AssignNumber(JsonNode* node, double x, std::u16string_view text = {});
bool AssignInteger(JsonNode* node, int64_t n, std::u16string_view text = {});
// A 32-bit value: without text, the text form is the 32-bit decimal form.
bool AssignInteger32(JsonNode* node, int32_t n, std::u16string_view text = {});
bool AssignString(JsonNode* node, std::u16string_view text);  // up to first zero
bool AssignStringA(JsonNode* node, const char* text);         // GBK
bool AssignString(JsonNode* node, const char16_t* start, int32_t count);  // exactly count units

// --------------------------------------------------------------- Text helpers

// GBK (code page 936) -> UTF-16. The text ends at its first zero byte; a
// missing text (nullptr) is empty. Invalid sequences become '?' as Windows
// converts them.
std::u16string AnsiToUtf16(const char* text);
std::u16string AnsiToUtf16(std::string_view text);
// As above, into `out` (replacing its contents), reusing its storage.
void AnsiToUtf16(std::string_view text, std::u16string& out);
// UTF-16 -> GBK. The text ends at its first zero code unit; a code unit
// without a mapping becomes '?'.
std::string Utf16ToAnsi(std::u16string_view text);
// Appends to `out`.
void AppendUtf16AsAnsi(std::u16string_view text, std::string& out);
// A private copy of `text` up to its first zero code unit.
std::u16string CopyUtf16(std::u16string_view text);
// `text` cut at its first zero code unit (the length the library gives a
// zero-terminated text).
inline std::u16string_view UpToZero(std::u16string_view text) {
  size_t zero = text.find(u'\0');
  return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

}  // namespace ombrelk

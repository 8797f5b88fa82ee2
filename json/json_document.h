// `JsonDocument`: the handle users hold on a JSON tree. It holds one counted
// reference to a root `JsonNode`, or none. Copying a handle adds a reference
// to the root (both handles show the same tree, changes through one are seen
// through the other); destroying or clearing one releases it. A tree lives as
// long as any handle or container references its root.
//
// Text forms: methods ending in A take zero-terminated GBK (code page 936)
// texts as `const char*` (nullptr is a missing text, the same as empty) and
// give GBK `std::string`s; methods ending in W take `std::u16string_view`
// (the text ends at its first zero code unit) and give `std::u16string`s.
// An empty result is the empty string. Both forms share one implementation.
//
// Paths: most methods address a node below the root with a path, their
// first parameter ("a.b[2]"; an index on an object selects its member at
// that position of the insertion order); an omitted or empty path is the
// root. A path that does not resolve gives the method's empty result (-1
// kind, 0 count, empty text, false, a document without root).
//
// Failures are results, never exceptions. Only the parse methods report a
// document error code (kParseOk and kError*) with a position.
//
// Threads: documents sharing nodes may be copied and destroyed on different
// threads; a tree itself is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_node.h"

namespace ombrelk {

// Document error codes, reported only by the parse methods.
inline constexpr int kParseOk = 0;
inline constexpr int kErrorNothingToParse = -2;   // no root to parse into, or an empty text
inline constexpr int kErrorNoStorage = -3;        // storage ran out, or a value could not be placed
inline constexpr int kErrorMisplaced = -4;        // a key missing, empty or malformed; a misplaced container
inline constexpr int kErrorUnterminated = -5;     // the text ended with objects or arrays still open
inline constexpr int kErrorBadToken = -6;         // not a string, number, true, false or null; open quote; ...

class JsonDocument {
 public:
  JsonDocument() = default;
  JsonDocument(const JsonDocument& other);
  JsonDocument(JsonDocument&& other) noexcept : root_(other.root_) { other.root_ = nullptr; }
  JsonDocument& operator=(const JsonDocument& other);
  JsonDocument& operator=(JsonDocument&& other) noexcept;
  ~JsonDocument();

  // A new handle sharing `node` (a reference is added); no root for nullptr.
  static JsonDocument Sharing(JsonNode* node);

  // ---- Lifecycle ----

  // Releases the root reference, if any. (The handle itself is a value; its
  // storage goes with its owner.)
  void Destroy();
  // A second handle on the same root.
  JsonDocument Copy() const;

  // ---- Parsing ----
  // Each parse method takes the text, then: decode \u escapes in strings and
  // keys; ignore every character outside top-level objects and arrays (else
  // such characters make the whole text one scalar value); the error code
  // and the error position (code units of the UTF-16 text) when wanted.
  // True when the code is kParseOk.
  //
  // ParseA / ParseW: a fresh empty object root replaces the old root first
  // (the old tree is released even when the parse then fails). A missing or
  // empty text leaves that empty object, succeeds and writes neither
  // out-argument. After a failure the root is an empty node of the kind the
  // text had made it (an empty object, an empty array, or a zero scalar).
  bool ParseA(const char* text = nullptr, bool decodeUnicodeEscapes = false,
              bool skipTopLevelText = false, int* errorCode = nullptr,
              int* errorPosition = nullptr);
  // As above for exactly the bytes of `text`, which need not be
  // zero-terminated; the text still ends at its first zero byte.
  bool ParseA(std::string_view text, bool decodeUnicodeEscapes = false,
              bool skipTopLevelText = false, int* errorCode = nullptr,
              int* errorPosition = nullptr);
  bool ParseW(std::u16string_view text = {}, bool decodeUnicodeEscapes = false,
              bool skipTopLevelText = false, int* errorCode = nullptr,
              int* errorPosition = nullptr);

  // Drops the root; the document has no root afterwards.
  void Clear();
  // The root node, or nullptr; no reference is added.
  JsonNode* GetRoot() const { return root_; }
  // Holds `node` as the root (a reference is added before the old root is
  // released, so setting the current root changes nothing). nullptr leaves
  // the old root in place.
  void SetRoot(JsonNode* node);

  // Value documents (NewObject, NewArray, NewNull, NewBool, NewStringW,
  // NewStringA, NewNumber, NewInt64) go here.

  // ParseIntoW / ParseIntoA: the existing root node keeps its identity and
  // receives the parsed value (handles sharing it see the new contents); it
  // is emptied first, and again after a failure. A document without root
  // first gets a fresh empty object root. An empty W text fails with
  // kErrorNothingToParse and leaves the root as it was.
  bool ParseIntoW(std::u16string_view text, bool decodeUnicodeEscapes = false,
                  bool skipTopLevelText = false, int* errorCode = nullptr,
                  int* errorPosition = nullptr);
  bool ParseIntoA(const char* text, bool decodeUnicodeEscapes = false,
                  bool skipTopLevelText = false, int* errorCode = nullptr,
                  int* errorPosition = nullptr);

  // Serializer (ToJsonW, ToJsonA) goes here.

  // ---- Value readers ----

  // Kind code of the node (NodeType as int); -1 when nothing is found.
  int TypeAtA(const char* path = nullptr) const;
  int TypeAtW(std::u16string_view path = {}) const;
  // A document sharing the object or array that holds the node; no root for
  // a root node, a detached node, or nothing found.
  JsonDocument ParentAtA(const char* path = nullptr) const;
  JsonDocument ParentAtW(std::u16string_view path = {}) const;
  // Member count of an object, element count of an array; 0 otherwise.
  int CountAtA(const char* path = nullptr) const;
  int CountAtW(std::u16string_view path = {}) const;

  // Detach, RemoveMemberW/A, RemoveElementA/W, ClearNodeA/W and
  // SetMemberFromA/W go here.

  // A document sharing the member with `key` (a plain key, not a path) of
  // the object at the path.
  JsonDocument MemberByKeyA(const char* path = nullptr, const char* key = nullptr) const;
  JsonDocument MemberByKeyW(std::u16string_view path = {}, std::u16string_view key = {}) const;
  // The key under which the node is held by its object; empty for a root, an
  // array element or a node no longer held by an object.
  std::u16string KeyAtW(std::u16string_view path = {}) const;
  std::string KeyAtA(const char* path = nullptr) const;

  // AppendElementFromA/W and InsertElementFromA/W go here.

  // A document sharing the element (array) or the member at that position
  // of the insertion order (object) at `index` of the node at the path.
  JsonDocument MemberAtA(const char* path = nullptr, int index = 0) const;
  JsonDocument MemberAtW(std::u16string_view path = {}, int index = 0) const;

  // SetElementFromA/W goes here.

  // True when the path has at least one step and every step resolves.
  bool ExistsW(std::u16string_view path = {}) const;
  bool ExistsA(const char* path = nullptr) const;

  // ShareNodeA/W, MakeObjectA/W, MakeArrayA/W, SetStringA/W, SetNullW/A,
  // SetBoolW/A, SetNumberW/A, SetInt64W/A and SetIntW/A go here.

  // The stored text form ("null", "true"/"false", a number as written, a raw
  // node's text); empty for strings, arrays, objects and nothing found.
  std::string TextFormAtA(const char* path = nullptr) const;
  std::u16string TextFormAtW(std::u16string_view path = {}) const;
  // The node's text: a string's value, a number's or boolean's text form;
  // empty for null, raw, arrays, objects and nothing found.
  std::string TextAtA(const char* path = nullptr) const;
  std::u16string TextAtW(std::u16string_view path = {}) const;
  bool BoolAtW(std::u16string_view path = {}) const;
  bool BoolAtA(const char* path = nullptr) const;
  double NumberAtW(std::u16string_view path = {}) const;
  double NumberAtA(const char* path = nullptr) const;
  int64_t Int64AtW(std::u16string_view path = {}) const;
  int64_t Int64AtA(const char* path = nullptr) const;
  int32_t IntAtW(std::u16string_view path = {}) const;
  int32_t IntAtA(const char* path = nullptr) const;
  // The keys of the object at the path, in insertion order, replacing the
  // contents of `keys`; the count. For anything but an object: 0, `keys`
  // left as it was.
  int KeysAtW(std::u16string_view path, std::vector<std::u16string>& keys) const;
  int KeysAtA(const char* path, std::vector<std::string>& keys) const;
  int KeysAtW(std::vector<std::u16string>& keys) const { return KeysAtW(std::u16string_view{}, keys); }
  int KeysAtA(std::vector<std::string>& keys) const { return KeysAtA(nullptr, keys); }
  // Documents sharing the members (object) or elements (array) at the path,
  // replacing the contents of `values`; the count. With none: 0, `values`
  // left as it was.
  int ValuesAtW(std::u16string_view path, std::vector<JsonDocument>& values) const;
  int ValuesAtA(const char* path, std::vector<JsonDocument>& values) const;
  int ValuesAtW(std::vector<JsonDocument>& values) const { return ValuesAtW(std::u16string_view{}, values); }
  int ValuesAtA(std::vector<JsonDocument>& values) const { return ValuesAtA(nullptr, values); }

  // CloneNodeW/A, SortMembersW/A, SortWithW/A, MergeTextW/A,
  // AddMembersFromA, AddElementsFromA and InsertMemberFromW/A go here.

 private:
  bool TakeFreshRoot(int* errorCode, int* errorPosition);

  JsonNode* root_ = nullptr;
};

}  // namespace ombrelk

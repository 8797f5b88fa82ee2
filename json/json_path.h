// Path expressions: text that addresses one node below a document's root.
//
//   'user.name'   key user, then key name
//   'items[2]'    key items, then index 2; an index on an object selects the
//                 member at that position of its insertion order
//   'a\.b'        the single key a.b (a backslash escapes . [ ] and \ only;
//                 before any other character it stays in the key)
//   ''  '.'       no steps: the start node itself
//
// Empty key steps are skipped ('a..b' is 'a.b'). Once a '[' has been seen,
// every later ']' closes an index that starts after the most recent '[':
// '[1]]' is index 1 twice, '[1.5]' is key 1 then index 1 (the dot still ends
// a key), and '[]' is index 0. A ']' before any '[' only drops the key text
// before it ('a]b' is key b). Index text is read as StrToIntW reads it,
// except that an index beyond the 32-bit range stays out of range.
//
// Readers resolve a path per call, so parsing and resolving a short path
// never touches the heap: its steps and its working text live inside the
// `ParsedPath` on the caller's stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "json/json_node.h"

namespace ombrelk {

class JsonDocument;

// One step of a parsed path.
struct PathSegment {
  enum Kind : int32_t { kKey = 1, kIndex = 2 };

  int32_t kind;
  // Key steps: the key, unescaped. Points into the owning ParsedPath.
  std::u16string_view key;
  // Index steps: the index as written; negative or too large ones simply
  // do not resolve.
  int32_t index;
};

// The steps of one path, in path order. Holds the path's working text (the
// unescaped copy the keys point into); neither copyable nor movable, since the
// keys point into the object itself. Paths of up to kInlineText code units
// with up to kInlineSteps steps need no heap storage.
class ParsedPath {
 public:
  static constexpr size_t kInlineText = 48;
  static constexpr size_t kInlineSteps = 6;

  ParsedPath() = default;
  ParsedPath(const ParsedPath&) = delete;
  ParsedPath& operator=(const ParsedPath&) = delete;

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const PathSegment& operator[](size_t i) const { return steps_[i]; }
  const PathSegment* begin() const { return steps_; }
  const PathSegment* end() const { return steps_ + count_; }

 private:
  friend void ParsePath(std::u16string_view path, ParsedPath& steps);
  friend void ParsePathA(const char* path, ParsedPath& steps);

  struct FreeSteps {
    void operator()(PathSegment* steps) const { ::operator delete(steps); }
  };

  // Empties the steps and gives room for `length` code units plus a zero;
  // nullptr when storage is not available.
  char16_t* PrepareText(size_t length);
  void Scan(size_t length);
  void Add(int32_t kind, std::u16string_view key, int32_t index) {
    new (&steps_[count_++]) PathSegment{kind, key, index};
  }

  char16_t* text_ = inline_text_;
  PathSegment* steps_ = reinterpret_cast<PathSegment*>(inline_steps_);
  size_t count_ = 0;
  std::unique_ptr<char16_t[]> heap_text_;
  std::unique_ptr<PathSegment, FreeSteps> heap_steps_;
  // Raw storage: nothing is initialised until a step is added, so a path
  // costs only what it uses.
  char16_t inline_text_[kInlineText + 1];
  alignas(PathSegment) unsigned char inline_steps_[kInlineSteps * sizeof(PathSegment)];
};

// Splits a UTF-16 path into `steps` (replacing what it held). Only the code
// units before the first zero code unit count. When storage for a long path
// is not available the path has no steps.
void ParsePath(std::u16string_view path, ParsedPath& steps);

// The same for a zero-terminated code page 936 path (nullptr is empty). An
// all-ASCII path is widened in place; any other path is converted first.
void ParsePathA(const char* path, ParsedPath& steps);

// The node that `steps` lead to from `start` (nullptr: no node), or nullptr
// when a step finds nothing; no steps give `start` itself. A key step finds
// the member of an object with exactly that key; an index step an array's
// element or an object's member at that position of its insertion order.
// Nothing is created, changed or retained: the caller uses the node at once
// or takes a reference of its own.
JsonNode* ResolveForRead(JsonNode* start, const ParsedPath& steps);
JsonNode* ResolveForRead(JsonNode* start, std::u16string_view path);
JsonNode* ResolveForReadA(JsonNode* start, const char* path);

// TypeAtA and TextAtA on the same path in one: appends to `out` exactly what
// TextAtA(path) gives and answers what TypeAtA(path) gives, with one path
// resolution and no temporary text. Allocates only when `out` must grow.
int AppendTextAtA(const JsonDocument& document, const char* path, std::string& out);

// The text TextAtA and TextAtW give for `node` (nullptr: no node), in UTF-16
// and not yet cut at its first zero code unit, where the readers end it: a
// string's value, the stored text form of a number, an integer or a boolean;
// empty for anything else. For callers that hold the node already: the CSV
// formatter walks a line's members by position rather than resolving "[k]",
// and calls this for every cell, hence inline.
inline std::u16string_view StoredTextOf(const JsonNode* node) {
  if (node == nullptr) return {};
  switch (node->Kind()) {
    case NodeType::String:
      return node->StringValue();
    case NodeType::Number:
    case NodeType::Integer:
    case NodeType::Boolean:
      return node->TextForm();
    default:  // nothing for null, raw, arrays and objects
      return {};
  }
}

}  // namespace ombrelk

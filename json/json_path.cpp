#include "json/json_path.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "json/json_document.h"
#include "json/json_node.h"
#include "platform/cp936.h"

namespace ombrelk {

namespace {

// Index text as StrToIntW reads it: an optional sign right at the start,
// then ASCII digits up to the first other character; no digits give 0. A
// value beyond the 32-bit range does not wrap back into it (StrToIntW keeps
// the low 32 bits, so "[4294967296]" would name the first child): it becomes
// the nearest 32-bit value, which no container reaches, so a too large index
// finds nothing, as a negative one does.
int32_t ReadIndex(std::u16string_view text) {
  size_t p = 0;
  bool negative = false;
  if (p < text.size() && (text[p] == u'+' || text[p] == u'-')) negative = text[p++] == u'-';
  constexpr int64_t kBeyond = INT64_C(2147483648);  // the first magnitude out of range
  int64_t magnitude = 0;
  for (; p < text.size() && text[p] >= u'0' && text[p] <= u'9'; ++p) {
    magnitude = std::min(magnitude * 10 + (text[p] - u'0'), kBeyond);
  }
  if (negative) return static_cast<int32_t>(-magnitude);  // -2^31 still fits
  return static_cast<int32_t>(std::min(magnitude, kBeyond - 1));
}

}  // namespace

char16_t* ParsedPath::PrepareText(size_t length) {
  count_ = 0;
  if (length <= kInlineText) {
    text_ = inline_text_;
  } else {
    heap_text_.reset(new (std::nothrow) char16_t[length + 1]);
    text_ = heap_text_.get();
  }
  return text_;
}

// Scans the working text text_[0, length) (zero at `length`) into steps.
void ParsedPath::Scan(size_t length) {
  // Every step is closed by a '.', '[', ']' or the end, which bounds the
  // number of steps: one allocation at most, and none for short paths.
  size_t most_steps = length + 1;
  if (most_steps > kInlineSteps) {
    most_steps = 1;
    for (size_t p = 0; p < length; ++p) {
      char16_t c = text_[p];
      most_steps += c == u'.' || c == u'[' || c == u']';
    }
  }
  if (most_steps > kInlineSteps) {
    heap_steps_.reset(static_cast<PathSegment*>(
        ::operator new(most_steps * sizeof(PathSegment), std::nothrow)));
    if (!heap_steps_) return;  // no storage: the path has no steps
    steps_ = heap_steps_.get();
  } else {
    steps_ = reinterpret_cast<PathSegment*>(inline_steps_);
  }

  char16_t* t = text_;
  size_t start = 0;      // first position of the pending key text
  size_t open = 0;       // position after the most recent '['
  bool bracket = false;  // a '[' has been seen; stays set to the end
  for (size_t p = 0; p <= length; ++p) {
    char16_t c = t[p];  // t[length] is the terminating zero
    if (c == u'\\') {
      char16_t next = t[p + 1];
      if (next == u'.' || next == u'[' || next == u']' || next == u'\\') {
        // Drop the backslash; the escaped character now stands at p and is
        // stepped over as a key character.
        std::memmove(t + p, t + p + 1, (length - p) * sizeof(char16_t));
        --length;
      }
      continue;
    }
    if (c == u'.' || p == length) {
      if (start < p) Add(PathSegment::kKey, {t + start, p - start}, 0);
      start = p + 1;
    } else if (c == u'[') {
      if (start < p) Add(PathSegment::kKey, {t + start, p - start}, 0);
      open = p + 1;
      bracket = true;
      start = p + 1;
    } else if (c == u']') {
      if (bracket) Add(PathSegment::kIndex, {}, ReadIndex({t + open, p - open}));
      start = p + 1;
    }
  }
}

void ParsePath(std::u16string_view path, ParsedPath& steps) {
  path = path.substr(0, std::min(path.find(u'\0'), path.size()));
  char16_t* text = steps.PrepareText(path.size());
  if (path.empty() || text == nullptr) return;
  std::copy(path.begin(), path.end(), text);
  text[path.size()] = 0;
  steps.Scan(path.size());
}

void ParsePathA(const char* path, ParsedPath& steps) {
  steps.count_ = 0;
  if (path == nullptr) return;
  // The converter's "[k]": one index step, read here directly (up to nine
  // digits cannot overflow, so the value is what the general scan reads).
  if (path[0] == '[') {
    int32_t index = 0;
    size_t p = 1;
    while (p <= 9 && path[p] >= '0' && path[p] <= '9') index = index * 10 + (path[p++] - '0');
    if (p > 1 && path[p] == ']' && path[p + 1] == 0) {
      steps.steps_ = reinterpret_cast<PathSegment*>(steps.inline_steps_);
      steps.Add(PathSegment::kIndex, {}, index);
      return;
    }
  }
  // Code page 936 maps ASCII to itself: a short ASCII path (the usual case)
  // is widened into the inline text as its end is looked for.
  char16_t* text = steps.inline_text_;
  size_t length = 0;
  while (length < ParsedPath::kInlineText) {
    unsigned char byte = static_cast<unsigned char>(path[length]);
    if (byte == 0 || byte >= 0x80) break;
    text[length++] = byte;
  }
  if (path[length] == 0) {
    if (length == 0) return;
    text[length] = 0;
    steps.text_ = text;
    steps.Scan(length);
    return;
  }
  std::string_view rest(path + length);
  length += rest.size();
  bool ascii = std::all_of(rest.begin(), rest.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) {
    ParsePath(platform::Cp936ToUtf16({path, length}), steps);
    return;
  }
  text = steps.PrepareText(length);
  if (text == nullptr) return;
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<unsigned char>(path[i]);
  text[length] = 0;
  steps.Scan(length);
}

JsonNode* ResolveForRead(JsonNode* start, const ParsedPath& steps) {
  JsonNode* node = start;
  for (const PathSegment& step : steps) {
    if (node == nullptr) break;
    node = step.kind == PathSegment::kKey ? node->FindMember(step.key) : node->ChildAt(step.index);
  }
  return node;
}

JsonNode* ResolveForRead(JsonNode* start, std::u16string_view path) {
  ParsedPath steps;
  ParsePath(path, steps);
  return ResolveForRead(start, steps);
}

JsonNode* ResolveForReadA(JsonNode* start, const char* path) {
  ParsedPath steps;
  ParsePathA(path, steps);
  return ResolveForRead(start, steps);
}

// A path without steps names no node here, although it resolves to the root.
bool JsonDocument::ExistsW(std::u16string_view path) const {
  ParsedPath steps;
  ParsePath(path, steps);
  return !steps.empty() && ResolveForRead(root_, steps) != nullptr;
}

bool JsonDocument::ExistsA(const char* path) const {
  ParsedPath steps;
  ParsePathA(path, steps);
  return !steps.empty() && ResolveForRead(root_, steps) != nullptr;
}

}  // namespace ombrelk

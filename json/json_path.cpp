#include "json/json_path.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "json/json_document.h"
#include "json/json_node.h"
#include "platform/cp936.h"
#include "platform/number_text.h"

namespace ombrelk {

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
  // Every step is closed by a '.', '[', ']' or the end, so that bounds the
  // number of steps; one allocation at most, never a growth.
  size_t most_steps = 1;
  for (size_t p = 0; p < length; ++p) {
    char16_t c = text_[p];
    most_steps += c == u'.' || c == u'[' || c == u']';
  }
  if (most_steps > kInlineSteps) {
    heap_steps_.reset(new (std::nothrow) PathSegment[most_steps]);
    if (!heap_steps_) return;  // no storage: the path has no steps
    steps_ = heap_steps_.get();
    step_capacity_ = most_steps;
  } else {
    steps_ = inline_steps_;
    step_capacity_ = kInlineSteps;
  }

  char16_t* t = text_;
  size_t start = 0;     // first position of the pending key text
  size_t open = 0;      // position after the most recent '['
  bool bracket = false; // a '[' has been seen; stays set to the end
  auto add_key = [&](size_t p) {
    if (start < p) steps_[count_++] = {PathSegment::kKey, {t + start, p - start}, 0};
  };
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
      add_key(p);
      start = p + 1;
    } else if (c == u'[') {
      add_key(p);
      open = p + 1;
      bracket = true;
      start = p + 1;
    } else if (c == u']') {
      if (bracket) {
        int32_t index = platform::ReadStrToInt({t + open, p - open});
        steps_[count_++] = {PathSegment::kIndex, {}, index};
      }
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
  size_t length = path != nullptr ? std::strlen(path) : 0;
  bool ascii = true;
  for (size_t i = 0; i < length && ascii; ++i) ascii = static_cast<unsigned char>(path[i]) < 0x80;
  if (!ascii) {
    // Code page 936 maps ASCII to itself, so only other paths need the table.
    ParsePath(platform::Cp936ToUtf16({path, length}), steps);
    return;
  }
  char16_t* text = steps.PrepareText(length);
  if (length == 0 || text == nullptr) return;
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

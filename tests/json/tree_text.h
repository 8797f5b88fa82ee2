// Compact text of a JSON tree for test expectations, independent of the
// library's serializer: kinds and stored text forms stay visible.
//   Object {"k":v,...}   Array [v,...]   String "text"   null true false
//   Integer i<text form>   Number n<text form>   Raw r<text form>
// Inside quotes: \\ \" \r \n \t, other units below 0x20 or above 0x7E as
// \uXXXX.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/json_node.h"

namespace ombrelk::test {

inline void AppendQuoted(std::u16string_view text, std::string& out) {
  out += '"';
  for (char16_t c : text) {
    if (c == u'\\') {
      out += "\\\\";
    } else if (c == u'"') {
      out += "\\\"";
    } else if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\t') {
      out += "\\t";
    } else if (c < 0x20 || c > 0x7E) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

inline std::string Quoted(std::u16string_view text) {
  std::string out;
  AppendQuoted(text, out);
  return out;
}

inline void AppendPlain(std::u16string_view text, std::string& out) {
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
}

// Iterative, so deep trees are fine too.
inline std::string TreeText(const JsonNode* root) {
  if (root == nullptr) return "(none)";
  std::string out;
  // Each frame: a container and the index of its next child.
  std::vector<std::pair<const JsonNode*, int32_t>> stack;
  const JsonNode* node = root;
  for (;;) {
    if (node != nullptr) {
      switch (node->Kind()) {
        case NodeType::Object:
          out += '{';
          stack.push_back({node, 0});
          break;
        case NodeType::Array:
          out += '[';
          stack.push_back({node, 0});
          break;
        case NodeType::String:
          AppendQuoted(node->StringValue(), out);
          break;
        case NodeType::Integer:
          out += 'i';
          AppendPlain(node->TextForm(), out);
          break;
        case NodeType::Number:
          out += 'n';
          AppendPlain(node->TextForm(), out);
          break;
        case NodeType::Raw:
          out += 'r';
          AppendPlain(node->TextForm(), out);
          break;
        default:
          AppendPlain(node->TextForm(), out);
          break;
      }
    }
    if (stack.empty()) break;
    auto& [container, next] = stack.back();
    if (next == container->ChildCount()) {
      out += container->Kind() == NodeType::Object ? '}' : ']';
      stack.pop_back();
      node = nullptr;
      continue;
    }
    if (next > 0) out += ',';
    node = container->ChildAt(next++);
    if (container->Kind() == NodeType::Object) {
      AppendQuoted(node->Key(), out);
      out += ':';
    }
  }
  return out;
}

}  // namespace ombrelk::test

// The value readers of JsonDocument: each finds the node at a path (A form:
// a GBK path; W form: a UTF-16 path) and answers a question about it without
// changing anything. Nothing found (a path that does not resolve, no root)
// gives the reader's empty result: -1, 0, false, an empty text, a document
// without root. Documents handed out share their node by reference count.
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "json/json_document.h"
#include "json/json_node.h"
#include "json/json_path.h"
#include "platform/number_text.h"

namespace ombrelk {

namespace {

JsonNode* At(JsonNode* root, const char* path) { return ResolveForReadA(root, path); }
JsonNode* At(JsonNode* root, std::u16string_view path) { return ResolveForRead(root, path); }

// ---------------------------------------------------------------- Kind rules

int KindOf(const JsonNode* node) { return node ? static_cast<int>(node->Kind()) : -1; }

// What TextAtA/W give. Results are zero-terminated texts, so a zero code
// unit ends them.
std::u16string_view TextOf(const JsonNode* node) { return UpToZero(StoredTextOf(node)); }

std::u16string_view TextFormOf(const JsonNode* node) {
  return node ? UpToZero(node->TextForm()) : std::u16string_view{};
}

// A floating value truncated toward zero. Values beyond the 64-bit range and
// NaN give INT64_MIN, the "integer indefinite" the x86 conversion gives.
int64_t Truncate(double x) {
  if (!(x > -9223372036854775808.0 && x < 9223372036854775808.0)) return INT64_MIN;
  return static_cast<int64_t>(x);
}

// Full-width forms of GBK folded to ASCII in place: a two-byte character
// A3 xx (xx from A1 to FE) becomes the byte xx - 0x80 (full-width digits,
// signs and points become ASCII ones); A1A1 becomes a space, A1AB a tilde,
// A1EE and A1EF an asterisk. Other characters are kept whole.
void FoldFullWidth(std::string& text) {
  size_t out = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x81 || lead == 0xFF || i + 1 == text.size()) {
      text[out++] = text[i++];
      continue;
    }
    unsigned char trail = static_cast<unsigned char>(text[i + 1]);
    char folded = 0;
    if (lead == 0xA3 && trail >= 0xA1 && trail != 0xFF) {
      folded = static_cast<char>(trail - 0x80);
    } else if (lead == 0xA1) {
      folded = trail == 0xA1 ? ' ' : trail == 0xAB ? '~' : trail == 0xEE || trail == 0xEF ? '*' : 0;
    }
    if (folded != 0) {
      text[out++] = folded;
    } else {
      text[out++] = text[i];
      text[out++] = text[i + 1];
    }
    i += 2;
  }
  text.resize(out);
}

bool BoolOf(const JsonNode* node) {
  if (node == nullptr) return false;
  switch (node->Kind()) {
    case NodeType::Number:
      return std::fabs(node->NumberValue()) > 1e-7;
    case NodeType::Integer:
      return node->IntegerValue() != 0;
    case NodeType::Boolean:
      return node->BoolValue();
    default:  // a string never reads as true, whatever it says
      return false;
  }
}

double NumberOf(const JsonNode* node) {
  if (node == nullptr) return 0;
  switch (node->Kind()) {
    case NodeType::Number:
      return node->NumberValue();
    case NodeType::Integer:
      return static_cast<double>(node->IntegerValue());
    case NodeType::Boolean:
      return node->BoolValue() ? 1.0 : 0.0;
    case NodeType::String: {
      std::string text = Utf16ToAnsi(UpToZero(node->StringValue()));
      FoldFullWidth(text);
      return platform::ReadAtof(text);
    }
    default:
      return 0;
  }
}

int64_t Int64Of(const JsonNode* node) {
  if (node == nullptr) return 0;
  switch (node->Kind()) {
    case NodeType::Number:
      return Truncate(node->NumberValue());
    case NodeType::Integer:
      return node->IntegerValue();
    case NodeType::Boolean:
      return node->BoolValue() ? 1 : 0;
    case NodeType::String:
      return platform::ReadWtoi64(UpToZero(node->StringValue()));
    default:
      return 0;
  }
}

int32_t IntOf(const JsonNode* node) {
  if (node != nullptr && node->Kind() == NodeType::String) {
    return platform::ReadStrToInt(UpToZero(node->StringValue()));
  }
  // The low 32 bits, as a two's complement int keeps them.
  return static_cast<int32_t>(static_cast<uint32_t>(Int64Of(node)));
}

// The key under which an object holds the node; empty for a root, an array
// element or a node that has left its object.
std::u16string_view KeyOf(const JsonNode* node) {
  if (node == nullptr || node->Parent() == nullptr || node->Parent()->Kind() != NodeType::Object) {
    return {};
  }
  return UpToZero(node->Key());
}

JsonDocument ParentOf(const JsonNode* node) {
  return JsonDocument::Sharing(node ? node->Parent() : nullptr);
}

JsonDocument MemberByKeyOf(const JsonNode* node, std::u16string_view key) {
  return JsonDocument::Sharing(node ? node->FindMember(UpToZero(key)) : nullptr);
}

JsonDocument ChildOf(const JsonNode* node, int index) {
  return JsonDocument::Sharing(node ? node->ChildAt(index) : nullptr);
}

// Keys in insertion order, converted by `convert`; leaves `keys` alone for
// anything but an object.
template <typename Text, typename Convert>
int KeysOf(const JsonNode* node, std::vector<Text>& keys, Convert convert) {
  if (node == nullptr || node->Kind() != NodeType::Object) return 0;
  int count = node->MemberCount();
  keys.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    convert(UpToZero(node->MemberAt(i)->Key()), keys[static_cast<size_t>(i)]);
  }
  return count;
}

int ValuesOf(const JsonNode* node, std::vector<JsonDocument>& values) {
  int count = node ? node->ChildCount() : 0;
  if (count == 0) return 0;
  // Built aside first: `values` may hold the very document being read.
  std::vector<JsonDocument> shared;
  shared.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) shared.push_back(JsonDocument::Sharing(node->ChildAt(i)));
  values = std::move(shared);
  return count;
}

std::string Ansi(std::u16string_view text) {
  std::string out;
  if (!text.empty()) AppendUtf16AsAnsi(text, out);
  return out;
}

}  // namespace

int AppendTextAtA(const JsonDocument& document, const char* path, std::string& out) {
  const JsonNode* node = ResolveForReadA(document.GetRoot(), path);
  std::u16string_view text = TextOf(node);
  if (!text.empty()) AppendUtf16AsAnsi(text, out);
  return KindOf(node);
}

// ------------------------------------------------------ Kind and counts

int JsonDocument::TypeAtA(const char* path) const { return KindOf(At(root_, path)); }
int JsonDocument::TypeAtW(std::u16string_view path) const { return KindOf(At(root_, path)); }

JsonDocument JsonDocument::ParentAtA(const char* path) const { return ParentOf(At(root_, path)); }
JsonDocument JsonDocument::ParentAtW(std::u16string_view path) const {
  return ParentOf(At(root_, path));
}

int JsonDocument::CountAtA(const char* path) const {
  const JsonNode* node = At(root_, path);
  return node ? node->ChildCount() : 0;
}
int JsonDocument::CountAtW(std::u16string_view path) const {
  const JsonNode* node = At(root_, path);
  return node ? node->ChildCount() : 0;
}

// ------------------------------------------------------ Keys and members

JsonDocument JsonDocument::MemberByKeyA(const char* path, const char* key) const {
  return MemberByKeyOf(At(root_, path), AnsiToUtf16(key));
}
JsonDocument JsonDocument::MemberByKeyW(std::u16string_view path, std::u16string_view key) const {
  return MemberByKeyOf(At(root_, path), key);
}

std::u16string JsonDocument::KeyAtW(std::u16string_view path) const {
  return std::u16string(KeyOf(At(root_, path)));
}
std::string JsonDocument::KeyAtA(const char* path) const { return Ansi(KeyOf(At(root_, path))); }

JsonDocument JsonDocument::MemberAtA(const char* path, int index) const {
  return ChildOf(At(root_, path), index);
}
JsonDocument JsonDocument::MemberAtW(std::u16string_view path, int index) const {
  return ChildOf(At(root_, path), index);
}

// ------------------------------------------------------ Texts

std::string JsonDocument::TextFormAtA(const char* path) const {
  return Ansi(TextFormOf(At(root_, path)));
}
std::u16string JsonDocument::TextFormAtW(std::u16string_view path) const {
  return std::u16string(TextFormOf(At(root_, path)));
}

std::string JsonDocument::TextAtA(const char* path) const { return Ansi(TextOf(At(root_, path))); }
std::u16string JsonDocument::TextAtW(std::u16string_view path) const {
  return std::u16string(TextOf(At(root_, path)));
}

// ------------------------------------------------------ Truth value and numbers

bool JsonDocument::BoolAtW(std::u16string_view path) const { return BoolOf(At(root_, path)); }
bool JsonDocument::BoolAtA(const char* path) const { return BoolOf(At(root_, path)); }
double JsonDocument::NumberAtW(std::u16string_view path) const { return NumberOf(At(root_, path)); }
double JsonDocument::NumberAtA(const char* path) const { return NumberOf(At(root_, path)); }
int64_t JsonDocument::Int64AtW(std::u16string_view path) const { return Int64Of(At(root_, path)); }
int64_t JsonDocument::Int64AtA(const char* path) const { return Int64Of(At(root_, path)); }
int32_t JsonDocument::IntAtW(std::u16string_view path) const { return IntOf(At(root_, path)); }
int32_t JsonDocument::IntAtA(const char* path) const { return IntOf(At(root_, path)); }

// ------------------------------------------------------ Lists

int JsonDocument::KeysAtW(std::u16string_view path, std::vector<std::u16string>& keys) const {
  return KeysOf(At(root_, path), keys,
                [](std::u16string_view key, std::u16string& out) { out.assign(key); });
}
int JsonDocument::KeysAtA(const char* path, std::vector<std::string>& keys) const {
  return KeysOf(At(root_, path), keys, [](std::u16string_view key, std::string& out) {
    out.clear();
    AppendUtf16AsAnsi(key, out);
  });
}

int JsonDocument::ValuesAtW(std::u16string_view path, std::vector<JsonDocument>& values) const {
  return ValuesOf(At(root_, path), values);
}
int JsonDocument::ValuesAtA(const char* path, std::vector<JsonDocument>& values) const {
  return ValuesOf(At(root_, path), values);
}

}  // namespace ombrelk

// JsonDocument: the handle's lifecycle and the parse methods. The readers
// and path methods live in json_readers.cpp and json_path.cpp.
#include "json/json_document.h"

#include <cstring>

#include "json/json_parser.h"
#include "platform/cp936.h"

namespace ombrelk {

namespace {

// The UTF-16 form of the text being parsed, reused by every A parse on the
// thread.
thread_local std::u16string t_wide_text;

void Report(const ParseOutcome& outcome, int* errorCode, int* errorPosition) {
  if (errorCode != nullptr) *errorCode = outcome.code;
  if (errorPosition != nullptr) *errorPosition = outcome.position;
}

// Converts GBK `bytes` (not empty, no zero byte) and parses them into
// `target`. The converted text holds no zero unit either.
ParseOutcome ParseAnsi(JsonNode* target, std::string_view bytes, ParseOptions options) {
  std::u16string local;
  // A parse never calls back into a parse, but stay safe if one ever does.
  static thread_local bool busy = false;
  std::u16string& wide = busy ? local : t_wide_text;
  busy = true;
  wide.clear();
  platform::AppendCp936AsUtf16(bytes, wide);
  ParseOutcome outcome = ParseTextWithoutZeros(target, wide, options);
  if (wide.capacity() > (size_t{1} << 20)) std::u16string().swap(wide);
  busy = false;
  return outcome;
}

}  // namespace

JsonDocument::JsonDocument(const JsonDocument& other) : root_(other.root_) { AddReference(root_); }

JsonDocument& JsonDocument::operator=(const JsonDocument& other) {
  SetRoot(other.root_);
  if (other.root_ == nullptr) Clear();
  return *this;
}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
  if (this != &other) {
    Release(root_);
    root_ = other.root_;
    other.root_ = nullptr;
  }
  return *this;
}

JsonDocument::~JsonDocument() { Release(root_); }

JsonDocument JsonDocument::Sharing(JsonNode* node) {
  JsonDocument document;
  document.SetRoot(node);
  return document;
}

void JsonDocument::Destroy() { Clear(); }

JsonDocument JsonDocument::Copy() const { return *this; }

bool JsonDocument::ParseA(const char* text, bool decodeUnicodeEscapes, bool skipTopLevelText,
                          int* errorCode, int* errorPosition) {
  return ParseA(text ? std::string_view(text) : std::string_view(), decodeUnicodeEscapes,
                skipTopLevelText, errorCode, errorPosition);
}

// The first steps of ParseA and ParseW: a fresh empty object replaces the
// root (the old tree goes unless it is held elsewhere). False, with -3
// reported, when the object cannot be made; the old root then stays.
bool JsonDocument::TakeFreshRoot(int* errorCode, int* errorPosition) {
  JsonNode* fresh = NewObjectNode();
  if (fresh == nullptr) {
    Report({kErrorNoStorage, 0}, errorCode, errorPosition);
    return false;
  }
  Release(root_);
  root_ = fresh;
  return true;
}

bool JsonDocument::ParseA(std::string_view text, bool decodeUnicodeEscapes, bool skipTopLevelText,
                          int* errorCode, int* errorPosition) {
  if (!TakeFreshRoot(errorCode, errorPosition)) return false;
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  if (text.empty()) return true;  // nothing to parse: the empty object stands
  ParseOutcome outcome = ParseAnsi(root_, text, {decodeUnicodeEscapes, skipTopLevelText});
  Report(outcome, errorCode, errorPosition);
  return outcome.code == kParseOk;
}

bool JsonDocument::ParseW(std::u16string_view text, bool decodeUnicodeEscapes,
                          bool skipTopLevelText, int* errorCode, int* errorPosition) {
  if (!TakeFreshRoot(errorCode, errorPosition)) return false;
  // Only an empty view is a missing text. A view whose first unit is zero is
  // a given, empty text: it parses and reports code 0 at position 0.
  if (text.empty()) return true;
  ParseOutcome outcome = ParseText(root_, text, {decodeUnicodeEscapes, skipTopLevelText});
  Report(outcome, errorCode, errorPosition);
  return outcome.code == kParseOk;
}

void JsonDocument::Clear() {
  JsonNode* old = root_;
  root_ = nullptr;
  Release(old);
}

void JsonDocument::SetRoot(JsonNode* node) {
  if (node == nullptr) return;
  AddReference(node);
  JsonNode* old = root_;
  root_ = node;
  Release(old);
}

bool JsonDocument::ParseIntoW(std::u16string_view text, bool decodeUnicodeEscapes,
                              bool skipTopLevelText, int* errorCode, int* errorPosition) {
  if (root_ == nullptr) root_ = NewObjectNode();
  ParseOutcome outcome;
  if (root_ == nullptr || text.empty()) {
    outcome = {kErrorNothingToParse, 0};
  } else {
    outcome = ParseText(root_, text, {decodeUnicodeEscapes, skipTopLevelText});
  }
  Report(outcome, errorCode, errorPosition);
  return outcome.code == kParseOk;
}

bool JsonDocument::ParseIntoA(const char* text, bool decodeUnicodeEscapes, bool skipTopLevelText,
                              int* errorCode, int* errorPosition) {
  if (root_ == nullptr) root_ = NewObjectNode();
  ParseOutcome outcome;
  if (root_ == nullptr) {
    outcome = {kErrorNothingToParse, 0};
  } else if (text == nullptr || *text == '\0') {
    outcome = ParseText(root_, {}, {decodeUnicodeEscapes, skipTopLevelText});  // empties the root
  } else {
    outcome = ParseAnsi(root_, std::string_view(text), {decodeUnicodeEscapes, skipTopLevelText});
  }
  Report(outcome, errorCode, errorPosition);
  return outcome.code == kParseOk;
}

}  // namespace ombrelk

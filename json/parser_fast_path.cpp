#include "json/parser_fast_path.h"

#include <cstring>
#include <new>

#include "json/parser_tokens.h"

namespace ombrelk {

namespace {

inline bool IsBlank(char16_t c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D; }
inline bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }

// The units that end a token outside quotes. In the tolerant parser some of
// them are ordinary inside a value (a colon, a bracket of the other kind),
// but a token holding one is never a value, so stopping there only gives up
// earlier on text that fails anyway.
struct BareStops {
  bool stops[128];
};

constexpr BareStops MakeBareStops() {
  BareStops set{};
  for (char16_t c : std::u16string_view(u"\t\n\r \"'\\{}[]:,")) set.stops[c] = true;
  return set;
}

constexpr BareStops kBareStops = MakeBareStops();

inline bool EndsBareToken(char16_t c) { return c < 128 && kBareStops.stops[c]; }

class PlainParser {
 public:
  PlainParser(std::u16string_view text, bool decode, std::vector<JsonNode*>& stack, char16_t* scratch)
      : t_(text.data()), n_(static_cast<int32_t>(text.size())), decode_(decode), stack_(stack), scratch_(scratch) {}

  bool Run(JsonNode* target) {
    SkipBlanks();
    if (i_ >= n_) return false;
    char16_t c = t_[i_];
    if (c == u'{') {
      if (!ConvertToObject(target)) return false;
    } else if (c == u'[') {
      if (!ConvertToArray(target)) return false;
    } else {
      return false;
    }
    ++i_;
    stack_.clear();
    JsonNode* container = target;
    bool in_object = c == u'{';
    bool expect_item = true;  // at the start of the contents, or after a comma
    for (;;) {
      SkipBlanks();
      if (i_ >= n_) return false;
      c = t_[i_];
      if (c == (in_object ? u'}' : u']')) {
        // The container closes: empty, after an item, or after a trailing
        // comma, as the tolerant parser allows all three.
        ++i_;
        if (stack_.empty()) {
          SkipBlanks();
          return i_ == n_;
        }
        container = stack_.back();
        stack_.pop_back();
        in_object = container->Kind() == NodeType::Object;
        expect_item = false;
        continue;
      }
      if (!expect_item) {
        if (c != u',') return false;
        ++i_;
        expect_item = true;
        continue;
      }
      if (in_object) {
        if (!ReadKey()) return false;
        c = t_[i_];
      }
      if (c == u'{' || c == u'[') {
        JsonNode* node = c == u'{' ? NewObjectNode() : NewArrayNode();
        if (node == nullptr || !Attach(container, in_object, node) || !Push(container)) return false;
        ++i_;
        container = node;
        in_object = c == u'{';
        continue;
      }
      int32_t start = i_;
      bool escaped = false;
      if (IsQuote(c)) {
        if (!SkipQuoted(false, escaped)) return false;
      } else {
        while (i_ < n_ && !EndsBareToken(t_[i_])) ++i_;
        if (i_ == start) return false;
      }
      int code = 0;
      JsonNode* node = NewTokenNode(t_ + start, i_ - start, escaped, decode_, scratch_, code);
      if (node == nullptr || !Attach(container, in_object, node)) return false;
      expect_item = false;
    }
  }

 private:
  void SkipBlanks() {
    while (i_ < n_ && IsBlank(t_[i_])) ++i_;
  }

  // i_ at an opening quote: moves past the closing one, stepping over
  // escapes as the tolerant scan does (6 units before u, else 2, never past
  // the end). False when the text ends first, or in a key at the other
  // quote character (which the tolerant parser takes as closing the key).
  bool SkipQuoted(bool key, bool& escaped) {
    char16_t quote = t_[i_++];
    char16_t other = quote == u'"' ? u'\'' : u'"';
    while (i_ < n_) {
      char16_t c = t_[i_];
      if (c == quote) {
        ++i_;
        return true;
      }
      if (c == u'\\') {
        escaped = true;
        int32_t step = i_ + 1 < n_ && t_[i_ + 1] == u'u' ? 6 : 2;
        i_ += step < n_ - i_ ? step : n_ - i_;
        continue;
      }
      if (key && c == other) return false;
      ++i_;
    }
    return false;
  }

  // A quoted key, blanks, a colon and blanks: leaves i_ at the value.
  bool ReadKey() {
    if (!IsQuote(t_[i_])) return false;
    key_start_ = i_ + 1;
    key_escaped_ = false;
    if (!SkipQuoted(true, key_escaped_)) return false;
    key_length_ = i_ - 1 - key_start_;
    if (key_length_ == 0) return false;
    SkipBlanks();
    if (i_ >= n_ || t_[i_] != u':') return false;
    ++i_;
    SkipBlanks();
    return i_ < n_;
  }

  // The key last read, unescaped (through the scratch buffer) when it holds
  // a backslash.
  std::u16string_view Key() {
    if (!key_escaped_) return {t_ + key_start_, static_cast<size_t>(key_length_)};
    std::memcpy(scratch_, t_ + key_start_, sizeof(char16_t) * key_length_);
    int32_t length = Unescape(scratch_, key_length_, decode_);
    return UpToZero(std::u16string_view(scratch_, length));
  }

  // Hands `node` to its container, under the key last read in an object;
  // releases it when that fails.
  bool Attach(JsonNode* container, bool in_object, JsonNode* node) {
    bool attached = in_object ? SetMember(container, Key(), node) : AppendElement(container, node);
    if (!attached) Release(node);
    return attached;
  }

  bool Push(JsonNode* container) {
    try {
      stack_.push_back(container);
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  const char16_t* t_;
  int32_t n_;
  bool decode_;
  std::vector<JsonNode*>& stack_;
  char16_t* scratch_;
  int32_t i_ = 0;
  int32_t key_start_ = 0;
  int32_t key_length_ = 0;
  bool key_escaped_ = false;
};

}  // namespace

bool ParsePlainJson(JsonNode* target, std::u16string_view text, bool decode_unicode_escapes,
                    std::vector<JsonNode*>& stack, char16_t* scratch) {
  if (target == nullptr) return false;
  PlainParser parser(text, decode_unicode_escapes, stack, scratch);
  bool taken = parser.Run(target);
  stack.clear();
  return taken;
}

}  // namespace ombrelk

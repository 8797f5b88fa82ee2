#include "json/parser_fast_path.h"

#include <cstring>
#include <new>

#include "json/parser_tokens.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ombrelk {

namespace {

inline bool IsBlank(char16_t c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D; }
inline bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }

// The units that end a token outside quotes, and the zero unit after the
// text. In the tolerant parser some of them are ordinary inside a value (a
// colon, a bracket of the other kind), but a token holding one is never a
// value, so stopping there only gives up earlier on text that fails anyway.
struct BareStops {
  bool stops[128];
};

constexpr BareStops MakeBareStops() {
  BareStops set{};
  for (char16_t c : std::u16string_view(u"\t\n\r \"'\\{}[]:,")) set.stops[c] = true;
  set.stops[0] = true;
  return set;
}

constexpr BareStops kBareStops = MakeBareStops();

inline bool EndsBareToken(char16_t c) { return c < 128 && kBareStops.stops[c]; }

// The scanning steps work on a position held by the caller (a local
// pointer, so that it stays in a register). The zero unit after the text
// stops every scan that does not take the end of the text as a bound.
inline void SkipBlanks(const char16_t*& p) {
  while (*p <= 0x20 && IsBlank(*p)) ++p;
}

// The first position from p on that holds a quote character (either) or a
// backslash; `end` when there is none. Eight units at a time where SSE2 is
// there, with constant patterns (nothing to broadcast per call).
inline const char16_t* FindQuoteOrBackslash(const char16_t* p, const char16_t* end) {
#if defined(__SSE2__)
  const __m128i double_quote = _mm_set1_epi16(u'"');
  const __m128i single_quote = _mm_set1_epi16(u'\'');
  const __m128i backslash = _mm_set1_epi16(u'\\');
  for (; end - p >= 8; p += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, double_quote), _mm_cmpeq_epi16(units, single_quote)),
                     _mm_cmpeq_epi16(units, backslash));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return p + __builtin_ctz(mask) / 2;
  }
#endif
  for (; p != end; ++p) {
    if (IsQuote(*p) || *p == u'\\') return p;
  }
  return end;
}

// p at an opening quote: moves past the closing one, stepping over escapes
// as the tolerant scan does (6 units before u, else 2, never past the end),
// and tells whether there were any. False when the text ends first, or in a
// key at the other quote character (which the tolerant parser takes as
// closing the key); in a value that one is an ordinary character.
inline bool SkipQuoted(const char16_t*& p, const char16_t* end, bool key, bool& escaped) {
  const char16_t quote = *p++;
  for (;;) {
    p = FindQuoteOrBackslash(p, end);
    if (p == end) return false;
    const char16_t c = *p;
    if (c == quote) {
      ++p;
      return true;
    }
    if (c == u'\\') {
      escaped = true;
      ptrdiff_t step = end - p > 1 && p[1] == u'u' ? 6 : 2;
      p += step < end - p ? step : end - p;
    } else if (key) {
      return false;
    } else {
      ++p;
    }
  }
}

class PlainParser {
 public:
  PlainParser(std::u16string_view text, bool decode, std::vector<JsonNode*>& stack, char16_t* scratch)
      : text_(text.data()), end_(text.data() + text.size()), decode_(decode), stack_(stack), scratch_(scratch) {}

  bool Run(JsonNode* target) {
    const char16_t* p = text_;
    const char16_t* const end = end_;
    SkipBlanks(p);
    char16_t c = *p;
    if (c == u'{') {
      if (!ConvertToObject(target)) return false;
    } else if (c == u'[') {
      if (!ConvertToArray(target)) return false;
    } else {
      return false;
    }
    ++p;
    stack_.clear();
    JsonNode* container = target;
    bool in_object = c == u'{';
    bool expect_item = true;  // at the start of the contents, or after a comma
    for (;;) {
      SkipBlanks(p);
      c = *p;  // zero at the end of the text: no case below takes it
      if (c == (in_object ? u'}' : u']')) {
        // The container closes: empty, after an item, or after a trailing
        // comma, as the tolerant parser allows all three.
        ++p;
        if (stack_.empty()) {
          SkipBlanks(p);
          return p == end;
        }
        container = stack_.back();
        stack_.pop_back();
        in_object = container->Kind() == NodeType::Object;
        expect_item = false;
        continue;
      }
      if (!expect_item) {
        if (c != u',') return false;
        ++p;
        expect_item = true;
        continue;
      }
      if (in_object) {
        // A quoted key, blanks, a colon and blanks.
        if (!IsQuote(c)) return false;
        key_start_ = p + 1;
        key_escaped_ = false;
        if (!SkipQuoted(p, end, true, key_escaped_)) return false;
        key_length_ = static_cast<int32_t>(p - 1 - key_start_);
        if (key_length_ == 0) return false;
        SkipBlanks(p);
        if (*p != u':') return false;
        ++p;
        SkipBlanks(p);
        c = *p;
      }
      if (c == u'{' || c == u'[') {
        JsonNode* node = c == u'{' ? NewObjectNode() : NewArrayNode();
        if (node == nullptr || !Attach(container, in_object, node) || !Push(container)) return false;
        ++p;
        container = node;
        in_object = c == u'{';
        continue;
      }
      const char16_t* start = p;
      JsonNode* node;
      if (IsQuote(c)) {
        bool escaped = false;
        if (!SkipQuoted(p, end, false, escaped)) return false;
        const int32_t length = static_cast<int32_t>(p - start);
        if (escaped) {
          int code = 0;
          node = NewTokenNode(start, length, true, decode_, scratch_, code);
        } else {
          node = NewStringNode(start + 1, length - 2);  // between its quotes, read in place
        }
      } else {
        while (!EndsBareToken(*p)) ++p;
        if (p == start) return false;
        node = NewBareTokenNode(start, static_cast<int32_t>(p - start));
      }
      if (node == nullptr || !Attach(container, in_object, node)) return false;
      expect_item = false;
    }
  }

 private:
  // The key last read, unescaped (through the scratch buffer) when it holds
  // a backslash.
  std::u16string_view Key() {
    if (!key_escaped_) return {key_start_, static_cast<size_t>(key_length_)};
    std::memcpy(scratch_, key_start_, sizeof(char16_t) * key_length_);
    int32_t length = Unescape(scratch_, key_length_, decode_);
    return UpToZero(std::u16string_view(scratch_, length));
  }

  // Hands `node` to its container, under the key last read in an object;
  // releases it when that fails.
  bool Attach(JsonNode* container, bool in_object, JsonNode* node) {
    bool attached = in_object ? SetMemberWithoutZeros(container, Key(), node) : AppendElement(container, node);
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

  const char16_t* text_;
  const char16_t* end_;
  bool decode_;
  std::vector<JsonNode*>& stack_;
  char16_t* scratch_;
  const char16_t* key_start_ = nullptr;
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

#include "json/json_parser.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/parser_fast_path.h"
#include "platform/number_text.h"

namespace ombrelk {

// ------------------------------------------------------------------ Parser

namespace {

constexpr int32_t kStateKey = 1;     // object: a key (or the closing brace) is expected
constexpr int32_t kStateValue = 2;   // object: key and colon read; array: a value is expected
constexpr int32_t kStateClosed = 3;  // a nested object or array value has just closed

struct StackEntry {
  JsonNode* node;
  int32_t state;
};

// Per-thread storage reused by every parse on the thread; kept small after
// a huge text.
struct ParserStorage {
  std::vector<StackEntry> stack;
  std::vector<JsonNode*> plain_stack;  // the fast path's
  std::u16string terminated;  // a copy of a text not followed by a zero unit, for the fast path
  std::vector<char16_t> scratch;
  bool busy = false;
};

thread_local ParserStorage t_storage;

constexpr size_t kKeptScratchUnits = size_t{1} << 20;
constexpr size_t kKeptStackEntries = size_t{1} << 16;

inline bool IsBlank(char16_t c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D; }
inline bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }

// The characters that stop a run of ordinary ones in each scan; all of them
// are ASCII, so units from 128 up are always ordinary.
struct StopSet {
  bool stops[128];
};

constexpr StopSet MakeStops(std::u16string_view characters) {
  StopSet set{};
  for (char16_t c : characters) set.stops[c] = true;
  return set;
}

constexpr StopSet kArrayStops = MakeStops(u"\t\n\r \"'\\{[],");
constexpr StopSet kObjectStops = MakeStops(u"\t\n\r \"'\\{[}:,");
constexpr StopSet kQuotedStops = MakeStops(u"\"'\\");

class Parser {
 public:
  Parser(JsonNode* target, const char16_t* text, int32_t n, ParseOptions options,
         std::vector<StackEntry>& stack, char16_t* scratch)
      : target_(target), t_(text), n_(n), options_(options), stack_(stack), scratch_(scratch) {}

  ParseOutcome Run() {
    int code = 0;
    for (i_ = 0; i_ <= n_; ++i_) {
      char16_t c = i_ < n_ ? t_[i_] : 0;
      if (c == 0 || IsBlank(c)) continue;
      if (c == u'{') {
        code = Open(NodeType::Object);
      } else if (c == u'[') {
        code = Open(NodeType::Array);
      } else {
        code = TokenStep();
      }
      if (code != 0) break;
    }
    if (code == 0 && !stack_.empty()) code = kErrorUnterminated;
    if (code == 0 && top_scalar_pending_) code = StoreTopScalar();
    if (code != 0) {
      ClearContents(target_);
      return {code, i_};
    }
    return {0, 0};
  }

 private:
  // -- stack --
  bool Push(JsonNode* node, int32_t state) {
    try {
      stack_.push_back({node, state});
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  void Pop() {
    stack_.pop_back();
    if (!stack_.empty()) stack_.back().state = kStateClosed;
  }

  // The pending key: read in place, or copied into the scratch buffer and
  // unescaped when it holds a backslash.
  std::u16string_view PendingKey() {
    if (!key_escaped_) return {t_ + key_start_, static_cast<size_t>(key_length_)};
    std::memcpy(scratch_, t_ + key_start_, sizeof(char16_t) * key_length_);
    int32_t length = Unescape(scratch_, key_length_, options_.decode_unicode_escapes);
    return UpToZero(std::u16string_view(scratch_, length));
  }

  // A { or [ at i_.
  int Open(NodeType kind) {
    if (stack_.empty()) {
      // The target itself becomes the container. A scalar that the whole
      // text stood for is dropped first (see TokenStep).
      if (top_scalar_pending_) {
        ClearContents(target_);
        top_scalar_pending_ = false;
      }
      top_scalar_current_ = false;
      bool ok = kind == NodeType::Object ? ConvertToObject(target_) : ConvertToArray(target_);
      if (!ok || !Push(target_, kind == NodeType::Object ? kStateKey : kStateValue)) {
        return kErrorNoStorage;
      }
      return 0;
    }
    StackEntry top = stack_.back();
    if (top.state != kStateValue) return kErrorMisplaced;
    bool in_array = top.node->Kind() == NodeType::Array;
    if (!in_array && (key_start_ < 0 || key_length_ == 0)) return kErrorMisplaced;
    JsonNode* node = kind == NodeType::Object ? NewObjectNode() : NewArrayNode();
    if (node == nullptr) return kErrorNoStorage;
    bool attached = in_array ? AppendElement(top.node, node) : SetMemberWithoutZeros(top.node, PendingKey(), node);
    if (!attached) {
      Release(node);
      return kErrorNoStorage;
    }
    // The node now belongs to its container, so a failed push frees it with
    // the tree.
    if (!Push(node, kind == NodeType::Object ? kStateKey : kStateValue)) return kErrorNoStorage;
    return 0;
  }

  // Any other non-blank character at i_.
  int TokenStep() {
    if (stack_.empty()) return TopLevelToken();
    StackEntry& top = stack_.back();
    if (top.node->Kind() == NodeType::Array) return ArrayToken();
    return ObjectToken();
  }

  // A character outside every container: ignored, or the whole text is one
  // scalar value stored into the target. The value is the same each time, so
  // it is stored once; a later top-level container drops it again, and a
  // scalar character after that container stores it once more at the end.
  int TopLevelToken() {
    if (options_.skip_top_level_text) return 0;
    if (!top_scalar_stored_) {
      top_scalar_stored_ = true;
      top_scalar_current_ = true;
      return StoreTopScalar();
    }
    if (!top_scalar_current_) top_scalar_pending_ = true;
    return 0;
  }

  int StoreTopScalar() {
    top_scalar_pending_ = false;
    top_scalar_current_ = true;
    bool escaped = std::u16string_view(t_, n_).find(u'\\') != std::u16string_view::npos;
    return StoreValue(0, n_, nullptr, escaped);
  }

  int ArrayToken() {
    StackEntry& top = stack_.back();
    JsonNode* array = top.node;
    if (top.state == kStateClosed) {
      top.state = kStateValue;
      if (t_[i_] == u',') return 0;  // the comma after a closed nested value
    }
    if (top.state != kStateValue) return kErrorBadToken;
    char16_t quote = 0;
    int32_t l = i_;
    int32_t h = 0;
    bool escaped = false;
    while (i_ < n_) {
      h += SkipRun(quote == 0 ? kArrayStops : kQuotedStops);
      if (i_ >= n_) break;
      char16_t c = t_[i_];
      if (quote == 0 && IsBlank(c)) {
        ++i_;
        if (h == 0) l = i_;
        continue;
      }
      if (IsQuote(c)) {
        if (quote == 0) {
          quote = c;
        } else if (c == quote) {
          quote = 0;
        }
        ++i_;
        ++h;
        continue;
      }
      if (c == u'\\') {
        int32_t step = Skip();
        i_ += step;
        h += step;
        escaped = true;
        continue;
      }
      if (quote == 0) {
        if (c == u'{' || c == u'[') {
          if (h == 0) return Open(c == u'{' ? NodeType::Object : NodeType::Array);
          i_ = l;
          return kErrorBadToken;
        }
        if (c == u']') {
          Pop();
          if (h == 0) return 0;
          break;
        }
        if (c == u',') break;
      }
      ++i_;
      ++h;
    }
    if (quote != 0) {
      i_ = l;
      return kErrorBadToken;
    }
    if (h == 0) return 0;  // nothing between two commas, or after the last
    return StoreValue(l, h, array, escaped);
  }

  int ObjectToken() {
    StackEntry& top = stack_.back();
    JsonNode* object = top.node;
    if (top.state == kStateClosed) {
      top.state = kStateKey;
      if (t_[i_] == u',') return 0;
    }
    if (top.state != kStateKey) return kErrorMisplaced;
    key_start_ = i_;
    key_length_ = 0;
    key_escaped_ = false;
    bool value_escaped = false;
    char16_t quote = 0;
    bool key_closed = false;
    int32_t l = 0;
    int32_t h = 0;
    int32_t state = kStateKey;
    bool closed_with_container_below = false;
    while (i_ < n_) {
      if (state == kStateValue || !key_closed) {
        int32_t run = SkipRun(quote == 0 ? kObjectStops : kQuotedStops);
        if (state == kStateKey) {
          key_length_ += run;
        } else {
          h += run;
        }
        if (i_ >= n_) break;
      }
      char16_t c = t_[i_];
      if (quote == 0 && IsBlank(c)) {
        ++i_;
        if (state == kStateKey) {
          if (key_length_ == 0) key_start_ = i_;
        } else if (h == 0) {
          l = i_;
        }
        continue;
      }
      if (IsQuote(c) && quote == 0) {
        ++i_;
        if (state == kStateKey) {
          if (key_length_ != 0) return kErrorMisplaced;  // a quote after unquoted key characters
          quote = c;
          key_start_ = i_;
        } else {
          quote = c;
          ++h;
        }
        continue;
      }
      if (IsQuote(c)) {
        if (c == quote) quote = 0;
        ++i_;
        if (state == kStateValue) {
          ++h;
        } else {
          key_closed = true;  // not counted
        }
        continue;
      }
      if (c == u'\\') {
        int32_t step = Skip();
        i_ += step;
        if (state == kStateKey) {
          key_length_ += step;
          key_escaped_ = true;
        } else {
          h += step;
          value_escaped = true;
        }
        continue;
      }
      if (quote == 0) {
        if (c == u':' && state == kStateKey) {
          if (key_length_ == 0) return kErrorMisplaced;
          ++i_;
          l = i_;
          h = 0;
          state = kStateValue;
          stack_.back().state = kStateValue;
          continue;
        }
        if (c == u'{' || c == u'[') {
          if (h == 0) return Open(c == u'{' ? NodeType::Object : NodeType::Array);
          i_ = l;
          return kErrorBadToken;
        }
        if (c == u'}') {
          Pop();
          if (key_length_ == 0) return 0;
          closed_with_container_below = !stack_.empty();
          break;
        }
        if (c == u',') break;
      }
      if (state == kStateKey && key_closed) return kErrorMisplaced;
      ++i_;
      if (state == kStateKey) {
        ++key_length_;
      } else {
        ++h;
      }
    }
    if (key_length_ == 0 && h != 0) {
      i_ = key_start_;  // a value without a key
      return kErrorMisplaced;
    }
    if (key_length_ != 0 && h == 0) {
      i_ = l;  // a key without a value
      return kErrorBadToken;
    }
    if (!closed_with_container_below && !stack_.empty()) stack_.back().state = kStateKey;
    return StoreValue(l, h, object, value_escaped);
  }

  // Moves i_ over a run of characters that `set` does not stop at; answers
  // the run's length.
  int32_t SkipRun(const StopSet& set) {
    int32_t start = i_;
    while (i_ < n_) {
      char16_t c = t_[i_];
      if (c < 128 && set.stops[c]) break;
      ++i_;
    }
    return i_ - start;
  }

  // How far a backslash at i_ moves the scan: 6 before u, else 2, never past
  // the end of the text.
  int32_t Skip() const {
    int32_t step = (i_ + 1 < n_ && t_[i_ + 1] == u'u') ? 6 : 2;
    return step > n_ - i_ ? n_ - i_ : step;
  }

  // Turns the token of `length` units at `start` into a value: stored into
  // the target itself without container, else attached as a new node (in an
  // object, under the pending key). Only a token with a backslash
  // (`escaped`) is copied out and unescaped; every other token is read in
  // place.
  int StoreValue(int32_t start, int32_t length, JsonNode* container, bool escaped) {
    if (container == nullptr) return StoreIntoTarget(start, length, escaped);
    int code = 0;
    JsonNode* node = NewTokenNode(t_ + start, length, escaped, options_.decode_unicode_escapes, scratch_, code);
    if (node == nullptr) {
      i_ = start;
      return code;
    }
    bool attached;
    if (container->Kind() == NodeType::Array) {
      attached = AppendElement(container, node);
    } else {
      attached = SetMemberWithoutZeros(container, PendingKey(), node);
      key_start_ = -1;
      key_length_ = 0;
    }
    if (!attached) {
      Release(node);
      i_ = start;
      return kErrorNoStorage;
    }
    return 0;
  }

  // A top-level token: the target itself takes its value in place.
  int StoreIntoTarget(int32_t start, int32_t length, bool escaped) {
    const char16_t* token = t_ + start;
    bool ok = false;
    if (length > 0 && IsQuote(token[0])) {
      const char16_t* value = nullptr;
      int32_t count = 0;
      if (!ReadQuotedToken(token, length, escaped, options_.decode_unicode_escapes, scratch_, value,
                           count)) {
        i_ = start;
        return kErrorBadToken;
      }
      ok = AssignString(target_, value, count);
    } else {
      std::u16string_view text(token, static_cast<size_t>(length));
      BareToken bare = ReadBareToken(text);
      switch (bare.kind) {
        case TokenClass::Invalid:
          i_ = start;
          return kErrorBadToken;
        case TokenClass::Null:
          ok = AssignNull(target_);
          break;
        case TokenClass::Boolean:
          ok = AssignBool(target_, bare.boolean);
          break;
        case TokenClass::Number:
          ok = AssignNumber(target_, bare.number, text);
          break;
        case TokenClass::Integer:
          ok = AssignInteger(target_, bare.integer, text);
          break;
      }
    }
    if (ok) return 0;
    i_ = start;
    return kErrorNoStorage;
  }

  JsonNode* target_;
  const char16_t* t_;
  int32_t n_;
  ParseOptions options_;
  std::vector<StackEntry>& stack_;
  char16_t* scratch_;
  int32_t i_ = 0;
  int32_t key_start_ = -1;  // the pending key; none is start -1, length 0
  int32_t key_length_ = 0;
  bool key_escaped_ = false;  // the pending key holds a backslash
  bool top_scalar_stored_ = false;   // the whole text was stored as a scalar once
  bool top_scalar_current_ = false;  // ... and the target still holds it
  bool top_scalar_pending_ = false;  // ... and must hold it again at the end
};

}  // namespace

namespace {

// How the fast path may see the text.
enum class FastPath {
  kNone,        // not at all: the tolerant parser alone
  kInPlace,     // on the text itself, which a zero unit follows
  kOnACopy,     // on a copy with a zero unit after it
};

ParseOutcome ParseWithStorage(JsonNode* target, std::u16string_view text, ParseOptions options,
                              FastPath fast_path) {
  if (target == nullptr) return {kErrorNothingToParse, 0};
  if (text.size() > static_cast<size_t>(INT32_MAX) - 16) return {kErrorNoStorage, 0};
  int32_t n = static_cast<int32_t>(text.size());

  // The thread's reused storage, or private storage when a parse is already
  // running on this thread.
  ParserStorage local;
  ParserStorage& storage = t_storage.busy ? local : t_storage;
  storage.busy = true;
  try {
    if (storage.scratch.size() < static_cast<size_t>(n) + 2) storage.scratch.resize(static_cast<size_t>(n) + 2);
    storage.stack.clear();
  } catch (const std::bad_alloc&) {
    storage.busy = false;
    return {kErrorNoStorage, 0};
  }

  std::u16string_view plain = text;
  if (fast_path == FastPath::kOnACopy) {
    try {
      storage.terminated.assign(text);
      plain = storage.terminated;
    } catch (const std::bad_alloc&) {
      fast_path = FastPath::kNone;
    }
  }

  ClearContents(target);
  ParseOutcome outcome;
  bool fast = fast_path != FastPath::kNone;
  if (!fast || !ParsePlainJson(target, plain, options.decode_unicode_escapes, storage.plain_stack,
                               storage.scratch.data())) {
    if (fast) ClearContents(target);  // whatever the fast path made before it gave up
    Parser parser(target, text.data(), n, options, storage.stack, storage.scratch.data());
    outcome = parser.Run();
  }

  storage.stack.clear();
  if (storage.scratch.size() > kKeptScratchUnits) std::vector<char16_t>().swap(storage.scratch);
  if (storage.stack.capacity() > kKeptStackEntries) std::vector<StackEntry>().swap(storage.stack);
  if (storage.plain_stack.capacity() > kKeptStackEntries) std::vector<JsonNode*>().swap(storage.plain_stack);
  if (storage.terminated.capacity() > kKeptScratchUnits) std::u16string().swap(storage.terminated);
  storage.busy = false;
  return outcome;
}

}  // namespace

ParseOutcome ParseText(JsonNode* target, std::u16string_view text, ParseOptions options) {
  std::u16string_view cut = UpToZero(text);
  // Cut at a zero unit, the text has one after it already.
  return ParseWithStorage(target, cut, options, cut.size() < text.size() ? FastPath::kInPlace : FastPath::kOnACopy);
}

ParseOutcome ParseTextWithoutZeros(JsonNode* target, std::u16string_view text, ParseOptions options) {
  return ParseWithStorage(target, text, options, FastPath::kInPlace);
}

ParseOutcome ParseTextTolerantly(JsonNode* target, std::u16string_view text, ParseOptions options) {
  return ParseWithStorage(target, UpToZero(text), options, FastPath::kNone);
}

}  // namespace ombrelk

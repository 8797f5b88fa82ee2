// libFuzzer target: arbitrary bytes through ParseA (and, for an even number
// of bytes, ParseW) with every option combination, into a fresh document and
// into a reused one; every resulting tree is checked for consistent parent
// links and keys, then cleared and destroyed. The same UTF-16 text is also
// parsed by the plain-JSON fast path (with its fallback) and by the tolerant
// parser alone: code, position and tree must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "json/json_document.h"
#include "json/json_parser.h"
#include "platform/cp936.h"

namespace {

using ombrelk::JsonDocument;
using ombrelk::JsonNode;
using ombrelk::NodeType;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every child names its container as parent; every member is found by its
// key (the last member stored under a key replaced any earlier one).
void CheckTree(const JsonNode* root) {
  Check(root != nullptr);
  std::vector<const JsonNode*> pending{root};
  while (!pending.empty()) {
    const JsonNode* node = pending.back();
    pending.pop_back();
    Check(node->RefCount() >= 1);
    int32_t count = node->ChildCount();
    for (int32_t k = 0; k < count; ++k) {
      const JsonNode* child = node->ChildAt(k);
      Check(child != nullptr && child->Parent() == node);
      if (node->Kind() == NodeType::Object) Check(node->FindMember(child->Key()) == child);
      pending.push_back(child);
    }
    Check(node->ChildAt(count) == nullptr);
  }
}

void CheckOutcome(bool ok, int code, int position, size_t units, const JsonNode* root) {
  Check(ok == (code == 0));
  Check(code == 0 || (code <= -3 && code >= -6));
  Check(position >= 0 && static_cast<size_t>(position) <= units + 1);
  CheckTree(root);
  if (!ok) Check(root->ChildCount() == 0);
}

// Both trees have the same shape, kinds, keys, values and text forms.
void CheckSameTree(const JsonNode* a, const JsonNode* b) {
  std::vector<std::pair<const JsonNode*, const JsonNode*>> pending{{a, b}};
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    Check(x->Kind() == y->Kind() && x->Key() == y->Key() && x->TextForm() == y->TextForm() &&
          x->StringValue() == y->StringValue() && x->IntegerValue() == y->IntegerValue() &&
          x->BoolValue() == y->BoolValue() && x->ChildCount() == y->ChildCount());
    double u = x->NumberValue();
    double v = y->NumberValue();
    Check(u == v || (u != u && v != v));
    for (int32_t k = 0; k < x->ChildCount(); ++k) pending.push_back({x->ChildAt(k), y->ChildAt(k)});
  }
}

void CheckFastPathAgrees(std::u16string_view text, ombrelk::ParseOptions options) {
  JsonDocument fast;
  JsonDocument tolerant;
  fast.ParseW(u"{}");
  tolerant.ParseW(u"{}");
  ombrelk::ParseOutcome a = ombrelk::ParseText(fast.GetRoot(), text, options);
  ombrelk::ParseOutcome b = ombrelk::ParseTextTolerantly(tolerant.GetRoot(), text, options);
  Check(a.code == b.code && a.position == b.position);
  CheckSameTree(fast.GetRoot(), tolerant.GetRoot());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  JsonDocument reused;
  for (int options = 0; options < 4; ++options) {
    bool decode = options & 1;
    bool skip = options & 2;
    int code = 0;
    int position = 0;
    JsonDocument document;
    bool ok = document.ParseA(bytes, decode, skip, &code, &position);
    CheckOutcome(ok, code, position, size, document.GetRoot());
    JsonDocument shared = document.Copy();
    document.Clear();
    CheckTree(shared.GetRoot());

    CheckFastPathAgrees(ombrelk::platform::Cp936ToUtf16(bytes.substr(0, bytes.find('\0'))), {decode, skip});

    ok = reused.ParseA(bytes, decode, skip, &code, &position);
    CheckOutcome(ok, code, position, size, reused.GetRoot());

    if (size % 2 == 0 && size > 0) {
      std::u16string wide(size / 2, u'\0');
      for (size_t k = 0; k < wide.size(); ++k) wide[k] = static_cast<char16_t>(data[2 * k] | (data[2 * k + 1] << 8));
      JsonDocument w;
      ok = w.ParseW(wide, decode, skip, &code, &position);
      CheckOutcome(ok, code, position, wide.size(), w.GetRoot());
      ok = w.ParseIntoW(wide, decode, skip, &code, &position);
      CheckOutcome(ok, code, position, wide.size(), w.GetRoot());
    }
  }
  reused.Clear();
  return 0;
}

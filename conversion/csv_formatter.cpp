#include "conversion/csv_formatter.h"

#include <vector>

#include "json/json_node.h"
#include "json/json_path.h"
#include "platform/cp936.h"

namespace ombrelk {

namespace {

// Appends `cell` between double quotes, its double quotes doubled. In GBK
// the byte 0x22 is never part of a two-byte character (second bytes are 0x40
// or above), so no character is split.
void AppendQuoted(std::string_view cell, std::string& out) {
  out.push_back('"');
  for (char c : cell) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

// Member k of the line as the index step "[k]" finds it (an array line's
// element k), or nullptr.
const JsonNode* MemberOf(const JsonNode* root, int k) { return root ? root->ChildAt(k) : nullptr; }

// What a text may take at most once converted, its quotes doubled.
size_t TextRoom(const JsonNode* node) { return 2 * StoredTextOf(node).size(); }

// The most a member's cell may take, its own quotes left out.
size_t CellRoom(const JsonNode* member) {
  if (member == nullptr || member->Kind() != NodeType::Array) return TextRoom(member);
  const int32_t count = member->ElementCount();
  size_t room = 2 + static_cast<size_t>(count);  // brackets, commas
  for (int32_t l = 0; l < count; ++l) room += TextRoom(member->ElementAt(l));
  return room;
}

// Writes the member's cell between double quotes at `d`, which has room for
// it (CellRoom + 2); gives the end. An array gives its elements' texts joined
// by "," between brackets; nested arrays, objects and nulls have no text and
// leave their place empty.
char* WriteCell(const JsonNode* member, char* d) {
  *d++ = '"';
  if (member != nullptr && member->Kind() == NodeType::Array) {
    *d++ = '[';
    const int32_t count = member->ElementCount();
    for (int32_t l = 0; l < count; ++l) {
      if (l > 0) *d++ = ',';
      d = platform::WriteUtf16AsCp936DoublingQuotes(StoredTextOf(member->ElementAt(l)), d);
    }
    *d++ = ']';
  } else {
    d = platform::WriteUtf16AsCp936DoublingQuotes(StoredTextOf(member), d);
  }
  *d++ = '"';
  return d;
}

bool NeedsQuotes(std::string_view key) {
  return key.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

std::string CsvRowFormatter::BuildHeader(std::string_view line) {
  JsonDocument document;
  document.ParseA(line);
  std::vector<std::string> keys;
  document.KeysAtA(keys);
  std::string header;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) header.push_back(',');
    if (NeedsQuotes(keys[i])) {
      AppendQuoted(keys[i], header);
    } else {
      header.append(keys[i]);
    }
  }
  return header;
}

// Reads the members as TypeAtA, MemberAtA, CountAtA and TextAtA at "[k]"
// would, straight from the nodes: member k is the root's child k, an array's
// element l its child l. The whole row is written in one pass into room made
// once for it, each text converted and its quotes doubled as it goes.
void CsvRowFormatter::FormatRow(const JsonDocument& line, int member_count, std::string& row) {
  const JsonNode* root = line.GetRoot();
  size_t room = 0;
  for (int k = 0; k < member_count; ++k) room += 3 + CellRoom(MemberOf(root, k));
  const size_t old_size = row.size();
  row.resize(old_size + room);
  char* d = row.data() + old_size;
  for (int k = 0; k < member_count; ++k) {
    if (k > 0) *d++ = ',';
    d = WriteCell(MemberOf(root, k), d);
  }
  row.resize(static_cast<size_t>(d - row.data()));
}

}  // namespace ombrelk

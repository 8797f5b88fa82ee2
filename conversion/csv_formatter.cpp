#include "conversion/csv_formatter.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "json/json_path.h"

namespace ombrelk {

namespace {

constexpr int kArrayKind = static_cast<int>(NodeType::Array);

// The index path "[index]" in `buffer`, zero-terminated.
const char* IndexPath(int index, char (&buffer)[16]) {
  buffer[0] = '[';
  char* end = std::to_chars(buffer + 1, buffer + sizeof buffer - 2, index).ptr;
  end[0] = ']';
  end[1] = '\0';
  return buffer;
}

// Doubles every double quote of `text` from `from` on, in place. In GBK the
// byte 0x22 is never part of a two-byte character (second bytes are 0x40 or
// above), so no character is split.
void DoubleQuotesFrom(std::string& text, size_t from) {
  const char* first = static_cast<const char*>(std::memchr(text.data() + from, '"', text.size() - from));
  if (first == nullptr) return;
  size_t first_quote = static_cast<size_t>(first - text.data());
  size_t quotes = 0;
  for (size_t i = first_quote; i < text.size(); ++i) quotes += text[i] == '"';
  size_t old_size = text.size();
  text.resize(old_size + quotes);
  // From the back, so every byte moves once.
  size_t to = text.size();
  for (size_t i = old_size; i-- > first_quote;) {
    text[--to] = text[i];
    if (text[i] == '"') text[--to] = '"';
  }
}

// Appends `cell` between double quotes, its double quotes doubled.
void AppendQuoted(std::string_view cell, std::string& row) {
  row.push_back('"');
  size_t from = row.size();
  row.append(cell);
  DoubleQuotesFrom(row, from);
  row.push_back('"');
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

// Every cell is built straight into `row`: its text is appended as the reader
// converts it, and its quotes are doubled in place afterwards.
void CsvRowFormatter::FormatRow(const JsonDocument& line, int member_count, std::string& row) {
  char path[16];
  char element_path[16];
  for (int k = 0; k < member_count; ++k) {
    if (k > 0) row.push_back(',');
    row.push_back('"');
    const size_t cell_start = row.size();
    // TypeAtA and TextAtA of the member in one resolution; an array has no
    // text of its own, so nothing is appended for it.
    if (AppendTextAtA(line, IndexPath(k, path), row) == kArrayKind) {
      // Its elements' texts joined by "," between brackets. Nested arrays,
      // objects and nulls have no text and leave their place empty.
      member_ = line.MemberAtA(nullptr, k);
      const int count = member_.CountAtA();
      row.push_back('[');
      for (int l = 0; l < count; ++l) {
        if (l > 0) row.push_back(',');
        AppendTextAtA(member_, IndexPath(l, element_path), row);
      }
      row.push_back(']');
      member_.Clear();
    }
    DoubleQuotesFrom(row, cell_start);
    row.push_back('"');
  }
}

}  // namespace ombrelk

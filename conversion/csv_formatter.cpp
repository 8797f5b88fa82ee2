#include "conversion/csv_formatter.h"

#include <charconv>
#include <cstring>
#include <vector>

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

// Appends `cell` between double quotes, each of its double quotes doubled.
// In GBK the byte 0x22 is never part of a two-byte character (second bytes
// are 0x40 or above), so no character is split.
void AppendQuoted(std::string_view cell, std::string& row) {
  row.push_back('"');
  while (!cell.empty()) {
    const void* quote = std::memchr(cell.data(), '"', cell.size());
    if (quote == nullptr) {
      row.append(cell);
      break;
    }
    size_t through = static_cast<size_t>(static_cast<const char*>(quote) - cell.data()) + 1;
    row.append(cell.data(), through);
    row.push_back('"');
    cell.remove_prefix(through);
  }
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

void CsvRowFormatter::FormatRow(const JsonDocument& line, int member_count, std::string& row) {
  char path[16];
  char element_path[16];
  for (int k = 0; k < member_count; ++k) {
    if (k > 0) row.push_back(',');
    IndexPath(k, path);
    if (line.TypeAtA(path) != kArrayKind) {
      AppendQuoted(line.TextAtA(path), row);
      continue;
    }
    // An array member: its elements' texts joined by "," between brackets.
    // Nested arrays, objects and nulls have no text and leave their place empty.
    member_ = line.MemberAtA(nullptr, k);
    int count = member_.CountAtA();
    cell_.assign(1, '[');
    for (int l = 0; l < count; ++l) {
      if (l > 0) cell_.push_back(',');
      cell_.append(member_.TextAtA(IndexPath(l, element_path)));
    }
    cell_.push_back(']');
    member_.Clear();
    AppendQuoted(cell_, row);
  }
}

}  // namespace ombrelk

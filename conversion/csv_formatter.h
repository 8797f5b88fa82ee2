// Turns parsed JSON lines into CSV text: the header from the first line's
// keys, and one row of quoted cells per line, by member position.
#pragma once

#include <string>
#include <string_view>

#include "json/json_document.h"

namespace ombrelk {

class CsvRowFormatter {
 public:
  // The keys of the line's top-level object joined by ","; the empty text
  // when the line yields no keys. A key holding a comma, a double quote, a CR
  // or an LF is quoted with its quotes doubled; every other key stays bare.
  std::string BuildHeader(std::string_view line);

  // Appends the row for `line` (parsed, with `member_count` >= 1 members, as
  // CountAtA gives it) to `row`, without a line end. Reads the line only;
  // the caller clears it afterwards.
  void FormatRow(const JsonDocument& line, int member_count, std::string& row);

 private:
  JsonDocument member_;  // shares the array member being flattened
};

}  // namespace ombrelk

// Turns parsed JSON lines into CSV text: the header from the first line's
// keys, and one row of quoted cells per line, by member position.
//
// The CSV file a run writes: the header line (always present, empty when the
// first line yields no keys), then one row per good line in input order, each
// line ending in CR LF; no byte-order mark. Cell i of a row is member i of its
// own line, whatever its key: rows are not matched to the header by key.
// The error-lines file holds every error line's bytes unchanged, each
// followed by CR LF, in input order, without header.
//
// All texts are GBK (code page 936) bytes, as the A readers give them.
#pragma once

#include <string>
#include <string_view>

#include "json/json_document.h"

namespace ombrelk {

class CsvRowFormatter {
 public:
  // The keys of the line's top-level object joined by ","; the empty text
  // when the line yields no keys (not an object, an empty object, invalid
  // JSON). A key holding a comma, a double quote, a CR or an LF is quoted
  // with its quotes doubled, so the header has as many columns as the keys;
  // every other key stays bare.
  std::string BuildHeader(std::string_view line);

  // Appends the row for `line` (parsed, with `member_count` >= 1 members, as
  // CountAtA gives it) to `row`, without a line end. Every member becomes one
  // cell between double quotes, its quotes doubled:
  //   string            its value as stored (the escape \n is CR LF by now)
  //   number            exactly as written in the line ("2.0", "1e5")
  //   boolean           "true" / "false"
  //   null, object      empty
  //   array             "[" + its elements by these rules, joined by "," + "]";
  //                     a nested array or object gives an empty element
  // Reads the line only; the caller clears it afterwards.
  void FormatRow(const JsonDocument& line, int member_count, std::string& row);
};

}  // namespace ombrelk

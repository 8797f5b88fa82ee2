// The tolerant JSON text parser behind the parse methods of JsonDocument.
//
// One left-to-right pass over UTF-16 text with an explicit stack of the open
// objects and arrays (no recursion). Tokens and keys are cut out by start and
// counted length, copied into a scratch buffer, unescaped and classified
// there. The grammar is JSON with tolerances: single as well as double
// quotes, unquoted keys, trailing commas, empty elements, a missing comma
// after a nested object or array, several top-level containers merging into
// one root, and (unless skipped) text outside every container making the
// whole text one scalar value. The escape \n becomes CR LF.
//
// Internal to the library; users call JsonDocument's parse methods.
#pragma once

#include <cstdint>
#include <string_view>

#include "json/json_node.h"
#include "json/parser_tokens.h"

namespace ombrelk {

struct ParseOptions {
  bool decode_unicode_escapes = false;  // \uXXXX -> one code unit
  bool skip_top_level_text = false;     // ignore characters outside containers
};

struct ParseOutcome {
  int code = 0;      // kParseOk or a document error code (json_document.h)
  int position = 0;  // code unit index; 0 unless the code is -3..-6
};

// Parses `text` (it ends at its first zero code unit or at its end) into
// `target`, which is emptied first (kind kept) and filled by the text. On
// failure the target is emptied again, keeping the kind the text had made it.
// No target: -2. (An empty byte array is the caller's -2; an empty view here
// parses as blank text and succeeds.)
ParseOutcome ParseText(JsonNode* target, std::u16string_view text, ParseOptions options);
// As ParseText for a text known to hold no zero code unit and to be
// followed by one (the converted form of a GBK text cut at its first zero
// byte, held in a std::u16string): all of it is parsed.
ParseOutcome ParseTextWithoutZeros(JsonNode* target, std::u16string_view text, ParseOptions options);
// As ParseText, always with the tolerant parser alone: text of plain JSON
// shape normally takes a fast path (parser_fast_path.h) that gives the same
// tree. For tests that compare the two.
ParseOutcome ParseTextTolerantly(JsonNode* target, std::u16string_view text, ParseOptions options);

}  // namespace ombrelk

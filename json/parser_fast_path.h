// The parser's fast path for text of plain JSON shape, the shape of nearly
// every line a converter meets: one top-level object or array, keys in
// quotes, a comma between items (a trailing one allowed), blanks only
// between tokens. Such text is read in one tight pass with the same nodes,
// keys, values and stored text forms, made and attached in the same order,
// as the tolerant parser gives it.
//
// Anything else (unquoted keys, empty elements, a missing comma, text
// around the container, a token that is no value, an unterminated text, no
// storage) makes the fast path give up; the tolerant parser then starts
// over and decides, errors and positions included.
//
// Internal to the library (exposed for tests).
#pragma once

#include <string_view>
#include <vector>

#include "json/json_node.h"

namespace ombrelk {

// Parses `text` (no zero code unit in it, and one right after it: the
// scans stop there) into `target`, already emptied.
// True when the whole text was taken. False when the fast path gave up: the
// target may then hold part of the tree and has become the kind of the
// text's first container (which is what the tolerant parser makes it first
// thing too); the caller empties it again. `stack` and `scratch` (room for
// text.size() units) are working storage.
bool ParsePlainJson(JsonNode* target, std::u16string_view text, bool decode_unicode_escapes,
                    std::vector<JsonNode*>& stack, char16_t* scratch);

}  // namespace ombrelk

// Code page 936 (GBK as Windows defines it) <-> UTF-16, with the results of
// MultiByteToWideChar / WideCharToMultiByte called with flags 0. Exact tables
// (generated from the Windows table, see tools/cp936/), never the process
// locale.
#pragma once

#include <string>
#include <string_view>

namespace ombrelk::platform {

// Appends the UTF-16 form of `bytes` to `out`. Every byte is converted, zero
// bytes included (callers that stop at the first zero cut the input first).
// Bytes 0x00..0x7F are themselves, 0x80 is U+20AC and 0xFF is U+F8F5; 0x81..
// 0xFE lead a two-byte character. Invalid input converts as Windows does: a
// lead byte followed by a byte that is not a valid trail byte gives one '?'
// for both, unless that byte is 0x00 (then the lead alone gives '?' and the
// zero converts on its own); a lead byte at the very end gives '?'.
// At most one code unit per byte; `out` grows once and nothing else is
// allocated.
void AppendCp936AsUtf16(std::string_view bytes, std::u16string& out);
std::u16string Cp936ToUtf16(std::string_view bytes);

// Appends the code page 936 form of `text` to `out`. Each code unit converts on
// its own: one without a mapping gives '?', best fits included as Windows does
// them (U+00B2 gives '2', U+00C0 gives the bytes of U+00E0); a surrogate, paired
// or not, gives '?', so a character beyond the BMP becomes "??".
// At most two bytes per code unit; `out` grows once.
void AppendUtf16AsCp936(std::u16string_view text, std::string& out);
std::string Utf16ToCp936(std::u16string_view text);

// The quoted form of a CSV cell: writes the code page 936 form of `text` up to
// its first zero code unit to `out`, converted as above, with every '"' byte
// written twice. `out` must have room for 2 * text.size() bytes; gives the end
// of what was written. Nothing is allocated.
char* WriteUtf16AsCp936DoublingQuotes(std::u16string_view text, char* out);

}  // namespace ombrelk::platform

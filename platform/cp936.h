// Code page 936 (GBK as Windows defines it) <-> UTF-16, with the results of
// MultiByteToWideChar / WideCharToMultiByte called with flags 0. Exact tables,
// never the process locale.
#pragma once

#include <string>
#include <string_view>

namespace ombrelk::platform {

// Appends the UTF-16 form of `bytes` to `out`. Every byte is converted, zero
// bytes included (callers that stop at the first zero cut the input first).
// Invalid input converts as Windows does: a lead byte followed by a byte that
// is not a valid trail byte gives '?' for both, unless that byte is 0x00 (then
// the lead alone gives '?' and the zero converts on its own); a lead byte at
// the very end gives '?'.
void AppendCp936AsUtf16(std::string_view bytes, std::u16string& out);
std::u16string Cp936ToUtf16(std::string_view bytes);

// Appends the code page 936 form of `text` to `out`. A code unit without a
// mapping (best fits included, as Windows does them) gives '?'.
void AppendUtf16AsCp936(std::u16string_view text, std::string& out);
std::string Utf16ToCp936(std::u16string_view text);

}  // namespace ombrelk::platform

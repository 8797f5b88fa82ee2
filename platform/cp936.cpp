// PLACEHOLDER until the generated tables land: ASCII only, everything else '?'.
#include "platform/cp936.h"

namespace ombrelk::platform {

void AppendCp936AsUtf16(std::string_view bytes, std::u16string& out) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out.push_back(b);
    } else {
      out.push_back(u'?');
      if (i + 1 < bytes.size() && bytes[i + 1] != 0) ++i;
    }
  }
}

std::u16string Cp936ToUtf16(std::string_view bytes) {
  std::u16string out;
  AppendCp936AsUtf16(bytes, out);
  return out;
}

void AppendUtf16AsCp936(std::u16string_view text, std::string& out) {
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
}

std::string Utf16ToCp936(std::u16string_view text) {
  std::string out;
  AppendUtf16AsCp936(text, out);
  return out;
}

}  // namespace ombrelk::platform

// PLACEHOLDER implementations; the exact ones replace them.
#include "platform/number_text.h"

#include <cstdio>
#include <cstdlib>

namespace ombrelk::platform {

void AppendG13(double value, std::string& out) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%.13g", value);
  std::string s(buf, n);
  auto e = s.find('e');
  if (e != std::string::npos && s.size() - e == 4) s.insert(e + 2, "0");
  out += s;
}

std::string FormatG13(double value) {
  std::string out;
  AppendG13(value, out);
  return out;
}

void AppendInt64(int64_t value, std::string& out) { out += std::to_string(value); }

static std::string Narrow(std::u16string_view text) {
  std::string s;
  for (char16_t c : text) s.push_back(c < 0x80 ? static_cast<char>(c) : '\x01');
  return s;
}

double ReadAtof(std::string_view text) { return std::atof(std::string(text).c_str()); }
double ReadAtof(std::u16string_view text) { return ReadAtof(Narrow(text)); }
int64_t ReadWtoi64(std::u16string_view text) { return std::atoll(Narrow(text).c_str()); }
int32_t ReadStrToInt(std::u16string_view text) { return std::atoi(Narrow(text).c_str()); }
int32_t ReadHexDigits(std::u16string_view hex_digits) {
  return static_cast<int32_t>(std::strtol(Narrow(hex_digits).c_str(), nullptr, 16));
}

}  // namespace ombrelk::platform

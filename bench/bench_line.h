// The benchmark's input line: a deterministic JSON object of 16 members,
// about 320 bytes of GBK text, of the shape real exports have: integers,
// floating numbers as written ("87.25", "1.5e-3", "-1234.50"), strings with
// escapes and Chinese text (one character whose second byte is 0x5C, '\'),
// booleans, a null, an array holding a nested array and a null, and a nested
// object. Shared by the input generator and the formatter's benchmark.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

namespace ombrelk::bench {

class BenchLineGenerator {
 public:
  explicit BenchLineGenerator(uint64_t seed = 20240115) : state_(seed) {}

  // Appends the next line, without its line end.
  void AppendLine(std::string& out) {
    // GBK texts, written as bytes so the source stays plain ASCII.
    static constexpr const char* kNames[] = {
        "\xd5\xc5\xce\xb0", "\xcd\xf5\xb7\xbc", "\xc0\xee\xc4\xc8", "\xc1\xf5\xd1\xf3",
        "\xb3\xc2\xbe\xb2"};  // 张伟 王芳 李娜 刘洋 陈静
    static constexpr const char* kCities[] = {
        "\xb1\xb1\xbe\xa9", "\xc9\xcf\xba\xa3", "\xb9\xe3\xd6\xdd", "\xc9\xee\xdb\xda",
        "\xb3\xc9\xb6\xbc", "\xba\xbc\xd6\xdd"};  // 北京 上海 广州 深圳 成都 杭州
    static constexpr const char* kStreets[] = {
        "\xb3\xaf\xd1\xf4\xc7\xf8\xbd\xa8\xb9\xfa\xc2\xb7",                  // 朝阳区建国路
        "\xc6\xd6\xb6\xab\xd0\xc2\xc7\xf8\xca\xc0\xbc\xcd\xb4\xf3\xb5\xc0"};  // 浦东新区世纪大道
    static constexpr const char* kTiers[] = {"gold", "silver", "bronze", "basic"};
    // 测试数据
    static constexpr const char* kDescription = "\xb2\xe2\xca\xd4\xca\xfd\xbe\xdd";
    // 嘰: its second byte is 0x5C, the backslash.
    static constexpr const char* kBackslashTrail = "\x87\x5c";

    uint64_t r = Next();
    char number[64];
    out += "{\"id\":";
    out += std::to_string(1000000 + index_++);
    out += ",\"user\":\"u";
    out += std::to_string(10000 + r % 90000);
    out += "\",\"name\":\"";
    out += kNames[(r >> 20) % std::size(kNames)];
    out += "\",\"city\":\"";
    out += kCities[(r >> 24) % std::size(kCities)];
    std::snprintf(number, sizeof number, "\",\"score\":%d.%02d", static_cast<int>((r >> 28) % 100),
                  static_cast<int>((r >> 36) % 100));
    out += number;
    std::snprintf(number, sizeof number, ",\"ratio\":%d.%de-%d", static_cast<int>((r >> 8) % 9 + 1),
                  static_cast<int>((r >> 12) % 10), static_cast<int>((r >> 16) % 5 + 1));
    out += number;
    out += (r >> 40) & 1 ? ",\"active\":true" : ",\"active\":false";
    out += (r >> 41) & 1 ? ",\"vip\":true" : ",\"vip\":false";
    out += ",\"note\":null,\"tags\":[\"";
    out += kTiers[(r >> 42) % std::size(kTiers)];
    out += "\",\"";
    out += kCities[(r >> 46) % std::size(kCities)];
    out += "\",";
    out += std::to_string((r >> 50) % 10);
    out += ",null,[1,2]],\"addr\":{\"street\":\"";
    out += kStreets[(r >> 52) % std::size(kStreets)];
    out += std::to_string((r >> 54) % 200 + 1);
    out += "\",\"zip\":\"";
    out += std::to_string(100000 + (r >> 4) % 900000);
    out += "\"},\"memo\":\"said \\\"ok\\\"\\n\\tC:\\\\";
    out += kBackslashTrail;
    out += ".json\",\"amount\":";
    std::snprintf(number, sizeof number, "-%d.%d0", static_cast<int>(Next() % 100000),
                  static_cast<int>(r % 10));
    out += number;
    out += ",\"count\":";
    out += std::to_string(r % 1000);
    std::snprintf(number, sizeof number, ",\"created\":\"2024-%02d-%02d %02d:%02d\"",
                  static_cast<int>(r % 12 + 1), static_cast<int>((r >> 5) % 28 + 1),
                  static_cast<int>((r >> 10) % 24), static_cast<int>((r >> 15) % 60));
    out += number;
    out += ",\"desc\":\"";
    out += kDescription;
    // A tail of varying length, so lines are not all alike.
    out.append(static_cast<size_t>((r >> 58) % 4), 'x');
    out += "\"}";
  }

 private:
  // splitmix64: the same sequence on every machine.
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  uint64_t state_;
  uint64_t index_ = 0;
};

}  // namespace ombrelk::bench

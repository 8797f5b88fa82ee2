// Parsing a typical input line (about 300 bytes of GBK, 16 members) into one
// reused document and clearing it, as the converter does for every line;
// with baselines in the same run: copying the line, and converting it from
// code page 936 to UTF-16 (the first step of every parse). Also the lines of
// the converter's benchmark input (bench_line.h), 64 of them in turn.
// Also large single lines of several shapes at two sizes: time per byte
// must not grow with the size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_line.h"
#include "json/json_document.h"
#include "platform/cp936.h"

namespace {

using ombrelk::JsonDocument;

// 16 members: integers, floats, strings with escapes and Chinese text,
// booleans, null, a nested array and a nested object.
std::string TypicalLine() {
  std::u16string line =
      u"{\"id\":1234567,\"price\":12.75,\"qty\":3,\"name\":\"张三丰\",\"city\":\"北京市朝阳区建国路\","
      u"\"note\":\"第一行\\n第二行 \\\"引号\\\" \\\\ 结束\",\"ok\":true,\"flag\":false,\"extra\":null,"
      u"\"tags\":[1,2,3,\"标签\"],\"pos\":{\"x\":1.5,\"y\":-2},\"ratio\":0.125,\"code\":\"A-001\","
      u"\"ts\":1700000000,\"memo\":\"中文备注信息，含标点。\",\"score\":98.5}";
  return ombrelk::platform::Utf16ToCp936(line);
}

void BM_CopyLine(benchmark::State& state) {
  std::string line = TypicalLine();
  std::vector<char> buffer(line.size());
  for (auto _ : state) {
    std::memcpy(buffer.data(), line.data(), line.size());
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * line.size());
}
BENCHMARK(BM_CopyLine);

void BM_ConvertLineToUtf16(benchmark::State& state) {
  std::string line = TypicalLine();
  std::u16string wide;
  for (auto _ : state) {
    ombrelk::AnsiToUtf16(line, wide);
    benchmark::DoNotOptimize(wide.data());
  }
  state.SetBytesProcessed(state.iterations() * line.size());
}
BENCHMARK(BM_ConvertLineToUtf16);

void BM_ParseAndClearLine(benchmark::State& state) {
  std::string line = TypicalLine();
  JsonDocument document;
  int code = 0;
  if (!document.ParseA(line, false, false, &code) || document.CountAtA() != 16) {
    state.SkipWithError("the typical line does not parse into 16 members");
    return;
  }
  for (auto _ : state) {
    document.ParseA(line);
    benchmark::DoNotOptimize(document.GetRoot());
    document.Clear();
  }
  state.SetBytesProcessed(state.iterations() * line.size());
  state.counters["bytes"] = static_cast<double>(line.size());
}
BENCHMARK(BM_ParseAndClearLine);

// Per line, over 64 generated lines of the benchmark input.
void BM_ParseAndClearBenchLines(benchmark::State& state) {
  ombrelk::bench::BenchLineGenerator generator;
  std::vector<std::string> lines(64);
  size_t bytes = 0;
  for (std::string& line : lines) {
    generator.AppendLine(line);
    bytes += line.size();
  }
  JsonDocument document;
  for (const std::string& line : lines) {
    if (!document.ParseA(line) || document.CountAtA() != 16) {
      state.SkipWithError("a benchmark line does not parse into 16 members");
      return;
    }
  }
  size_t k = 0;
  for (auto _ : state) {
    document.ParseA(lines[k]);
    benchmark::DoNotOptimize(document.GetRoot());
    document.Clear();
    k = (k + 1) % lines.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes / lines.size()));
  state.counters["bytes"] = static_cast<double>(bytes) / static_cast<double>(lines.size());
}
BENCHMARK(BM_ParseAndClearBenchLines);

// One line of `size` bytes in a given shape.
std::string LargeLine(int shape, size_t size) {
  std::string text;
  switch (shape) {
    case 0:  // an object with many members
      text = "{";
      for (int k = 0; text.size() < size; ++k) text += "\"k" + std::to_string(k) + "\":" + std::to_string(k) + ",";
      text += "}";
      break;
    case 1:  // an array of small objects
      text = "[";
      while (text.size() < size) text += "{\"a\":1,\"b\":\"x\"},";
      text += "]";
      break;
    case 2:  // one long top-level number
      text = std::string(size, '7');
      break;
    case 3:  // deep nesting
      text = std::string(size / 2, '[') + std::string(size / 2, ']');
      break;
  }
  return text;
}

void BM_ParseLargeLine(benchmark::State& state) {
  std::string line = LargeLine(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)));
  JsonDocument document;
  for (auto _ : state) {
    document.ParseA(line);
    benchmark::DoNotOptimize(document.GetRoot());
    document.Clear();
  }
  state.SetBytesProcessed(state.iterations() * line.size());
}
BENCHMARK(BM_ParseLargeLine)
    ->ArgNames({"shape", "bytes"})
    ->ArgsProduct({{0, 1, 2, 3}, {64 << 10, 4 << 20}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

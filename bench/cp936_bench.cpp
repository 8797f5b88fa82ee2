// Code page 936 <-> UTF-16 on the benchmark's ~320-byte GBK lines (mostly
// ASCII, some Chinese), one line per iteration, against plain copies of the
// same text in the same run: a line is converted to UTF-16 once when it is
// parsed, and texts go back to GBK once per CSV cell.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_line.h"
#include "platform/cp936.h"

namespace ombrelk {
namespace {

struct Lines {
  std::vector<std::string> bytes;
  std::vector<std::u16string> units;
  // Each line cut at its quotes: about the pieces that become CSV cells.
  std::vector<std::vector<std::u16string>> cells;
  size_t total_bytes = 0;

  Lines() {
    bench::BenchLineGenerator generator;
    for (int i = 0; i < 64; ++i) {
      std::string line;
      generator.AppendLine(line);
      total_bytes += line.size();
      units.push_back(platform::Cp936ToUtf16(line));
      std::vector<std::u16string> pieces;
      size_t start = 0;
      const std::u16string& u = units.back();
      for (size_t quote; (quote = u.find(u'"', start)) != std::u16string::npos; start = quote + 1) {
        if (quote > start) pieces.push_back(u.substr(start, quote - start));
      }
      cells.push_back(std::move(pieces));
      bytes.push_back(std::move(line));
    }
  }
};

const Lines& TestLines() {
  static const Lines lines;
  return lines;
}

void Finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(TestLines().total_bytes / 64));
}

void BM_CopyBytesBaseline(benchmark::State& state) {
  const Lines& lines = TestLines();
  std::string out;
  size_t i = 0;
  for (auto _ : state) {
    out.assign(lines.bytes[i++ & 63]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_CopyBytesBaseline);

void BM_Cp936ToUtf16(benchmark::State& state) {
  const Lines& lines = TestLines();
  std::u16string out;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    platform::AppendCp936AsUtf16(lines.bytes[i++ & 63], out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_Cp936ToUtf16);

void BM_CopyUnitsBaseline(benchmark::State& state) {
  const Lines& lines = TestLines();
  std::u16string out;
  size_t i = 0;
  for (auto _ : state) {
    out.assign(lines.units[i++ & 63]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_CopyUnitsBaseline);

void BM_Utf16ToCp936(benchmark::State& state) {
  const Lines& lines = TestLines();
  std::string out;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    platform::AppendUtf16AsCp936(lines.units[i++ & 63], out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_Utf16ToCp936);

// Every piece of a line appended to one row, copied as UTF-16 units: the
// floor for the per-cell conversion below.
void BM_CopyCellsBaseline(benchmark::State& state) {
  const Lines& lines = TestLines();
  std::u16string row;
  size_t i = 0;
  for (auto _ : state) {
    row.clear();
    for (const std::u16string& cell : lines.cells[i++ & 63]) row.append(cell);
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_CopyCellsBaseline);

void BM_Utf16ToCp936PerCell(benchmark::State& state) {
  const Lines& lines = TestLines();
  std::string row;
  size_t i = 0;
  for (auto _ : state) {
    row.clear();
    for (const std::u16string& cell : lines.cells[i++ & 63]) platform::AppendUtf16AsCp936(cell, row);
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_Utf16ToCp936PerCell);

}  // namespace
}  // namespace ombrelk

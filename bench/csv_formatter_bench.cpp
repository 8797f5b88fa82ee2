// FormatRow per row for the benchmark line (16 members, one array with a
// nested array, GBK text) and over 64 such lines in turn, beside a copy of the
// line's bytes into the same reused row buffer (the floor any formatter
// stands on) and the parse that precedes every row. Read the figures as
// ratios to BM_CopyLineBaseline.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_line.h"
#include "conversion/csv_formatter.h"
#include "json/json_document.h"

namespace {

std::string BenchLine() {
  std::string line;
  ombrelk::bench::BenchLineGenerator().AppendLine(line);
  return line;
}

void SetCounters(benchmark::State& state, const std::string& line) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
}

void BM_CopyLineBaseline(benchmark::State& state) {
  const std::string line = BenchLine();
  std::string row;
  for (auto _ : state) {
    row.clear();
    row.append(line);
    benchmark::DoNotOptimize(row.data());
  }
  SetCounters(state, line);
}
BENCHMARK(BM_CopyLineBaseline);

void BM_FormatRow(benchmark::State& state) {
  const std::string line = BenchLine();
  ombrelk::JsonDocument document;
  document.ParseA(line);
  const int members = document.CountAtA();
  ombrelk::CsvRowFormatter formatter;
  std::string row;
  for (auto _ : state) {
    row.clear();
    formatter.FormatRow(document, members, row);
    benchmark::DoNotOptimize(row.data());
  }
  SetCounters(state, line);
  state.counters["members"] = members;
}
BENCHMARK(BM_FormatRow);

// The same over 64 generated lines in turn, so that no branch history learns
// one line's cells; ns per row.
void BM_FormatRowOf64Lines(benchmark::State& state) {
  constexpr size_t kLines = 64;
  ombrelk::bench::BenchLineGenerator generator;
  std::vector<ombrelk::JsonDocument> documents(kLines);
  std::vector<int> members(kLines);
  int64_t bytes = 0;
  for (size_t i = 0; i < kLines; ++i) {
    std::string line;
    generator.AppendLine(line);
    bytes += static_cast<int64_t>(line.size());
    documents[i].ParseA(line);
    members[i] = documents[i].CountAtA();
  }
  ombrelk::CsvRowFormatter formatter;
  std::string row;
  size_t i = 0;
  for (auto _ : state) {
    row.clear();
    formatter.FormatRow(documents[i], members[i], row);
    benchmark::DoNotOptimize(row.data());
    i = (i + 1) % kLines;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * bytes / static_cast<int64_t>(kLines));
}
BENCHMARK(BM_FormatRowOf64Lines);

void BM_ParseLine(benchmark::State& state) {
  const std::string line = BenchLine();
  ombrelk::JsonDocument document;
  for (auto _ : state) {
    document.ParseA(line);
    benchmark::DoNotOptimize(document.GetRoot());
    document.Clear();
  }
  SetCounters(state, line);
}
BENCHMARK(BM_ParseLine);

// What the run does per good line: parse, count, format, clear.
void BM_ConvertLine(benchmark::State& state) {
  const std::string line = BenchLine();
  ombrelk::JsonDocument document;
  ombrelk::CsvRowFormatter formatter;
  std::string row;
  for (auto _ : state) {
    row.clear();
    document.ParseA(line);
    formatter.FormatRow(document, document.CountAtA(), row);
    document.Clear();
    benchmark::DoNotOptimize(row.data());
  }
  SetCounters(state, line);
}
BENCHMARK(BM_ConvertLine);

}  // namespace

// What the converter pays per cell: TypeAtA("[k]") then TextAtA("[k]") over
// the 16 members of the benchmark line, against reading the same members
// straight from the nodes (no path, no conversion to a std::string), and the
// appending reader that resolves each path once; parsing the line is shown
// for scale. Every benchmark counts the
// heap allocations made inside its timed loop ("allocs/member"), through the
// counting operator new below.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "bench/bench_line.h"
#include "json/json_document.h"
#include "json/json_node.h"
#include "json/json_path.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// The replaced operator new takes its blocks from malloc, so free is right.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace ombrelk {
namespace {

constexpr int kMembers = 16;

struct Line {
  Line() {
    bench::BenchLineGenerator().AppendLine(text);
    document.ParseA(text.c_str());
    for (int k = 0; k < kMembers; ++k) std::snprintf(paths[k], sizeof paths[k], "[%d]", k);
  }
  std::string text;
  JsonDocument document;
  char paths[kMembers][8];
};

const Line& TheLine() {
  static const Line line;
  if (line.document.CountAtA() != kMembers) std::abort();
  return line;
}

// Time and allocations per member.
void Report(benchmark::State& state, long allocations) {
  state.counters["ns/member"] = benchmark::Counter(
      kMembers, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["allocs/member"] =
      static_cast<double>(allocations) / (static_cast<double>(state.iterations()) * kMembers);
}

// Baseline: the same reads straight from the nodes, text converted into one
// reused buffer.
void BM_DirectNodeReads(benchmark::State& state) {
  const Line& line = TheLine();
  JsonNode* root = line.document.GetRoot();
  std::string cell;
  long before = g_allocations.load();
  for (auto _ : state) {
    for (int k = 0; k < kMembers; ++k) {
      const JsonNode* node = root->ChildAt(k);
      int kind = static_cast<int>(node->Kind());
      cell.clear();
      std::u16string_view text =
          node->Kind() == NodeType::String ? node->StringValue() : node->TextForm();
      if (kind != static_cast<int>(NodeType::Null)) AppendUtf16AsAnsi(text, cell);
      benchmark::DoNotOptimize(kind);
      benchmark::DoNotOptimize(cell.data());
    }
  }
  Report(state, g_allocations.load() - before);
}
BENCHMARK(BM_DirectNodeReads);

// The converter's reads: TypeAtA + TextAtA per member.
void BM_TypeAtA_TextAtA(benchmark::State& state) {
  const Line& line = TheLine();
  long before = g_allocations.load();
  for (auto _ : state) {
    for (int k = 0; k < kMembers; ++k) {
      int kind = line.document.TypeAtA(line.paths[k]);
      std::string text = line.document.TextAtA(line.paths[k]);
      benchmark::DoNotOptimize(kind);
      benchmark::DoNotOptimize(text.data());
    }
  }
  Report(state, g_allocations.load() - before);
}
BENCHMARK(BM_TypeAtA_TextAtA);

// The one-step path alone: must make no allocation at all.
void BM_TypeAtA(benchmark::State& state) {
  const Line& line = TheLine();
  long before = g_allocations.load();
  for (auto _ : state) {
    for (int k = 0; k < kMembers; ++k) benchmark::DoNotOptimize(line.document.TypeAtA(line.paths[k]));
  }
  Report(state, g_allocations.load() - before);
}
BENCHMARK(BM_TypeAtA);

// One resolution per cell, text appended to a reused buffer.
void BM_AppendTextAtA(benchmark::State& state) {
  const Line& line = TheLine();
  std::string cell;
  cell.reserve(256);
  long before = g_allocations.load();
  for (auto _ : state) {
    for (int k = 0; k < kMembers; ++k) {
      cell.clear();
      int kind = AppendTextAtA(line.document, line.paths[k], cell);
      benchmark::DoNotOptimize(kind);
      benchmark::DoNotOptimize(cell.data());
    }
  }
  Report(state, g_allocations.load() - before);
}
BENCHMARK(BM_AppendTextAtA);

// For scale: parsing and clearing the same line, per member.
void BM_ParseLine(benchmark::State& state) {
  const Line& line = TheLine();
  JsonDocument document;
  long before = g_allocations.load();
  for (auto _ : state) {
    document.ParseA(line.text.c_str());
    document.Clear();
  }
  Report(state, g_allocations.load() - before);
}
BENCHMARK(BM_ParseLine);

}  // namespace
}  // namespace ombrelk

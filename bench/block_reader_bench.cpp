// Splitting a 128 MiB block of ~320-byte JSON lines into line views, against
// a plain memchr count of its LFs (the floor for any splitter), and a whole
// ReadBlockLines from a file in the page cache (read plus split).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "conversion/block_reader.h"

namespace ombrelk {
namespace {

constexpr size_t kBlockBytes = size_t{128} << 20;

// Lines of 250 to 390 bytes (320 on average), each ended by `line_end`.
std::string MakeBlock(const char* line_end) {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> length(250, 390);
  std::string block;
  block.reserve(kBlockBytes + 512);
  std::string line;
  for (long id = 0; block.size() < kBlockBytes; ++id) {
    line = "{\"id\":" + std::to_string(id) + ",\"name\":\"";
    int target = length(random);
    while (static_cast<int>(line.size()) < target - 2) line += static_cast<char>('a' + id % 26);
    line += "\"}";
    block += line;
    block += line_end;
  }
  return block;
}

const std::string& CrLfBlock() {
  static const std::string block = MakeBlock("\r\n");
  return block;
}
const std::string& LfBlock() {
  static const std::string block = MakeBlock("\n");
  return block;
}

void BM_MemchrCountBaseline(benchmark::State& state) {
  const std::string& block = CrLfBlock();
  for (auto _ : state) {
    const char* from = block.data();
    const char* end = from + block.size();
    size_t count = 0;
    while (const char* lf = static_cast<const char*>(std::memchr(from, '\n', end - from))) {
      ++count;
      from = lf + 1;
    }
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_MemchrCountBaseline)->Unit(benchmark::kMillisecond);

void BM_SplitLines(benchmark::State& state) {
  LineEnd line_end = state.range(0) == 0 ? LineEnd::kCrLf : LineEnd::kLf;
  const std::string& block = line_end == LineEnd::kCrLf ? CrLfBlock() : LfBlock();
  std::vector<Line> lines;
  for (auto _ : state) {
    SplitLines(block, line_end, lines);
    benchmark::DoNotOptimize(lines.data());
  }
  state.counters["lines"] = static_cast<double>(lines.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
  state.SetLabel(line_end == LineEnd::kCrLf ? "CR LF" : "LF");
}
BENCHMARK(BM_SplitLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Reads the block from a file (in /dev/shm when there is one, so the figure
// is the copy out of memory plus the split, not the disk).
void BM_ReadBlockLines(benchmark::State& state) {
  const std::string& block = CrLfBlock();
  std::filesystem::path dir = std::filesystem::exists("/dev/shm")
                                  ? std::filesystem::path("/dev/shm")
                                  : std::filesystem::temp_directory_path();
  std::string path = (dir / ("ombrelk-bench-" + std::to_string(::getpid()) + ".json")).string();
  std::ofstream(path, std::ios::binary) << block;
  FileHandle file = OpenFile(path);
  if (file == kInvalidFile) {
    state.SkipWithError("cannot open the block file");
    return;
  }
  BlockReader reader;
  for (auto _ : state) {
    int64_t count = reader.ReadBlockLines(file, 0, static_cast<int64_t>(block.size()));
    benchmark::DoNotOptimize(count);
  }
  CloseFile(file);
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_ReadBlockLines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ombrelk

// make_bench_input SIZE_MB OUTPUT: writes the benchmark's JSON-lines file
// (GBK, CR LF, about 320 bytes per line) of at least SIZE_MB MiB. The same
// arguments always give the same bytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_line.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Usage: make_bench_input SIZE_MB OUTPUT\n");
    return 2;
  }
  char* end = nullptr;
  long long megabytes = std::strtoll(argv[1], &end, 10);
  if (*end != '\0' || megabytes <= 0) {
    std::fprintf(stderr, "make_bench_input: SIZE_MB must be a positive number, not '%s'\n", argv[1]);
    return 2;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  const long long target = megabytes * 1024 * 1024;
  ombrelk::bench::BenchLineGenerator generator;
  std::string chunk;
  long long written = 0;
  while (written < target) {
    chunk.clear();
    while (chunk.size() < (1 << 20) && written + static_cast<long long>(chunk.size()) < target) {
      generator.AppendLine(chunk);
      chunk += "\r\n";
    }
    if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size()) {
      std::perror(argv[2]);
      return 1;
    }
    written += static_cast<long long>(chunk.size());
  }
  if (std::fclose(out) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}

// ombrelk-convert: converts JSON-lines files to CSV without a window, each
// input exactly as the window's run does.
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/terminal_controls.h"
#include "conversion/conversion_run.h"

#ifndef OMBRELK_VERSION
#define OMBRELK_VERSION "unknown"
#endif

namespace {

using ombrelk::cli::ConvertOptions;
using ombrelk::cli::TerminalControls;

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage = "Usage: ombrelk-convert [--columns N] [--record-errors] [--quiet] INPUT...\n";

constexpr const char* kHelp =
    "Converts JSON-lines files (GBK text, one JSON object per line, CR LF line\n"
    "ends) into CSV files, one input after another.\n"
    "\n"
    "For the input DIR/NAME.EXT it writes DIR/NAME.csv: a header of the first\n"
    "line's keys, then one row of quoted cells per good line. With\n"
    "--record-errors it also writes DIR/NAME_错误行.json holding every line that\n"
    "could not be converted, unchanged. An input without extension keeps its\n"
    "whole name: DIR/NAME.csv. An input whose CSV file would be the input\n"
    "itself is refused.\n"
    "\n"
    "Options:\n"
    "  --columns N       a line must have exactly N members, else it is an\n"
    "                    error line (0, the default: any number of members)\n"
    "  --record-errors   write the error lines to the error-lines file\n"
    "  --quiet           neither progress nor summary; failures are still reported\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Progress is shown on stderr when it is a terminal; a summary line\n"
    "(N lines, M error lines, T s) follows the last input.\n"
    "\n"
    "Exit status: 0 when every input converted, 1 when any input failed (the\n"
    "others are still converted), 2 on bad usage.\n";

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "ombrelk-convert: %s\n%sTry 'ombrelk-convert --help' for more.\n",
               problem.c_str(), kUsage);
  return kExitUsage;
}

// A column count as the option takes it: decimal digits within the range of
// a 32-bit count.
bool IsColumnCount(std::string_view text) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoll(std::string(text)) <= 2147483647;
}

}  // namespace

int main(int argc, char** argv) {
  ConvertOptions options;
  std::vector<std::string> inputs;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      inputs.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return kExitConverted;
    } else if (arg == "--version") {
      std::printf("ombrelk-convert %s\n", OMBRELK_VERSION);
      return kExitConverted;
    } else if (arg == "--record-errors") {
      options.record_errors = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (arg == "--columns" || arg.starts_with("--columns=")) {
      std::string_view value;
      if (arg == "--columns") {
        if (i + 1 >= argc) return UsageError("--columns needs a number");
        value = argv[++i];
      } else {
        value = arg.substr(std::strlen("--columns="));
      }
      if (!IsColumnCount(value)) {
        return UsageError("--columns takes a count of members (0 for any), not '" +
                          std::string(value) + "'");
      }
      options.column_limit = std::string(value);
    } else {
      return UsageError("unknown option '" + std::string(arg) + "'");
    }
  }
  if (inputs.empty()) return UsageError("no INPUT given");

  const bool show_progress = !options.quiet && isatty(STDERR_FILENO);
  const auto started = std::chrono::steady_clock::now();
  int64_t lines = 0;
  int64_t error_lines = 0;
  int exit_code = kExitConverted;
  for (const std::string& input : inputs) {
    TerminalControls controls(input, options, show_progress);
    ombrelk::ConversionWorker worker(controls);
    ombrelk::RunOutcome outcome = worker.Run();
    controls.ClearProgress();
    lines += controls.ProcessedLines();
    error_lines += controls.ErrorLines();
    if (outcome == ombrelk::RunOutcome::kEndProgram) {
      // The run's own message is the fixed block-read text; this says where and why.
      std::fprintf(stderr, "ombrelk-convert: %s; the outputs hold the lines before it\n",
                   worker.FailureReason().c_str());
    }
    if (outcome != ombrelk::RunOutcome::kFinished) exit_code = kExitFailed;
  }
  if (!options.quiet) {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "%" PRId64 " lines, %" PRId64 " error lines, %.2f s\n", lines,
                 error_lines, seconds);
  }
  return exit_code;
}

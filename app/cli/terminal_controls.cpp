#include "app/cli/terminal_controls.h"

#include <cinttypes>
#include <utility>

namespace ombrelk::cli {

namespace {

// Redraws per second at most; a line-by-line redraw would cost more than the
// conversion of the line.
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
constexpr int kBarWidth = 24;

}  // namespace

TerminalControls::TerminalControls(std::string input_path, const ConvertOptions& options,
                                   bool show_progress, std::FILE* err)
    : input_path_(std::move(input_path)),
      options_(options),
      show_progress_(show_progress),
      err_(err) {}

std::string& TerminalControls::TextOf(Counter counter) {
  switch (counter) {
    case Counter::kProcessed:
      return processed_;
    case Counter::kErrors:
      return errors_;
    case Counter::kElapsed:
      break;
  }
  return elapsed_;
}

// The elapsed counter as the window keeps it ("1 s" after the run's own
// tick); the bar shows the measured time instead.
void TerminalControls::Tick() {
  elapsed_ = CounterNumberText(static_cast<double>(TextToInteger(elapsed_)) + 1.0) + " s";
}

void TerminalControls::ShowMessage(const std::string& text, const std::string& caption) {
  ClearProgress();
  std::fprintf(err_, "ombrelk-convert: %s\n", text.c_str());
  std::fflush(err_);
}

void TerminalControls::Progress(int64_t done, int64_t total) {
  if (!show_progress_) return;
  Clock::time_point now = Clock::now();
  if (bar_drawn_ && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  DrawBar(done, total);
}

void TerminalControls::DrawBar(int64_t done, int64_t total) {
  double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
  if (fraction > 1.0) fraction = 1.0;
  if (fraction < 0.0) fraction = 0.0;
  char bar[kBarWidth + 1];
  int filled = static_cast<int>(fraction * kBarWidth);
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kBarWidth] = '\0';

  double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  double megabytes_per_second = seconds > 0 ? static_cast<double>(done) / 1e6 / seconds : 0.0;
  // "\r" and erase-to-end-of-line redraw in place.
  std::fprintf(err_,
               "\r[%s] %3d%%  %" PRId64 " lines  %" PRId64 " error lines  %.1f s  %.0f MB/s\x1b[K",
               bar, static_cast<int>(fraction * 100), ProcessedLines(), ErrorLines(), seconds,
               megabytes_per_second);
  std::fflush(err_);
  bar_drawn_ = true;
}

void TerminalControls::ClearProgress() {
  if (!bar_drawn_) return;
  std::fputs("\r\x1b[K", err_);
  std::fflush(err_);
  bar_drawn_ = false;
}

}  // namespace ombrelk::cli

#include "cli/progress_reporter.h"

namespace mirelay::cli {

namespace {

constexpr auto kTerminalInterval = std::chrono::milliseconds(100);
constexpr auto kLogInterval = std::chrono::seconds(10);

}  // namespace

ProgressReporter::ProgressReporter(std::FILE* stream, bool terminal, std::size_t total)
    : stream_(stream), terminal_(terminal), total_(total) {}

void ProgressReporter::PairDone() {
  ++done_;
  const auto now = Clock::now();
  if (done_ == total_ || Due(now)) Print(now);
}

bool ProgressReporter::Due(Clock::time_point now) const {
  if (terminal_) return now - lastPrint_ >= kTerminalInterval;
  const std::size_t percent = done_ * 100 / total_;
  return percent > lastPercent_ && now - lastPrint_ >= kLogInterval;
}

void ProgressReporter::Print(Clock::time_point now) {
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double rate = elapsed > 0 ? static_cast<double>(done_) / elapsed : 0;
  const double left = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0;
  const auto seconds = static_cast<long>(left + 0.5);
  std::fprintf(stream_, "%s%zu/%zu pairs, %.1f pairs/s, %ld:%02ld left%s", terminal_ ? "\r" : "",
               done_, total_, rate, seconds / 60, seconds % 60, terminal_ ? "\x1b[K" : "\n");
  std::fflush(stream_);
  lineOpen_ = terminal_;
  lastPrint_ = now;
  lastPercent_ = done_ * 100 / total_;
}

void ProgressReporter::Close() {
  if (lineOpen_) std::fputc('\n', stream_);
  lineOpen_ = false;
}

double ProgressReporter::ElapsedSeconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

}  // namespace mirelay::cli

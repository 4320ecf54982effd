#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>

namespace mirelay::cli {

// Progress on stderr: one rewritten line on a terminal; otherwise plain lines, at most one per
// percent of the pairs and per ten seconds, so that logs stay short.
class ProgressReporter {
 public:
  ProgressReporter(std::FILE* stream, bool terminal, std::size_t total);

  void PairDone();
  // Ends the rewritten line so that later messages start on a line of their own.
  void Close();
  double ElapsedSeconds() const;

 private:
  using Clock = std::chrono::steady_clock;

  bool Due(Clock::time_point now) const;
  void Print(Clock::time_point now);

  std::FILE* stream_;
  bool terminal_;
  std::size_t total_;
  std::size_t done_ = 0;
  std::size_t lastPercent_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastPrint_ = start_;
  bool lineOpen_ = false;
};

}  // namespace mirelay::cli

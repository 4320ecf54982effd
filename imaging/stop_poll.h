#pragma once

#include <cstddef>
#include <string>

#include "imaging/codec_options.h"
#include "imaging/image_error.h"

namespace mirelay {

inline void ThrowIfStopRequested(const StopRequest& stopRequested) {
  if (stopRequested && stopRequested()) throw ImageError(FailureKind::kStopped);
}

// Asks for the caller's stop request once per `interval` units of work (decoded bytes, runs),
// so that the question costs nothing next to the work while a stop still ends a gigabyte
// picture within milliseconds.
class StopPoll {
 public:
  StopPoll(const StopRequest& stopRequested, std::size_t interval)
      : stopRequested_(stopRequested), interval_(interval) {}

  void Advance(std::size_t units) {
    done_ += units;
    if (done_ < interval_) return;
    done_ = 0;
    ThrowIfStopRequested(stopRequested_);
  }

 private:
  const StopRequest& stopRequested_;
  std::size_t interval_;
  std::size_t done_ = 0;
};

// Bytes between two polls: a few milliseconds of decoding or encoding at any format's speed.
inline constexpr std::size_t kBytesBetweenStopPolls = std::size_t{1} << 20;

}  // namespace mirelay

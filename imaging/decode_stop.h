#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "imaging/decode_options.h"
#include "imaging/image_error.h"

namespace mirelay {

inline void ThrowIfStopRequested(const std::function<bool()>& stopRequested) {
  if (stopRequested && stopRequested()) throw ImageError(std::string(kStopped));
}

// Asks for the caller's stop request once per `interval` units of work (decoded bytes, runs),
// so that the question costs nothing next to the work while a stop still ends a gigabyte
// picture within milliseconds.
class StopPoll {
 public:
  StopPoll(const std::function<bool()>& stopRequested, std::size_t interval)
      : stopRequested_(stopRequested), interval_(interval) {}

  void Advance(std::size_t units) {
    done_ += units;
    if (done_ < interval_) return;
    done_ = 0;
    ThrowIfStopRequested(stopRequested_);
  }

 private:
  const std::function<bool()>& stopRequested_;
  std::size_t interval_;
  std::size_t done_ = 0;
};

// Bytes between two polls: a few milliseconds of decoding or encoding at any format's speed.
inline constexpr std::size_t kBytesBetweenStopPolls = std::size_t{1} << 20;

}  // namespace mirelay

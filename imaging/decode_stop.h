#pragma once

#include <cstddef>
#include <string>

#include "imaging/decode_options.h"
#include "imaging/image_error.h"

namespace mirelay {

inline void ThrowIfStopRequested(const DecodeOptions& options) {
  if (options.StopRequested()) throw ImageError(std::string(kDecodeStopped));
}

// Asks for the caller's stop request once per `interval` units of work (decoded bytes, runs),
// so that the question costs nothing next to the work while a stop still ends a gigabyte
// picture within milliseconds.
class StopPoll {
 public:
  StopPoll(const DecodeOptions& options, std::size_t interval)
      : options_(options), interval_(interval) {}

  void Advance(std::size_t units) {
    done_ += units;
    if (done_ < interval_) return;
    done_ = 0;
    ThrowIfStopRequested(options_);
  }

 private:
  const DecodeOptions& options_;
  std::size_t interval_;
  std::size_t done_ = 0;
};

// Decoded bytes between two polls: a few milliseconds of decoding at any format's speed.
inline constexpr std::size_t kBytesBetweenStopPolls = std::size_t{1} << 20;

}  // namespace mirelay

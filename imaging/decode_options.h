#pragma once

#include <functional>
#include <string_view>

namespace mirelay {

// The text of the error that ends a decode or an encode its caller no longer wants.
inline constexpr std::string_view kStopped = "Stopped on request";

// How a caller wants a file decoded.
struct DecodeOptions {
  // Polled while decoding; once it gives true, the decode ends with ImageError(kStopped).
  std::function<bool()> stopRequested;

  bool StopRequested() const { return stopRequested && stopRequested(); }
};

}  // namespace mirelay

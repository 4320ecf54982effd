#pragma once

#include <cstddef>

#include "imaging/bitmap.h"

namespace mirelay::testing_support {

// Sets the pixel cap for one test and restores it afterwards.
class ScopedPixelCap {
 public:
  explicit ScopedPixelCap(std::size_t bytes) : saved_(MaxPixelBytes()) { SetMaxPixelBytes(bytes); }
  ~ScopedPixelCap() { SetMaxPixelBytes(saved_); }
  ScopedPixelCap(const ScopedPixelCap&) = delete;
  ScopedPixelCap& operator=(const ScopedPixelCap&) = delete;

 private:
  std::size_t saved_;
};

}  // namespace mirelay::testing_support

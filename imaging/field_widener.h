#pragma once

#include <bit>
#include <cstdint>

namespace mirelay {

// Takes the field of `mask` out of `word` and widens it to 8 bits by repeating its bits.
class FieldWidener {
 public:
  explicit FieldWidener(std::uint32_t mask)
      : mask_(mask),
        shift_(mask ? std::countr_zero(mask) : 0),
        width_(mask ? 32 - std::countl_zero(mask) - shift_ : 0) {}

  std::uint8_t operator()(std::uint32_t word) const {
    if (width_ == 0) return 0;
    const std::uint32_t value = (word & mask_) >> shift_;
    if (width_ >= 8) return static_cast<std::uint8_t>(value >> (width_ - 8));
    std::uint32_t widened = 0;
    int filled = 0;
    while (filled < 8) {
      widened = (widened << width_) | value;
      filled += width_;
    }
    return static_cast<std::uint8_t>(widened >> (filled - 8));
  }

 private:
  std::uint32_t mask_;
  int shift_;
  int width_;
};

}  // namespace mirelay

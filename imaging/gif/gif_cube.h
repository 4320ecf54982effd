#pragma once

#include <cstdint>

#include "imaging/gif/gif_image.h"

namespace mirelay {

// The 216-colour cube: six levels per channel, 51 apart; index 36 * red + 6 * green + blue.
inline constexpr int kCubeLevels = 6;
inline constexpr int kCubeColors = kCubeLevels * kCubeLevels * kCubeLevels;
inline constexpr int kCubeStep = 51;

inline constexpr std::uint8_t CubeIndex(int redLevel, int greenLevel, int blueLevel) {
  return static_cast<std::uint8_t>(36 * redLevel + 6 * greenLevel + blueLevel);
}

inline constexpr GifColor CubeColor(int index) {
  return {static_cast<std::uint8_t>(kCubeStep * (index / 36)),
          static_cast<std::uint8_t>(kCubeStep * (index / 6 % 6)),
          static_cast<std::uint8_t>(kCubeStep * (index % 6))};
}

}  // namespace mirelay

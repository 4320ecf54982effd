#pragma once

#include <cstdint>

namespace mirelay {

// The size a picture's header declares; for a GIF, its logical screen.
struct PictureSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

}  // namespace mirelay

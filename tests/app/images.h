#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/image_lib.h"

namespace mirelay::testing_support {

using Bgr = std::array<std::uint8_t, 3>;

// A 24-bit picture of one colour with its top-left pixel (the key, for a part) set apart.
inline Bitmap SolidPicture(int width, int height, Bgr fill, Bgr topLeft) {
  Bitmap picture(PixelFormat::kBits24, width, height);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const Bgr& colour = row == 0 && x == 0 ? topLeft : fill;
      std::copy(colour.begin(), colour.end(), picture.RowPointer(row) + 3 * x);
    }
  }
  return picture;
}

inline void WriteBmp(const std::string& path, const Bitmap& picture) {
  SaveBitmapAs(path, &picture, kFormatBmp);
}

inline Bgr PixelOf(const Bitmap& picture, int x, int row) {
  const std::uint8_t* p = picture.RowPointer(row) + 3 * x;
  return {p[0], p[1], p[2]};
}

}  // namespace mirelay::testing_support

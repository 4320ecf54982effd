#include "batch/overlay.h"

#include <algorithm>
#include <cstdlib>

#include "imaging/file_io.h"
#include "imaging/image_lib.h"

namespace mirelay {

void OverlayColorKey(Bitmap& base, const Bitmap& part, std::int32_t threshold) {
  const std::uint8_t* key = part.RowPointer(0);
  const int keyBlue = key[0], keyGreen = key[1], keyRed = key[2];
  const std::int32_t width = std::min(base.Width(), part.Width());
  const std::int32_t height = std::min(base.Height(), part.Height());
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* in = part.RowPointer(y);
    std::uint8_t* out = base.RowPointer(y);
    for (std::int32_t x = 0; x < width; ++x, in += 3, out += 3) {
      const bool opaque = std::abs(keyBlue - in[0]) > threshold ||
                          std::abs(keyGreen - in[1]) > threshold ||
                          std::abs(keyRed - in[2]) > threshold;
      if (opaque) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
    }
  }
}

bool MergePair(const std::string& basePath, const std::string& partPath, Bitmap& baseBitmap,
               Bitmap& partBitmap, std::int32_t threshold) {
  if (!FileExists(basePath) || !FileExists(partPath)) return false;
  const bool baseDecoded = LoadImageToBitmap(basePath, baseBitmap) != kFormatUnknown;
  ConvertTo24Bit(baseBitmap);
  const bool partDecoded = baseDecoded && LoadImageToBitmap(partPath, partBitmap) != kFormatUnknown;
  ConvertTo24Bit(partBitmap);
  if (!partDecoded) return false;
  OverlayColorKey(baseBitmap, partBitmap, threshold);
  return true;
}

}  // namespace mirelay

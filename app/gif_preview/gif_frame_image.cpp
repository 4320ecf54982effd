#include "app/gif_preview/gif_frame_image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/gif/gif_convert.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

// An index past the end of the palette shows black rather than reading outside it.
QRgb PaletteColor(const std::vector<PaletteEntry>& palette, std::uint8_t index) {
  if (index >= palette.size()) return qRgb(0, 0, 0);
  const PaletteEntry& entry = palette[index];
  return qRgb(entry.red, entry.green, entry.blue);
}

}  // namespace

QImage FrameImage(const GifImage& image, const GifFrame& frame, const GifPaintSettings& settings) {
  Bitmap picture;
  try {
    picture = FramePicture(image, frame, settings.paletteDisplay);
  } catch (const ImageError&) {
    return {};
  }
  if (!picture.HasPixels()) return {};
  QImage result(picture.Width(), picture.Height(), QImage::Format_ARGB32);
  if (result.isNull()) return {};
  const bool masked = settings.drawOptions.transparent && frame.Transparent();
  const std::uint8_t transparentIndex = frame.TransparentIndex();
  for (int row = 0; row < picture.Height(); ++row) {
    const std::uint8_t* colors = picture.RowPointer(row);
    // The mask comes from the file's indices: a dithered picture no longer holds them.
    const std::uint8_t* indices = frame.indices.data() + std::size_t(row) * frame.keptWidth;
    auto* out = reinterpret_cast<QRgb*>(result.scanLine(row));
    for (int x = 0; x < picture.Width(); ++x) {
      out[x] = masked && indices[x] == transparentIndex
                   ? qRgba(0, 0, 0, 0)
                   : PaletteColor(picture.colorTable, colors[x]);
    }
  }
  return result;
}

}  // namespace mirelay

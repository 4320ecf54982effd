#pragma once

#include "imaging/bitmap.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

inline constexpr char kGifNoColorTable[] = "No global or local color table defined";

// Whether pictures are made for a palette display; the application sets it once at start-up.
bool PaletteDisplay();

// A frame as an 8-bit palette picture of its own size: its indices over its active colour
// table, or on a palette display its colours dithered onto the 216-colour cube. An empty
// frame gives an empty picture. Throws ImageError(kGifNoColorTable) when the frame has no
// active colour table.
Bitmap FramePicture(const TGIFImage& image, const TGIFSubImage& frame);

// The working image of a graphic: frame 0 alone when it covers the logical screen exactly,
// otherwise the logical screen in white with frame 0 painted at its place. No frames give an
// empty bitmap.
Bitmap GifToBitmap(const TGIFImage& image);

}  // namespace mirelay

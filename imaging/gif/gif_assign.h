#pragma once

#include <cstddef>

#include "imaging/bitmap.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// The graphic that a bitmap becomes for writing: one frame at (0, 0) of the bitmap's size,
// every pixel reduced to the 216-colour cube without diffusion, a local table of the cube
// and 40 black entries. A bitmap marked transparent with a colour gets its table sorted by
// use and cut, a transparent entry and a graphic control extension when that colour occurs.
// An empty bitmap gives a frame with no image. Throws ImageError for a side beyond 65535.
GifImage GifImageFromBitmap(const Bitmap& bitmap);

// The number of bits b, at least 1, for which 2^b entries hold a colour table of `size`.
int ColorTableBits(std::size_t size);

}  // namespace mirelay

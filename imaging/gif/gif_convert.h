#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

inline constexpr char kGifNoColorTable[] = "No global or local color table defined";

// A frame's kept part (see GifFrame::keptWidth) as an 8-bit palette picture: its indices over its
// active colour table, or for a palette display its colours dithered onto the 216-colour cube. An
// empty frame gives an empty picture. Throws ImageError(kGifNoColorTable) when the frame has no
// active colour table.
Bitmap FramePicture(const GifImage& image, const GifFrame& frame, bool paletteDisplay);

// The working image of a graphic: frame 0 alone when it covers the logical screen exactly,
// otherwise the logical screen in white with frame 0 painted at its place. No frames give an
// empty bitmap.
Bitmap GifToBitmap(const GifImage& image, bool paletteDisplay);

// The alpha of a graphic's working image (see Bitmap::alpha): 0 where frame 0 shows its
// transparent index, 255 elsewhere, the screen around the frame included. Empty when frame 0
// has no transparent index.
std::vector<std::uint8_t> GifAlpha(const GifImage& image, const Bitmap& picture);

// The working image of a whole GIF file: its first frame, read as DecodeGifImage reads it and
// composed by GifToBitmap, with its alpha when `options` asks for it.
Bitmap DecodeGif(std::span<const std::uint8_t> file, const DecodeOptions& options = {});

}  // namespace mirelay

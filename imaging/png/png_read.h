#pragma once

#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

// Decodes a PNG file into its colour picture: indexed for grey and palette images, 24-bit for
// truecolour. A file without image data gives an empty picture. Throws ImageError on refusal,
// and ImageError(kStopped) once `options` asks to stop.
Bitmap DecodePng(std::span<const std::uint8_t> file, const DecodeOptions& options = {});

}  // namespace mirelay

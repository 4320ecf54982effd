#pragma once

#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

// The picture of a whole BMP file, in the file's own pixel format and row order. Refusals throw
// ImageError; the decode ends with ImageError(kStopped) once `options` asks to stop.
Bitmap DecodeBmp(std::span<const std::uint8_t> file, const DecodeOptions& options = {});

}  // namespace mirelay

#pragma once

#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

// The picture of a whole JPEG file: 24-bit for colour, 236 dithered greys for grey. Failures
// throw ImageError("JPEG エラー #n") with the library's message number, or ImageError(kStopped)
// once `options` asks to stop.
Bitmap DecodeJpeg(std::span<const std::uint8_t> file, const DecodeOptions& options = {});

}  // namespace mirelay

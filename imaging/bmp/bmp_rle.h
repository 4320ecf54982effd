#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

enum class RunLengthCoding { kRle8, kRle4 };

// Decodes BMP run-length data through `colorTable` into a bottom-up device-format picture.
// Runs and deltas that reach past the picture are clipped; pixels the data never reach, and
// indices past the table, stay black. Data that ends early is no error. Throws
// ImageError(kStopped) once `options` asks to stop.
Bitmap DecodeRunLength(std::span<const std::uint8_t> data, RunLengthCoding coding,
                       const std::vector<PaletteEntry>& colorTable, std::int32_t width,
                       std::int32_t height, const DecodeOptions& options = {});

}  // namespace mirelay

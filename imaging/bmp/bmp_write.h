#pragma once

#include <cstdint>
#include <vector>

#include "files/output_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

// The 24-bit BMP file of `bitmap`: a core header when the bitmap came from one and fits it,
// otherwise an information header. Empty for a picture without pixels.
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

// The same into an output file the caller commits; ImageError(kStopped) once `options` asks
// to stop.
void WriteBmpTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options = {});

}  // namespace mirelay

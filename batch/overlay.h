#pragma once

#include <cstdint>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

// Copies every part pixel that is not transparent onto the base, both 24-bit, anchored at the
// top-left corner. A part pixel is transparent when each channel lies within `threshold` of
// the part's top-left pixel (the key colour). Throws the scan-line error for an empty part.
void OverlayColorKey(Bitmap& base, const Bitmap& part, std::int32_t threshold);

// Decodes both files into the working images (brought to 24 bits) and overlays the part onto
// the base. False when either file is missing or fails to decode; the composite is then not
// made, so no caller shows or writes an earlier pair's picture under a new name.
bool MergePair(const std::string& basePath, const std::string& partPath, Bitmap& baseBitmap,
               Bitmap& partBitmap, std::int32_t threshold, const DecodeOptions& options = {});

}  // namespace mirelay

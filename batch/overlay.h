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

// Lays the part on the base, both 24-bit, by the part's alpha plane: each channel becomes
// (part x a + base x (255 - a) + 127) / 255, so a = 255 copies the part and a = 0 keeps the base.
void OverlayAlpha(Bitmap& base, const Bitmap& part);

// By the part's alpha plane when it has one (it was decoded for blending), otherwise by its
// colour key.
void OverlayPart(Bitmap& base, const Bitmap& part, std::int32_t threshold);

// True when the picture's alpha plane holds a pixel that is not fully opaque.
bool HasTransparentPixels(const Bitmap& picture);

// Decodes both files into the working images (brought to 24 bits) and overlays the part onto
// the base, by its alpha when `alphaBlend` is set and the part was decoded with alpha
// (options.readAlpha, which the base never is), otherwise by its colour key; the part's alpha
// plane stays in `partBitmap`. False when either file is missing or fails to decode; the
// composite is then not made, so no caller shows or writes an earlier pair's picture under a
// new name.
bool MergePair(const std::string& basePath, const std::string& partPath, Bitmap& baseBitmap,
               Bitmap& partBitmap, std::int32_t threshold, const DecodeOptions& options = {},
               bool alphaBlend = false);

}  // namespace mirelay

#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/png/png_rows.h"

namespace mirelay {

// The transparent colour a tRNS chunk names for a picture without alpha: a grey or an RGB
// colour as the picture shows it, or the one fully transparent palette entry. Any other
// palette tRNS names none, and the result is disabled. `trns` holds at least the samples
// the colour type needs.
Transparency TransparencyOf(const PngHeader& header, const std::vector<std::uint8_t>& trns,
                            const Bitmap& picture);

}  // namespace mirelay

#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/bitmap.h"

namespace mirelay {

Bitmap LoadPngFile(const std::string& path);
Bitmap DecodePng(std::span<const std::uint8_t> file);

void SavePngFile(const Bitmap& bitmap, const std::string& path);

}  // namespace mirelay

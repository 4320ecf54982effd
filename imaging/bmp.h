#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace mirelay {

Bitmap LoadBmpFile(const std::string& path);
Bitmap DecodeBmp(std::span<const std::uint8_t> file);

void SaveBmpFile(const Bitmap& bitmap, const std::string& path);
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

}  // namespace mirelay

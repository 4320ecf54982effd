#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/bitmap.h"

namespace mirelay {

Bitmap LoadJpegFile(const std::string& path);
Bitmap DecodeJpeg(std::span<const std::uint8_t> file);

void SaveJpegFile(const Bitmap& bitmap, const std::string& path, std::uint8_t quality);

}  // namespace mirelay

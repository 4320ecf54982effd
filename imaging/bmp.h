#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/file_io.h"

namespace mirelay {

Bitmap LoadBmpFile(const std::string& path);
Bitmap DecodeBmp(std::span<const std::uint8_t> file);

void SaveBmpFile(const Bitmap& bitmap, const std::string& path);
// The same into an output file the caller commits.
void WriteBmpTo(OutputFile& file, const Bitmap& bitmap);
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

}  // namespace mirelay

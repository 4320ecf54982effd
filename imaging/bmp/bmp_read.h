#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/decode_options.h"
#include "imaging/file_io.h"

namespace mirelay {

// Both end with ImageError(kStopped) once `options` asks to stop.
Bitmap LoadBmpFile(const std::string& path, const DecodeOptions& options = {});
Bitmap DecodeBmp(std::span<const std::uint8_t> file, const DecodeOptions& options = {});

void SaveBmpFile(const Bitmap& bitmap, const std::string& path);
// The same into an output file the caller commits; ImageError(kStopped) once `stopRequested`
// asks to stop.
void WriteBmpTo(OutputFile& file, const Bitmap& bitmap, const std::function<bool()>& stopRequested);
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

}  // namespace mirelay

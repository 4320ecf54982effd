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

// Failures throw ImageError("JPEG エラー #n") with the library's message number, or
// ImageError(kStopped) once `options` asks to stop; a file that cannot be read throws
// FileError.
Bitmap LoadJpegFile(const std::string& path, const DecodeOptions& options = {});
Bitmap DecodeJpeg(std::span<const std::uint8_t> file, const DecodeOptions& options = {});

// The JPEG stream for `bitmap` (empty for a picture without pixels). Library errors throw
// ImageError("JPEG エラー #n").
std::vector<std::uint8_t> EncodeJpeg(const Bitmap& bitmap, std::uint8_t quality,
                                     const std::function<bool()>& stopRequested = {});
// Writes EncodeJpeg's stream as the whole file; a 0-byte file for a picture without pixels.
void SaveJpegFile(const Bitmap& bitmap, const std::string& path, std::uint8_t quality);
// The same into an output file the caller commits; ImageError(kStopped) once `stopRequested`
// asks to stop.
void WriteJpegTo(OutputFile& file, const Bitmap& bitmap, std::uint8_t quality,
                 const std::function<bool()>& stopRequested);

}  // namespace mirelay

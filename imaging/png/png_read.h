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

// Decodes a PNG file into its colour picture: indexed for grey and palette images, 24-bit for
// truecolour. A file without image data gives an empty picture. Throws ImageError on refusal,
// and ImageError(kStopped) once `options` asks to stop.
Bitmap LoadPngFile(const std::string& path, const DecodeOptions& options = {});
Bitmap DecodePng(std::span<const std::uint8_t> file, const DecodeOptions& options = {});

// The moment written into the tIME chunk, in UTC.
struct PngTime {
  std::uint16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
};

PngTime CurrentPngTime();

// The whole PNG file for `bitmap` (8-bit RGB, not interlaced, fixed chunk layout). A bitmap
// in another format is encoded from a 24-bit copy. Throws ImageError when deflate fails.
// Ends with ImageError(kStopped) once `stopRequested` asks to stop.
std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap, const PngTime& time,
                                    const std::function<bool()>& stopRequested = {});

// Writes EncodePng(bitmap, now) to `path`; file errors propagate as FileError.
void SavePngFile(const Bitmap& bitmap, const std::string& path);
// The same into an output file the caller commits.
void WritePngTo(OutputFile& file, const Bitmap& bitmap, const std::function<bool()>& stopRequested);

// Adds PngImage to the picture file-format table (extension "PNG"), and takes it out again.
void RegisterPngImage();
void UnregisterPngImage();

}  // namespace mirelay

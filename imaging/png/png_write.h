#pragma once

#include <cstdint>
#include <vector>

#include "files/output_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

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
                                    const StopRequest& stopRequested = {});

// EncodePng(bitmap, now) into an output file the caller commits.
void WritePngTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options = {});

}  // namespace mirelay

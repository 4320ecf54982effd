#pragma once

#include <cstdint>
#include <vector>

#include "files/output_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

// The JPEG stream for `bitmap` (empty for a picture without pixels). Library errors throw
// ImageError("JPEG エラー #n").
std::vector<std::uint8_t> EncodeJpeg(const Bitmap& bitmap, std::uint8_t quality,
                                     const StopRequest& stopRequested = {});

// EncodeJpeg's stream at `options.quality` into an output file the caller commits; nothing for
// a picture without pixels. ImageError(kStopped) once `options` asks to stop.
void WriteJpegTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options = {});

}  // namespace mirelay

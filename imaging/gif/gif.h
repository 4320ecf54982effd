#pragma once

#include <functional>
#include <memory>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/decode_options.h"
#include "imaging/file_io.h"

namespace mirelay {

class TGIFImage;

// The GIF graphic of a file, for the preview to paint. Both loads end with
// ImageError(kStopped) once `options` asks to stop.
std::shared_ptr<const TGIFImage> LoadGifFile(const std::string& path,
                                             const DecodeOptions& options = {});
// The file's first frame composed on its logical screen.
Bitmap LoadGifAsBitmap(const std::string& path, const DecodeOptions& options = {});

void SaveGifFile(const Bitmap& bitmap, const std::string& path);
// The same into an output file the caller commits; ImageError(kStopped) once `stopRequested`
// asks to stop.
void WriteGifTo(OutputFile& file, const Bitmap& bitmap, const std::function<bool()>& stopRequested);

// Set once at start-up when the display shows 8 bits per pixel or fewer: GIF pictures are
// then dithered onto the 216-colour cube. Off by default.
void SetPaletteDisplay(bool paletteDisplay);

}  // namespace mirelay

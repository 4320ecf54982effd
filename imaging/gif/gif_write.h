#pragma once

#include "files/output_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_options.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// Writes the graphic as a GIF file: the logical screen with its packed byte as the graphic
// holds it and no global colour table; for every frame its graphic control extensions and,
// unless it is empty, its image, not interlaced, with its local colour table padded with
// black to a power of two. "89a" when a graphic control extension is written, else "87a".
// Every frame must be kept whole, as the frames GifImageFromBitmap makes are.
void WriteGifImageTo(OutputFile& file, const GifImage& image,
                     const StopRequest& stopRequested = {});

// A bitmap written as GifImageFromBitmap makes it.
void WriteGifTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options = {});

}  // namespace mirelay

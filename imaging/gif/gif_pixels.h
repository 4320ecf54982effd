#pragma once

#include "imaging/byte_reader.h"
#include "imaging/gif/gif_image.h"
#include "imaging/stop_poll.h"

namespace mirelay {

inline constexpr char kGifCircularEntry[] = "Circular decoder table entry";

// Reads a frame's LZW minimum code size and data sub-blocks up to the zero length byte (or
// the end of the file) and decodes them into `frame.indices`, which the caller has sized and
// pre-filled. Data that ends early leaves the remaining indices as they were. Every decoded row
// advances `poll`, which throws when the caller asks to stop.
void DecodeFramePixels(ByteReader& reader, GifFrame& frame, StopPoll& poll);

// Reads and decodes the same data without keeping the pixels, so that a frame nobody will show
// still fails the load exactly as DecodeFramePixels would; it needs one row of memory.
void CheckFramePixels(ByteReader& reader, const GifFrame& frame, StopPoll& poll);

}  // namespace mirelay

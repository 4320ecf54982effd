#pragma once

#include "imaging/byte_reader.h"
#include "imaging/gif/gif_image.h"
#include "imaging/stop_poll.h"

namespace mirelay {

inline constexpr char kGifCircularEntry[] = "Circular decoder table entry";

// Reads a frame's LZW minimum code size and data sub-blocks up to the zero length byte (or
// the end of the file) and decodes every row of them, so that the frame fails the load whatever
// part of it is kept. `frame.indices` receives the kept part (keptWidth x keptHeight), filled
// first with the transparent index, or 0; data that ends early leaves the rest so. Every decoded
// row advances `poll`, which throws when the caller asks to stop.
void DecodeFramePixels(ByteReader& reader, GifFrame& frame, StopPoll& poll);

}  // namespace mirelay

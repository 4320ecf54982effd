#pragma once

#include "imaging/byte_reader.h"
#include "imaging/gif_image.h"

namespace mirelay {

inline constexpr char kGifCircularEntry[] = "Circular decoder table entry";

// Reads a frame's LZW minimum code size and data sub-blocks up to the zero length byte (or
// the end of the file) and decodes them into `frame.indices`, which the caller has sized and
// pre-filled. Data that ends early leaves the remaining indices as they were.
void DecodeFramePixels(ByteReader& reader, TGIFSubImage& frame);

}  // namespace mirelay

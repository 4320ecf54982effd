#pragma once

#include <QImage>

#include "imaging/gif/gif_image.h"

namespace mirelay {

// A frame's picture ready to draw: its colours (dithered onto the cube on a palette display),
// with the pixels holding a transparent frame's transparent index fully transparent when
// `transparentDrawing` is on. Null for an empty frame, a frame without a colour table, or one
// too large for an image. Safe to call from any thread.
QImage FrameImage(const TGIFImage& image, const TGIFSubImage& frame, bool transparentDrawing);

}  // namespace mirelay

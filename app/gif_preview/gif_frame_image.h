#pragma once

#include <QImage>

#include "app/gif_preview/gif_paint_settings.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// A frame's picture ready to draw: its colours (dithered onto the cube for a palette display),
// with the pixels holding a transparent frame's transparent index fully transparent when
// transparent drawing is on. Null for an empty frame, a frame without a colour table, or one
// too large for an image. Safe to call from any thread.
QImage FrameImage(const GifImage& image, const GifFrame& frame, const GifPaintSettings& settings);

}  // namespace mirelay

#pragma once

#include <memory>

#include "app/gif_preview/gif_paint_settings.h"
#include "imaging/bitmap.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// What the preview shows, as LoadImageToView sees it; the preview control implements it.
class ViewTarget {
 public:
  virtual ~ViewTarget() = default;
  // Empties the picture and repaints at once.
  virtual void Clear() = 0;
  // Shows a plain bitmap copy, drawn opaque.
  virtual void ShowBitmap(const Bitmap& picture) = 0;
  // Shows a GIF graphic that paints itself with `settings`.
  virtual void ShowGif(std::shared_ptr<const GifImage> graphic,
                       const GifPaintSettings& settings) = 0;
};

}  // namespace mirelay

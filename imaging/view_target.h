#pragma once

#include <memory>

#include "imaging/bitmap.h"

namespace mirelay {

class TGIFImage;

// What the preview shows, as the dispatch sees it; the GUI implements it over its image control.
class ViewTarget {
 public:
  virtual ~ViewTarget() = default;
  // Empties the picture and repaints at once.
  virtual void Clear() = 0;
  // Shows a plain bitmap copy, drawn opaque.
  virtual void ShowBitmap(const Bitmap& picture) = 0;
  // Shows a GIF graphic that paints itself.
  virtual void ShowGif(std::shared_ptr<const TGIFImage> graphic) = 0;
};

}  // namespace mirelay

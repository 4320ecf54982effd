#pragma once

#include <optional>

#include "imaging/gif/gif_image.h"

namespace mirelay {

struct GifDrawOptions {
  // Pixels of a transparent frame's transparent index let the target show through.
  bool transparent = true;
  bool animate = true;
  // Honour the loop extension's count; without it an animation plays once.
  bool loop = true;
  bool loopForever = false;
};

// How the preview paints a GIF graphic.
struct GifPaintSettings {
  GifDrawOptions drawOptions;
  // Per cent; scales every frame delay.
  int animationSpeed = 100;
  // None: the file's own background colour.
  std::optional<GifColor> drawBackgroundColor;
  // Frames are dithered onto the 216-colour cube for a display of 256 colours or fewer.
  bool paletteDisplay = false;
};

}  // namespace mirelay

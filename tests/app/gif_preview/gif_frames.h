#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/gif/gif_image.h"

namespace mirelay::testing_support {

// Colour table of the test graphics: red, green, blue, magenta.
inline GifColorTable TestColors() { return {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 0, 255}}; }

inline GifGraphicControlExtension Control(std::uint16_t delay, std::uint8_t disposal = 0,
                                          std::optional<std::uint8_t> transparent = {}) {
  GifGraphicControlExtension control;
  control.delay = delay;
  control.disposal = disposal;
  control.transparent = transparent.has_value();
  control.transparentIndex = transparent.value_or(0);
  return control;
}

// Built in place: copying the variant trips a false uninitialised-use warning of GCC 12.
inline void AddControl(GifFrame& frame, const GifGraphicControlExtension& control) {
  frame.extensions.emplace_back(std::in_place_type<GifGraphicControlExtension>, control);
}

inline GifLoopExtension Loop(std::uint16_t count) {
  GifLoopExtension loop;
  loop.identifier = "NETSCAPE2.0";
  loop.loopCount = count;
  return loop;
}

// A frame of the given rectangle kept whole, holding `indices` (one index repeated when it is a
// single one).
inline GifFrame Frame(std::uint16_t left, std::uint16_t top, std::uint16_t width,
                      std::uint16_t height, std::vector<std::uint8_t> indices,
                      std::vector<GifExtension> extensions = {}) {
  GifFrame frame;
  frame.left = left;
  frame.top = top;
  frame.width = width;
  frame.height = height;
  frame.keptWidth = width;
  frame.keptHeight = height;
  frame.hasImage = true;
  if (indices.size() == 1) indices.assign(std::size_t(width) * height, indices.front());
  frame.indices = std::move(indices);
  frame.extensions = std::move(extensions);
  return frame;
}

inline GifImage Screen(std::uint16_t width, std::uint16_t height, std::vector<GifFrame> frames) {
  GifImage image;
  image.width = width;
  image.height = height;
  image.globalColorTable = TestColors();
  image.frames = std::move(frames);
  return image;
}

}  // namespace mirelay::testing_support

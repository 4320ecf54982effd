#pragma once

#include <cstdint>
#include <functional>

namespace mirelay {

// Asked now and then while a picture is decoded or encoded; true ends the work with an
// ImageError of kind kStopped.
using StopRequest = std::function<bool()>;

// How a caller wants a file decoded.
struct DecodeOptions {
  StopRequest stopRequested;
  // GIF pictures are dithered onto the 216-colour cube, as a display of 256 colours or fewer
  // shows them.
  bool paletteDisplay = false;
  // Parts that may be laid on by their alpha: the decoder fills Bitmap::alpha when the file
  // carries alpha. The colours are decoded alike either way.
  bool readAlpha = false;

  bool StopRequested() const { return stopRequested && stopRequested(); }
};

// How a caller wants a picture encoded.
struct EncodeOptions {
  // Read by the JPEG encoder only.
  std::uint8_t quality = 90;
  StopRequest stopRequested;
};

}  // namespace mirelay

// The preview's graphic and the working image of any bytes. The last byte's low bit picks the
// palette display, so both conversions are reached.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/codec_options.h"
#include "imaging/gif/gif_convert.h"
#include "imaging/gif/gif_read.h"
#include "imaging/image_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  mirelay::DecodeOptions options;
  options.paletteDisplay = size > 0 && (data[size - 1] & 1) != 0;
  try {
    mirelay::DecodeGifImage(file, mirelay::KeptFrames::kAllThatFit, options);
  } catch (const mirelay::ImageError&) {
  }
  try {
    mirelay::DecodeGif(file, options);
  } catch (const mirelay::ImageError&) {
  }
  return 0;
}

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/image_error.h"
#include "imaging/png/png_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    mirelay::DecodePng(std::span<const std::uint8_t>(data, size));
  } catch (const mirelay::ImageError&) {
  }
  return 0;
}

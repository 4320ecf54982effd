#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/bmp/bmp_read.h"
#include "imaging/image_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    mirelay::DecodeBmp(std::span<const std::uint8_t>(data, size));
  } catch (const mirelay::ImageError&) {
  }
  return 0;
}

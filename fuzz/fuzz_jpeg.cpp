#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/image_error.h"
#include "imaging/jpeg/jpeg_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    mirelay::DecodeJpeg(std::span<const std::uint8_t>(data, size));
  } catch (const mirelay::ImageError&) {
  }
  return 0;
}

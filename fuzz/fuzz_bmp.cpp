#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "imaging/bmp/bmp_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    mirelay::DecodeBmp(std::span<const std::uint8_t>(data, size));
  } catch (const std::exception&) {
  }
  return 0;
}

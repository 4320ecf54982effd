// The GIF reader takes a path only; the composed first frame is the working image.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "fuzz/memory_file.h"
#include "imaging/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const mirelay::fuzz::MemoryFile file(data, size);
  try {
    mirelay::LoadGifFile(file.Path());
  } catch (const std::exception&) {
  }
  try {
    mirelay::LoadGifAsBitmap(file.Path());
  } catch (const std::exception&) {
  }
  return 0;
}

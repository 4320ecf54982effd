// The GIF reader takes a path only; the composed first frame is the working image. The last
// byte's low bit picks the palette display, so both conversions are reached.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "fuzz/memory_file.h"
#include "imaging/gif/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mirelay::SetPaletteDisplay(size > 0 && (data[size - 1] & 1) != 0);
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

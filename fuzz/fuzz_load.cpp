// The dispatch as the batch meets it: any bytes under any name, then the 24-bit conversion the
// overlay works on. Bad input must end as format code 0; anything thrown is a fault.
#include <cstddef>
#include <cstdint>

#include "fuzz/memory_file.h"
#include "imaging/bitmap.h"
#include "imaging/image_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const mirelay::fuzz::MemoryFile file(data, size);
  mirelay::Bitmap bitmap;
  // Half the inputs are read as parts laid on by their alpha.
  mirelay::DecodeOptions options;
  options.readAlpha = size % 2 == 1;
  if (mirelay::LoadImageToBitmap(file.Path(), bitmap, options) != mirelay::kFormatUnknown) {
    mirelay::ConvertTo24Bit(bitmap);
    // An alpha plane is one byte a pixel or nothing; any other size would be read past.
    const auto pixels = static_cast<std::size_t>(bitmap.Width()) *
                        static_cast<std::size_t>(bitmap.HasPixels() ? bitmap.Height() : 0);
    if (!bitmap.alpha.empty() && bitmap.alpha.size() != pixels) __builtin_trap();
  }
  return 0;
}

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
  if (mirelay::LoadImageToBitmap(file.Path(), bitmap) != mirelay::kFormatUnknown) {
    mirelay::ConvertTo24Bit(bitmap);
  }
  return 0;
}

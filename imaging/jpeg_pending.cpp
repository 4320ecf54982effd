// JPEG files are not decoded or written until their codec lands; loads fail, saves refuse.
#include "imaging/image_error.h"
#include "imaging/jpeg.h"

namespace mirelay {

Bitmap LoadJpegFile(const std::string&) { throw ImageError("JPEG is not supported yet"); }
Bitmap DecodeJpeg(std::span<const std::uint8_t>) { throw ImageError("JPEG is not supported yet"); }
void SaveJpegFile(const Bitmap&, const std::string&, std::uint8_t) {
  throw ImageError("JPEG is not supported yet");
}

}  // namespace mirelay

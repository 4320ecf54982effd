// BMP files are not decoded or written until their codec lands; loads fail, saves refuse.
#include "imaging/bmp.h"
#include "imaging/image_error.h"

namespace mirelay {

Bitmap LoadBmpFile(const std::string&) { throw ImageError("BMP is not supported yet"); }
Bitmap DecodeBmp(std::span<const std::uint8_t>) { throw ImageError("BMP is not supported yet"); }
void SaveBmpFile(const Bitmap&, const std::string&) {
  throw ImageError("BMP is not supported yet");
}
std::vector<std::uint8_t> EncodeBmp(const Bitmap&) { throw ImageError("BMP is not supported yet"); }

}  // namespace mirelay

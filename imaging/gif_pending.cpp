// GIF files are not decoded or written until their codec lands; loads fail, saves refuse.
#include "imaging/gif.h"
#include "imaging/image_error.h"

namespace mirelay {

std::shared_ptr<const TGIFImage> LoadGifFile(const std::string&) {
  throw ImageError("GIF is not supported yet");
}
Bitmap LoadGifAsBitmap(const std::string&) { throw ImageError("GIF is not supported yet"); }
void SaveGifFile(const Bitmap&, const std::string&) {
  throw ImageError("GIF is not supported yet");
}

}  // namespace mirelay

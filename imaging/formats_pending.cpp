// Formats whose codecs have not landed yet report a failed decode or encode.
#include "imaging/bmp.h"
#include "imaging/gif.h"
#include "imaging/image_error.h"
#include "imaging/jpeg.h"
#include "imaging/png.h"

namespace mirelay {

namespace {
[[noreturn]] void Unsupported(const char* format) {
  throw ImageError(std::string(format) + " is not supported yet");
}
}  // namespace

Bitmap LoadBmpFile(const std::string&) { Unsupported("BMP"); }
Bitmap DecodeBmp(std::span<const std::uint8_t>) { Unsupported("BMP"); }
void SaveBmpFile(const Bitmap&, const std::string&) { Unsupported("BMP"); }
std::vector<std::uint8_t> EncodeBmp(const Bitmap&) { Unsupported("BMP"); }
Bitmap LoadPngFile(const std::string&) { Unsupported("PNG"); }
Bitmap DecodePng(std::span<const std::uint8_t>) { Unsupported("PNG"); }
void SavePngFile(const Bitmap&, const std::string&) { Unsupported("PNG"); }
Bitmap LoadJpegFile(const std::string&) { Unsupported("JPEG"); }
Bitmap DecodeJpeg(std::span<const std::uint8_t>) { Unsupported("JPEG"); }
void SaveJpegFile(const Bitmap&, const std::string&, std::uint8_t) { Unsupported("JPEG"); }
std::shared_ptr<const TGIFImage> LoadGifFile(const std::string&) { Unsupported("GIF"); }
Bitmap LoadGifAsBitmap(const std::string&) { Unsupported("GIF"); }
void SaveGifFile(const Bitmap&, const std::string&) { Unsupported("GIF"); }

}  // namespace mirelay

#include "imaging/png/png_register.h"

#include "imaging/picture_formats.h"

namespace mirelay {

namespace {

constexpr char kPngImageClass[] = "PngImage";

}  // namespace

void RegisterPngImage() { RegisterPictureFormat({"PNG", "PNG Format", kPngImageClass}); }

void UnregisterPngImage() { UnregisterPictureFormat(kPngImageClass); }

}  // namespace mirelay

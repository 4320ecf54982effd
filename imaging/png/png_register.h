#pragma once

namespace mirelay {

// Adds PngImage to the picture file-format table (extension "PNG"), and takes it out again.
void RegisterPngImage();
void UnregisterPngImage();

}  // namespace mirelay

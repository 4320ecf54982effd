#pragma once

#include <cstdint>
#include <span>

#include "imaging/gif_image.h"

namespace mirelay {

inline constexpr char kGifPrematureEnd[] = "Premature end of data";
inline constexpr char kGifUnknownExtension[] = "Unknown extension type";
inline constexpr char kGifBadAppBlockSize[] = "Unsupported Application Extension block size";
inline constexpr char kGifInvalidData[] = "Invalid GIF data";

// The graphic held in a whole GIF file. Throws ImageError with the texts above, or with
// kPictureTooLarge when the frames together would hold more than kMaxPixelBytes indices.
TGIFImage ReadGif(std::span<const std::uint8_t> file);

}  // namespace mirelay

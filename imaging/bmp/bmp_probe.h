#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "imaging/picture_size.h"

namespace mirelay {

// The size the header at the start of a BMP file declares, read without decoding anything;
// nothing when the bytes do not say.
std::optional<PictureSize> ProbeBmp(std::span<const std::uint8_t> head);

}  // namespace mirelay

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "imaging/picture_size.h"

namespace mirelay {

// The size a BMP, GIF, PNG or JPEG header declares, read without decoding anything (for a
// GIF, its logical screen); nothing when the bytes do not say.
std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> head);

// Bytes the file's picture will take as a 24-bit working image, judged from its header; 0 when
// the file cannot be read or its header does not say.
std::size_t EstimateWorkingImageBytes(const std::string& path);

}  // namespace mirelay

#include "imaging/picture_probe.h"

#include <limits>

#include "files/input_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_table.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

// A JPEG's size sits in its frame header, behind tables of any length; this much of the file
// holds it in every file met in practice.
constexpr std::size_t kProbeBytes = 1 << 16;

}  // namespace

std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> head) {
  if (head.size() < kSignatureBytes) return std::nullopt;
  const Codec* codec = CodecForSignature(head.first<kSignatureBytes>());
  return codec ? codec->probe(head) : std::nullopt;
}

std::size_t EstimateWorkingImageBytes(const std::string& path) {
  try {
    const auto size = ProbePictureSize(ReadFileStart(path, kProbeBytes));
    if (!size || size->width > std::numeric_limits<std::int32_t>::max()) return 0;
    return StrideFor(PixelFormat::kBits24, static_cast<std::int32_t>(size->width)) * size->height;
  } catch (const FileError&) {
    return 0;
  }
}

}  // namespace mirelay

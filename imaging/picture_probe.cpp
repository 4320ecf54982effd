#include "imaging/picture_probe.h"

#include <limits>

#include "files/input_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_table.h"
#include "imaging/image_error.h"
#include "imaging/image_lib.h"

namespace mirelay {

namespace {

// A JPEG's size sits in its frame header, behind tables of any length; this much of the file
// holds it in every file met in practice.
constexpr std::size_t kProbeBytes = 1 << 16;

std::uint32_t Little16(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | b[at + 1] << 8;
}
std::uint32_t Little32(std::span<const std::uint8_t> b, std::size_t at) {
  return Little16(b, at) | Little16(b, at + 2) << 16;
}
std::uint32_t Big16(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] << 8 | b[at + 1];
}
std::uint32_t Big32(std::span<const std::uint8_t> b, std::size_t at) {
  return Big16(b, at) << 16 | Big16(b, at + 2);
}

std::optional<PictureSize> BmpSize(std::span<const std::uint8_t> b) {
  if (b.size() < 26) return std::nullopt;
  if (Little32(b, 14) == 12) return PictureSize{Little16(b, 18), Little16(b, 20)};
  const auto height = static_cast<std::int32_t>(Little32(b, 22));
  const std::uint32_t rows = height < 0 ? 0u - static_cast<std::uint32_t>(height) : height;
  return PictureSize{Little32(b, 18), rows};
}

std::optional<PictureSize> JpegSize(std::span<const std::uint8_t> b) {
  std::size_t at = 2;
  while (at + 4 <= b.size() && b[at] == 0xFF) {
    const std::uint8_t marker = b[at + 1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame && at + 9 <= b.size()) return PictureSize{Big16(b, at + 7), Big16(b, at + 5)};
    at += 2 + Big16(b, at + 2);
  }
  return std::nullopt;
}

}  // namespace

std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> head) {
  if (head.size() < 4) return std::nullopt;
  switch (DetectFormat(head.first<4>())) {
    case kFormatBmp:
      return BmpSize(head);
    case kFormatGif:
      if (head.size() < 10) return std::nullopt;
      return PictureSize{Little16(head, 6), Little16(head, 8)};
    case kFormatPng:
      if (head.size() < 24) return std::nullopt;
      return PictureSize{Big32(head, 16), Big32(head, 20)};
    case kFormatJpeg:
      return JpegSize(head);
  }
  return std::nullopt;
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

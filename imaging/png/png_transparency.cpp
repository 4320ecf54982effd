#include "imaging/png/png_transparency.h"

#include <cstddef>
#include <optional>
#include <span>

namespace mirelay {

namespace {

std::uint8_t GreyOfSample(std::uint16_t sample, std::uint8_t bitDepth) {
  if (bitDepth == 16) return static_cast<std::uint8_t>(sample >> 8);
  if (bitDepth == 8) return static_cast<std::uint8_t>(sample);
  const unsigned largest = (1u << bitDepth) - 1;
  return static_cast<std::uint8_t>((sample & largest) * (255 / largest));
}

std::uint8_t EightBitSample(std::span<const std::uint8_t> data, std::size_t at,
                            std::uint8_t bitDepth) {
  return bitDepth == 16 ? data[at] : data[at + 1];
}

// Only a tRNS with exactly one fully transparent entry, all others opaque, names a colour.
std::optional<int> SimpleTransparentIndex(const std::vector<std::uint8_t>& alphas) {
  std::optional<int> transparent;
  for (std::size_t i = 0; i < alphas.size(); ++i) {
    if (alphas[i] == 255) continue;
    if (alphas[i] != 0 || transparent) return std::nullopt;
    transparent = static_cast<int>(i);
  }
  return transparent;
}

}  // namespace

Transparency TransparencyOf(const PngHeader& header, const std::vector<std::uint8_t>& data,
                            const Bitmap& picture) {
  Transparency result;
  if (header.colorType == kPngPalette) {
    const auto index = SimpleTransparentIndex(data);
    if (!index) return result;
    result.paletteIndex = *index;
    if (static_cast<std::size_t>(*index) < picture.colorTable.size()) {
      result.color = picture.colorTable[static_cast<std::size_t>(*index)];
    }
  } else if (header.colorType == kPngGrey) {
    const auto grey =
        GreyOfSample(static_cast<std::uint16_t>(data[0] << 8 | data[1]), header.bitDepth);
    result.color = PaletteEntry{grey, grey, grey, 0};
  } else {
    result.color = PaletteEntry{EightBitSample(data, 4, header.bitDepth),
                                EightBitSample(data, 2, header.bitDepth),
                                EightBitSample(data, 0, header.bitDepth), 0};
  }
  result.enabled = true;
  return result;
}

}  // namespace mirelay

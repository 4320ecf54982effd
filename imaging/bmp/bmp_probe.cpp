#include "imaging/bmp/bmp_probe.h"

#include "imaging/byte_reader.h"

namespace mirelay {

std::optional<PictureSize> ProbeBmp(std::span<const std::uint8_t> head) {
  try {
    ByteReader reader(head, std::string());
    reader.Skip(14);
    if (reader.U32LE() == 12) {
      const std::uint32_t width = reader.U16LE();
      return PictureSize{width, reader.U16LE()};
    }
    const std::uint32_t width = reader.U32LE();
    const auto height = reader.I32LE();
    // Negative heights mark top-down rows.
    const std::uint32_t rows = height < 0 ? 0u - static_cast<std::uint32_t>(height) : height;
    return PictureSize{width, rows};
  } catch (const ImageError&) {
    return std::nullopt;
  }
}

}  // namespace mirelay

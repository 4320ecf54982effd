#include "imaging/gif/gif_probe.h"

#include "imaging/byte_reader.h"

namespace mirelay {

std::optional<PictureSize> ProbeGif(std::span<const std::uint8_t> head) {
  try {
    ByteReader reader(head, std::string());
    reader.Skip(6);
    const std::uint32_t width = reader.U16LE();
    return PictureSize{width, reader.U16LE()};
  } catch (const ImageError&) {
    return std::nullopt;
  }
}

}  // namespace mirelay

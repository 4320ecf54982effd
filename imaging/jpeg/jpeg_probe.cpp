#include "imaging/jpeg/jpeg_probe.h"

#include "imaging/byte_reader.h"

namespace mirelay {

namespace {

// Start-of-frame markers; C4, C8 and CC in that range are tables and a reserved code.
bool IsFrameMarker(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

// The size sits in the frame header, behind segments of any length, which are skipped.
std::optional<PictureSize> ProbeJpeg(std::span<const std::uint8_t> head) {
  try {
    ByteReader reader(head, std::string());
    reader.Skip(2);
    while (reader.Remaining() >= 4 && reader.Peek() == 0xFF) {
      reader.Skip(1);
      // Fill bytes: the last 0xFF of a run starts the marker.
      if (reader.Peek() == 0xFF) continue;
      if (IsFrameMarker(reader.U8())) {
        reader.Skip(3);
        const std::uint32_t height = reader.U16BE();
        return PictureSize{reader.U16BE(), height};
      }
      reader.Skip(reader.U16BE() - std::size_t{2});
    }
  } catch (const ImageError&) {
  }
  return std::nullopt;
}

}  // namespace mirelay

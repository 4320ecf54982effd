#include "imaging/png/png_probe.h"

#include "imaging/byte_reader.h"
#include "imaging/png/png_signature.h"

namespace mirelay {

std::optional<PictureSize> ProbePng(std::span<const std::uint8_t> head) {
  try {
    ByteReader reader(head, std::string());
    // The header chunk comes first: its length and type, then the size.
    reader.Skip(kPngSignature.size() + 8);
    const std::uint32_t width = reader.U32BE();
    return PictureSize{width, reader.U32BE()};
  } catch (const ImageError&) {
    return std::nullopt;
  }
}

}  // namespace mirelay

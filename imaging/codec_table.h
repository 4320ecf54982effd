#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "files/output_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_options.h"
#include "imaging/output_format.h"
#include "imaging/picture_size.h"

namespace mirelay {

inline constexpr std::size_t kSignatureBytes = 4;
using Signature = std::span<const std::uint8_t, kSignatureBytes>;

// One file format: how its files are recognised, decoded and written.
struct Codec {
  std::int32_t format;
  bool (*matches)(Signature signature);
  // The size the file's first bytes declare, without decoding; nothing when they do not say.
  std::optional<PictureSize> (*probe)(std::span<const std::uint8_t> head);
  // The picture a whole file holds. Refusals throw ImageError with the format's own texts.
  Bitmap (*decode)(std::span<const std::uint8_t> file, const DecodeOptions& options);
  // Writes the picture into `file`, which the caller commits.
  void (*encode)(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options);
};

// Every codec, in the order their signatures are tested.
std::span<const Codec> Codecs();

// The codec whose signature the first bytes of a file carry, or null.
const Codec* CodecForSignature(Signature signature);

// The codec of a format code, or null for a code that names none.
const Codec* CodecForFormat(std::int32_t format);

}  // namespace mirelay

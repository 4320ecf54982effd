#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"
#include "imaging/file_io.h"

namespace mirelay {

// Format codes: on loading, what a file was recognised as (0 for every failure);
// on saving, the format to write, or a JPEG quality.
inline constexpr std::int32_t kFormatUnknown = 0;
inline constexpr std::int32_t kFormatBmp = 1;
inline constexpr std::int32_t kFormatGif = 2;
inline constexpr std::int32_t kFormatJpeg = 3;
inline constexpr std::int32_t kFormatPng = 4;

inline constexpr std::size_t kSignatureBytes = 4;
using Signature = std::span<const std::uint8_t, kSignatureBytes>;

// One file format: how its files are recognised, decoded and written.
struct Codec {
  std::int32_t format;
  bool (*matches)(Signature signature);
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

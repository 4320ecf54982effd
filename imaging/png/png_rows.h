#pragma once

#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"

namespace mirelay {

inline constexpr char kPngReadError[] = "Read Image (PNG): Read Error";
inline constexpr char kPngZlibError[] = "PNG LoadStream: Error ZLIB";

// Colour types after masking the header byte to its three low bits.
inline constexpr std::uint8_t kPngGrey = 0;
inline constexpr std::uint8_t kPngTruecolour = 2;
inline constexpr std::uint8_t kPngPalette = 3;
inline constexpr std::uint8_t kPngGreyAlpha = 4;
inline constexpr std::uint8_t kPngTruecolourAlpha = 6;

// Wider pictures are refused so that libpng's row buffers (up to 8 bytes a pixel) stay small.
inline constexpr std::int32_t kPngMaxWidth = 1 << 24;

struct PngHeader {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint8_t bitDepth = 0;
  std::uint8_t colorType = 0;
  bool interlaced = false;
};

// The compressed image data as it may be read: pieces of at most 32768 bytes, in file order.
using PngDataPieces = std::span<const std::span<const std::uint8_t>>;

// Inflates, unfilters and de-interlaces the image data through libpng into `picture`, which
// already has the header's size and the pixel format of its colour type and depth. When
// `options` asks for alpha, alpha samples, or the grey or RGB colour of `trns` (a tRNS chunk's
// data, empty for none), fill picture.alpha. Throws ImageError(kPngReadError) when the data is
// corrupt or ends before the last row, and ImageError(kStopped) once `options` asks to stop.
void DecodePngRows(const PngHeader& header, PngDataPieces pieces, Bitmap& picture,
                   const DecodeOptions& options = {}, std::span<const std::uint8_t> trns = {});

}  // namespace mirelay

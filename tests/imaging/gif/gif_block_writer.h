#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/gif/gif_image.h"

namespace mirelay::testing_support {

using Bytes = std::vector<std::uint8_t>;

// Packs LZW codes of the given widths, least significant bit first, into bytes.
inline Bytes PackCodes(const std::vector<std::pair<int, int>>& codesAndWidths) {
  Bytes bytes;
  std::uint32_t pending = 0;
  int pendingBits = 0;
  for (const auto& [code, width] : codesAndWidths) {
    pending |= static_cast<std::uint32_t>(code) << pendingBits;
    pendingBits += width;
    while (pendingBits >= 8) {
      bytes.push_back(static_cast<std::uint8_t>(pending & 0xFF));
      pending >>= 8;
      pendingBits -= 8;
    }
  }
  if (pendingBits > 0) bytes.push_back(static_cast<std::uint8_t>(pending));
  return bytes;
}

// A valid code stream that never grows the code table: a clear code before every index,
// then the end code. `withEnd` false leaves the end code out.
inline Bytes LiteralCodes(const Bytes& indices, int minCodeSize, bool withEnd = true) {
  const int clear = 1 << minCodeSize;
  const int width = minCodeSize + 1;
  std::vector<std::pair<int, int>> codes;
  for (const std::uint8_t index : indices) {
    codes.emplace_back(clear, width);
    codes.emplace_back(index, width);
  }
  if (withEnd) codes.emplace_back(clear + 1, width);
  return PackCodes(codes);
}

// Builds a GIF file block by block, so that every odd case reads plainly in its test.
class GifBlockWriter {
 public:
  GifBlockWriter& Header(std::string_view version = "89a") {
    Raw({'G', 'I', 'F'});
    bytes_.insert(bytes_.end(), version.begin(), version.end());
    return *this;
  }

  GifBlockWriter& Screen(std::uint16_t width, std::uint16_t height, std::uint8_t packed = 0,
                         std::uint8_t background = 0, std::uint8_t aspect = 0) {
    Word(width).Word(height);
    return Raw({packed, background, aspect});
  }

  GifBlockWriter& Colors(const mirelay::GifColorTable& table) {
    for (const auto color : table) Raw({color.red, color.green, color.blue});
    return *this;
  }

  // Header and a logical screen with a global table of `table` (2^n entries).
  GifBlockWriter& Start(std::uint16_t width, std::uint16_t height,
                        const mirelay::GifColorTable& table) {
    std::uint8_t sizeField = 0;
    while ((std::size_t{2} << sizeField) < table.size()) ++sizeField;
    return Header().Screen(width, height, 0x80 | sizeField).Colors(table);
  }

  GifBlockWriter& GraphicControl(std::uint8_t packed, std::uint16_t delay,
                                 std::uint8_t transparentIndex, std::uint8_t blockSize = 4) {
    Raw({0x21, 0xF9, blockSize, packed});
    Word(delay);
    return Raw({transparentIndex, 0x00});
  }

  // An extension with the given label and body bytes as they stand (no terminator added).
  GifBlockWriter& Extension(std::uint8_t label, const Bytes& body) {
    Raw({0x21, label});
    return Raw(body);
  }

  GifBlockWriter& Descriptor(std::uint16_t left, std::uint16_t top, std::uint16_t width,
                             std::uint16_t height, std::uint8_t packed = 0,
                             std::uint8_t separator = 0x2C) {
    Raw({separator});
    Word(left).Word(top).Word(width).Word(height);
    return Raw({packed});
  }

  // `data` in sub-blocks of at most `blockSize` bytes, then the zero length byte.
  GifBlockWriter& SubBlocks(const Bytes& data, std::size_t blockSize = 255) {
    for (std::size_t at = 0; at < data.size(); at += blockSize) {
      const std::size_t length = std::min(blockSize, data.size() - at);
      bytes_.push_back(static_cast<std::uint8_t>(length));
      bytes_.insert(bytes_.end(), data.begin() + at, data.begin() + at + length);
    }
    return Raw({0x00});
  }

  // Minimum code size, then `codes` in sub-blocks.
  GifBlockWriter& ImageData(std::uint8_t minCodeSize, const Bytes& codes) {
    Raw({minCodeSize});
    return SubBlocks(codes);
  }

  GifBlockWriter& Pixels(const Bytes& indices, std::uint8_t minCodeSize = 2) {
    return ImageData(minCodeSize, LiteralCodes(indices, minCodeSize));
  }

  GifBlockWriter& Trailer() { return Raw({0x3B}); }

  GifBlockWriter& Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  const Bytes& bytes() const { return bytes_; }

 private:
  GifBlockWriter& Word(std::uint16_t value) {
    return Raw({static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)});
  }

  Bytes bytes_;
};

}  // namespace mirelay::testing_support

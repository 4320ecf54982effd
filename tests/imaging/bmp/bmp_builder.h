#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace mirelay::testing_support {

using Bytes = std::vector<std::uint8_t>;
using Bgr = std::array<std::uint8_t, 3>;

inline void PutLe16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void PutLe32(Bytes& out, std::uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

inline std::uint32_t Le32At(const Bytes& bytes, std::size_t offset) {
  return bytes.at(offset) | (bytes.at(offset + 1) << 8) | (bytes.at(offset + 2) << 16) |
         (std::uint32_t{bytes.at(offset + 3)} << 24);
}

// Writes a BMP file from its fields, so that each test states the odd part it is about.
// A header size of 12 writes a core header with 3-byte colour entries; sizes above 40 put the
// masks (when given) into header bytes 40..51 and zero-fill the rest.
struct BmpBuilder {
  std::uint32_t headerSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t planes = 1;
  std::uint16_t bitsPerPixel = 24;
  std::uint32_t compression = 0;
  std::uint32_t imageSize = 0;
  std::int32_t pixelsPerMeterX = 0;
  std::int32_t pixelsPerMeterY = 0;
  std::uint32_t colorsUsed = 0;
  std::vector<std::uint32_t> masks;  // red, green, blue
  std::vector<PaletteEntry> colors;
  std::uint32_t pixelOffset = 0;  // 0: right after the colour table
  Bytes pixels;

  Bytes Build() const {
    Bytes header;
    PutLe32(header, headerSize);
    if (headerSize == 12) {
      PutLe16(header, static_cast<std::uint32_t>(width));
      PutLe16(header, static_cast<std::uint32_t>(height));
      PutLe16(header, planes);
      PutLe16(header, bitsPerPixel);
    } else {
      for (auto field : {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}) {
        PutLe32(header, field);
      }
      PutLe16(header, planes);
      PutLe16(header, bitsPerPixel);
      for (auto field : {compression, imageSize, static_cast<std::uint32_t>(pixelsPerMeterX),
                         static_cast<std::uint32_t>(pixelsPerMeterY), colorsUsed, 0u}) {
        PutLe32(header, field);
      }
      for (auto mask : masks) PutLe32(header, mask);
      if (headerSize > 40) header.resize(headerSize, 0);
    }
    for (const auto& color : colors) {
      header.insert(header.end(), {color.blue, color.green, color.red});
      if (headerSize != 12) header.push_back(color.reserved);
    }
    const auto offset = pixelOffset ? pixelOffset : static_cast<std::uint32_t>(14 + header.size());
    Bytes file = {'B', 'M'};
    PutLe32(file, static_cast<std::uint32_t>(14 + header.size() + pixels.size()));
    PutLe32(file, 0);
    PutLe32(file, offset);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
  }
};

inline Bgr PixelAt(const Bitmap& bitmap, int x, int row) {
  const std::uint8_t* p = bitmap.RowPointer(row) + 3 * x;
  return {p[0], p[1], p[2]};
}

// Every pixel of a 24-bit bitmap, top row first.
inline std::vector<std::vector<Bgr>> AllPixels(const Bitmap& bitmap) {
  std::vector<std::vector<Bgr>> rows(bitmap.Height());
  for (int row = 0; row < bitmap.Height(); ++row) {
    for (int x = 0; x < bitmap.Width(); ++x) rows[row].push_back(PixelAt(bitmap, x, row));
  }
  return rows;
}

// A 24-bit bitmap whose pixel (x, row) is {x, row, seed}.
inline Bitmap Gradient(std::int32_t width, std::int32_t height, std::uint8_t seed,
                       StorageOrder order = StorageOrder::kBottomUp) {
  Bitmap bitmap(PixelFormat::kBits24, width, height, order);
  for (int row = 0; row < height; ++row) {
    std::uint8_t* p = bitmap.RowPointer(row);
    for (int x = 0; x < width; ++x) {
      p[3 * x] = static_cast<std::uint8_t>(x);
      p[3 * x + 1] = static_cast<std::uint8_t>(row);
      p[3 * x + 2] = seed;
    }
  }
  return bitmap;
}

}  // namespace mirelay::testing_support

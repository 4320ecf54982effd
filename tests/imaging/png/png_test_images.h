#pragma once

// Sample images for the PNG tests: packed scanlines with known values and their expected colours.

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "tests/imaging/png/png_chunk_writer.h"

namespace mirelay::testing_support {

using Rgb = std::array<std::uint8_t, 3>;

inline int ChannelsOf(int colorType) {
  switch (colorType) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
  }
  return 1;
}

// Packs samples of `depth` bits the way a PNG row holds them: leftmost in the high bits,
// 16-bit samples big-endian.
inline Bytes PackRow(const std::vector<unsigned>& samples, int depth) {
  Bytes row;
  if (depth == 16) {
    for (unsigned s : samples) row.insert(row.end(), {std::uint8_t(s >> 8), std::uint8_t(s)});
    return row;
  }
  int filled = 8;
  for (unsigned s : samples) {
    if (filled == 8) {
      row.push_back(0);
      filled = 0;
    }
    filled += depth;
    row.back() |= static_cast<std::uint8_t>(s << (8 - filled));
  }
  return row;
}

// The image data stream of unfiltered rows.
inline Bytes Scanlines(const std::vector<Bytes>& rows) {
  Bytes raw;
  for (const auto& row : rows) {
    raw.push_back(0);
    raw.insert(raw.end(), row.begin(), row.end());
  }
  return raw;
}

inline Rgb PixelRgb(const Bitmap& working, int x, int y) {
  const std::uint8_t* p = working.RowPointer(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

// The palette used by palette test images: entry i is (i, 255 - i, i * 7).
inline std::vector<png_color> TestPalette(int entries) {
  std::vector<png_color> palette;
  for (int i = 0; i < entries; ++i) {
    palette.push_back(png_color{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
  }
  return palette;
}

inline Bytes PaletteData(const std::vector<png_color>& palette) {
  Bytes data;
  for (const auto& c : palette) data.insert(data.end(), {c.red, c.green, c.blue});
  return data;
}

// A picture of every colour type and depth with samples that vary in each channel.
struct SampleImage {
  int width;
  int height;
  int depth;
  int colorType;
  std::vector<std::vector<unsigned>> samples;  // per row, channel-interleaved

  static SampleImage Make(int width, int height, int depth, int colorType) {
    SampleImage image{width, height, depth, colorType, {}};
    const unsigned mask = depth == 16 ? 0xFFFF : (1u << depth) - 1;
    const int channels = ChannelsOf(colorType);
    for (int y = 0; y < height; ++y) {
      std::vector<unsigned> row;
      for (int x = 0; x < width; ++x) {
        for (int c = 0; c < channels; ++c)
          row.push_back((x * 40503u + y * 9973u + c * 4099u + 77) & mask);
      }
      image.samples.push_back(row);
    }
    return image;
  }

  std::vector<Bytes> Rows() const {
    std::vector<Bytes> rows;
    for (const auto& row : samples) rows.push_back(PackRow(row, depth));
    return rows;
  }

  // The colour the working image should show: high byte of 16-bit samples, grey levels
  // spread over 0..255, palette entries looked up, alpha ignored.
  Rgb Expected(int x, int y) const {
    const int channels = ChannelsOf(colorType);
    const auto sample = [&](int c) { return samples[y][x * channels + c]; };
    const auto eight = [&](unsigned s) -> std::uint8_t {
      if (depth == 16) return std::uint8_t(s >> 8);
      return std::uint8_t(s * 255 / ((1u << depth) - 1));
    };
    if (colorType == 3) {
      const auto c = TestPalette(1 << depth)[sample(0)];
      return {c.red, c.green, c.blue};
    }
    if (colorType == 2 || colorType == 6)
      return {eight(sample(0)), eight(sample(1)), eight(sample(2))};
    const auto grey = eight(sample(0));
    return {grey, grey, grey};
  }
};

}  // namespace mirelay::testing_support

#pragma once

// Shared by the JPEG tests: scratch folders, generated pictures, the cjpeg/djpeg tools and a
// walker over the segments of a JPEG stream for byte surgery.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "tests/support/temp_dir.h"

namespace mirelay::testing_support {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Smooth gradients with seeded noise: compresses like a photograph, not like a flat test card.
inline Bitmap PhotoLike(std::int32_t width, std::int32_t height, unsigned seed = 1) {
  Bitmap bitmap(PixelFormat::kBits24, width, height);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-12, 12);
  auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap.RowPointer(y);
    for (std::int32_t x = 0; x < width; ++x) {
      row[3 * x] = clamp(255 * x / std::max(width, 1) + noise(random));
      row[3 * x + 1] = clamp(255 * y / std::max(height, 1) + noise(random));
      row[3 * x + 2] = clamp(128 + (x - y) % 96 + noise(random));
    }
  }
  return bitmap;
}

inline Bitmap Uniform(std::int32_t width, std::int32_t height, std::uint8_t blue,
                      std::uint8_t green, std::uint8_t red) {
  Bitmap bitmap(PixelFormat::kBits24, width, height);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = bitmap.RowPointer(y) + 3 * x;
      p[0] = blue, p[1] = green, p[2] = red;
    }
  }
  return bitmap;
}

// A binary PPM (red, green, blue) of a 24-bit bitmap, as the command-line tools read it.
inline void WritePpm(const Bitmap& bitmap, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << bitmap.Width() << ' ' << bitmap.Height() << "\n255\n";
  for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.RowPointer(y);
    for (std::int32_t x = 0; x < bitmap.Width(); ++x) {
      const char rgb[] = {static_cast<char>(row[3 * x + 2]), static_cast<char>(row[3 * x + 1]),
                          static_cast<char>(row[3 * x])};
      out.write(rgb, 3);
    }
  }
}

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

#define SKIP_WITHOUT_TOOL(name) \
  if (!::mirelay::testing_support::HaveTool(name)) GTEST_SKIP() << name " is not on PATH"

// cjpeg's output for `bitmap` with the given options; empty when cjpeg refused.
inline Bytes Cjpeg(const Bitmap& bitmap, const std::string& options) {
  TempDir scratch;
  const std::string ppm = scratch.Path("in.ppm");
  const std::string jpg = scratch.Path("out.jpg");
  WritePpm(bitmap, ppm);
  const std::string command =
      "cjpeg " + options + " -outfile '" + jpg + "' '" + ppm + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return ReadBytes(jpg);
}

struct Segment {
  std::size_t at;  // offset of the 0xFF of the marker
  std::uint8_t marker;
  std::size_t length;  // the segment's length field; 0 for markers without one
};

// The header segments up to and including the first SOS.
inline std::vector<Segment> HeaderSegments(const Bytes& file) {
  std::vector<Segment> segments{{0, 0xD8, 0}};
  std::size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    const std::size_t length = (file[at + 2] << 8) | file[at + 3];
    segments.push_back({at, file[at + 1], length});
    if (file[at + 1] == 0xDA) break;
    at += 2 + length;
  }
  return segments;
}

inline std::optional<Segment> FindSegment(const Bytes& file, std::uint8_t marker) {
  for (const Segment& segment : HeaderSegments(file)) {
    if (segment.marker == marker) return segment;
  }
  return std::nullopt;
}

// The first start-of-frame segment, whatever its type.
inline std::optional<Segment> FindFrame(const Bytes& file) {
  for (const Segment& segment : HeaderSegments(file)) {
    const std::uint8_t m = segment.marker;
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xCC) return segment;
  }
  return std::nullopt;
}

}  // namespace mirelay::testing_support

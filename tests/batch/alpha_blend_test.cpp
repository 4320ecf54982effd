// Parts laid on by their alpha, checked pixel for pixel against a model of straight alpha
// written here, for every way a file can carry alpha; parts without it keep the colour key.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <vector>

#include "batch/overlay.h"
#include "imaging/image_lib.h"
#include "tests/imaging/bmp/bmp_builder.h"
#include "tests/imaging/gif/gif_block_writer.h"
#include "tests/imaging/png/png_chunk_writer.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::TempDir;

constexpr int kWidth = 3, kHeight = 2;

// What a part should show: each pixel's colour and alpha; no alpha means the colour key.
struct Rgba {
  std::uint8_t red, green, blue, alpha;
};
struct Expected {
  std::vector<Rgba> pixels;  // kWidth x kHeight, top row first
  bool hasAlpha = true;
};

struct AlphaCase {
  const char* name;
  std::function<Bytes()> file;
  Expected expected;
};

Bytes Png(std::uint8_t depth, std::uint8_t colorType, const std::vector<Bytes>& rows,
          const Bytes& palette = {}, const Bytes& trns = {}) {
  Bytes raw;
  for (const auto& row : rows) {
    raw.push_back(0);
    raw.insert(raw.end(), row.begin(), row.end());
  }
  testing_support::PngChunkWriter writer;
  writer.Ihdr(kWidth, kHeight, depth, colorType);
  if (!palette.empty()) writer.Chunk("PLTE", palette);
  if (!trns.empty()) writer.Chunk("tRNS", trns);
  return writer.Idat(testing_support::Deflate(raw)).Iend().bytes();
}

Bitmap Base() {
  Bitmap base(PixelFormat::kBits24, 4, 3);
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 4; ++x) {
      std::uint8_t* p = base.RowPointer(row) + 3 * x;
      p[0] = static_cast<std::uint8_t>(200 - 40 * x);
      p[1] = static_cast<std::uint8_t>(30 + 50 * row);
      p[2] = static_cast<std::uint8_t>(90 + 17 * x * row);
    }
  }
  return base;
}

// The composite as straight alpha or the colour key (threshold 0) make it.
Bitmap Model(const Expected& expected) {
  Bitmap out = Base();
  const Rgba key = expected.pixels[0];
  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgba p = expected.pixels[row * kWidth + x];
      std::uint8_t* o = out.RowPointer(row) + 3 * x;
      const std::array<std::uint8_t, 3> colour{p.blue, p.green, p.red};
      const bool isKey = p.red == key.red && p.green == key.green && p.blue == key.blue;
      for (int c = 0; c < 3; ++c) {
        if (expected.hasAlpha) {
          o[c] =
              static_cast<std::uint8_t>((colour[c] * p.alpha + o[c] * (255 - p.alpha) + 127) / 255);
        } else if (!isKey) {
          o[c] = colour[c];
        }
      }
    }
  }
  return out;
}

Bitmap Decoded(const TempDir& folder, const Bytes& file, bool readAlpha) {
  const auto path = folder.Write("part", file);
  Bitmap part;
  DecodeOptions options;
  options.readAlpha = readAlpha;
  EXPECT_NE(LoadImageToBitmap(path, part, options), kFormatUnknown);
  ConvertTo24Bit(part);
  return part;
}

class AlphaBlendTest : public testing::TestWithParam<AlphaCase> {};

TEST_P(AlphaBlendTest, MatchesTheModelAndTheKeyWhenTheModeIsOff) {
  TempDir folder;
  const Bytes file = GetParam().file();
  const Bitmap withAlpha = Decoded(folder, file, true);
  ASSERT_EQ(withAlpha.Width(), kWidth);
  EXPECT_EQ(!withAlpha.alpha.empty(), GetParam().expected.hasAlpha);
  Bitmap blended = Base();
  OverlayPart(blended, withAlpha, 0);
  EXPECT_EQ(testing_support::AllPixels(blended),
            testing_support::AllPixels(Model(GetParam().expected)));
  // With the mode off the part is decoded and laid on exactly as before alpha was read.
  Bitmap keyed = Base(), today = Base();
  OverlayColorKey(keyed, withAlpha, 0);
  OverlayPart(today, Decoded(folder, file, false), 0);
  EXPECT_EQ(testing_support::AllPixels(keyed), testing_support::AllPixels(today));
}

// Every colour of part and base under every alpha, against the formula.
TEST(OverlayAlpha, RoundsEveryValueAsTheFormulaSays) {
  Bitmap part(PixelFormat::kBits24, 256, 256, StorageOrder::kTopDown);
  part.alpha.resize(256 * 256);
  for (int row = 0; row < 256; ++row) {
    for (int x = 0; x < 256; ++x) {
      std::memset(part.RowPointer(row) + 3 * x, x, 3);
      part.alpha[row * 256 + x] = static_cast<std::uint8_t>(row);
    }
  }
  // The three channels of the base take three values at once, so 86 bases cover all 256.
  for (int value = 0; value < 86; ++value) {
    const std::array<int, 3> base{value, value + 86, (value + 172) % 256};
    Bitmap out(PixelFormat::kBits24, 256, 256);
    for (int row = 0; row < 256; ++row) {
      for (int x = 0; x < 256; ++x) {
        for (int c = 0; c < 3; ++c) out.RowPointer(row)[3 * x + c] = base[c];
      }
    }
    OverlayAlpha(out, part);
    for (int a = 0; a < 256; ++a) {
      for (int p = 0; p < 256; ++p) {
        for (int c = 0; c < 3; ++c) {
          const int expected = (p * a + base[c] * (255 - a) + 127) / 255;
          ASSERT_EQ(out.RowPointer(a)[3 * p + c], expected) << p << " " << base[c] << " " << a;
        }
      }
    }
  }
}

const Expected kSix{{{10, 20, 30, 0},
                     {200, 100, 50, 255},
                     {1, 2, 3, 128},
                     {250, 5, 9, 1},
                     {0, 0, 0, 254},
                     {90, 80, 70, 77}}};

Bytes Rgba8() {
  std::vector<Bytes> rows(kHeight);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const Rgba p = kSix.pixels[i];
    rows[i / kWidth].insert(rows[i / kWidth].end(), {p.red, p.green, p.blue, p.alpha});
  }
  return Png(8, 6, rows);
}

// Low bytes differ from the high ones, which alone count.
Bytes Rgba16() {
  std::vector<Bytes> rows(kHeight);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const Rgba p = kSix.pixels[i];
    for (const std::uint8_t sample : {p.red, p.green, p.blue, p.alpha}) {
      rows[i / kWidth].insert(rows[i / kWidth].end(), {sample, static_cast<std::uint8_t>(~sample)});
    }
  }
  return Png(16, 6, rows);
}

Expected Greys(const std::vector<std::uint8_t>& greys, const std::vector<std::uint8_t>& alphas) {
  Expected expected;
  for (std::size_t i = 0; i < greys.size(); ++i) {
    expected.pixels.push_back({greys[i], greys[i], greys[i], alphas[i]});
  }
  return expected;
}

Bytes GreyAlpha8() { return Png(8, 4, {{10, 0, 60, 255, 70, 128}, {250, 1, 0, 254, 128, 77}}); }

const Bytes kPalette{10, 20, 30, 200, 100, 50, 1, 2, 3, 250, 5, 9};

// Entries past the tRNS table are opaque.
Bytes PaletteWithTrns() { return Png(8, 3, {{0, 1, 2}, {3, 3, 1}}, kPalette, {0, 255, 128}); }

Expected PaletteExpected() {
  return {{{10, 20, 30, 0},
           {200, 100, 50, 255},
           {1, 2, 3, 128},
           {250, 5, 9, 255},
           {250, 5, 9, 255},
           {200, 100, 50, 255}}};
}

// A 16-bit grey tRNS names one sample exactly: 0x4000 is transparent, 0x4001 is not.
Bytes Grey16WithTrns() {
  return Png(16, 0, {{0x40, 0x00, 0x40, 0x01, 0x90, 0x00}, {0x40, 0x00, 0xFF, 0xFF, 0, 0}}, {},
             {0x40, 0x00});
}

// Two-bit greys 0, 1, 2, 3 show as 0, 85, 170, 255; tRNS names sample 2.
Bytes Grey2WithTrns() { return Png(2, 0, {{0b00011000}, {0b11100100}}, {}, {0, 2}); }

Bytes RgbWithTrns() {
  return Png(8, 2, {{5, 6, 7, 9, 9, 9, 5, 6, 7}, {5, 6, 8, 0, 0, 0, 5, 6, 7}}, {},
             {0, 5, 0, 6, 0, 7});
}

Expected RgbWithTrnsExpected() {
  return {
      {{5, 6, 7, 0}, {9, 9, 9, 255}, {5, 6, 7, 0}, {5, 6, 8, 255}, {0, 0, 0, 255}, {5, 6, 7, 0}}};
}

// A 2 x 1 frame at (1, 1) of a 3 x 2 screen, index 1 transparent: the screen around the frame
// shows white, opaque.
Bytes GifWithTransparentIndex() {
  return testing_support::GifBlockWriter()
      .Start(kWidth, kHeight, {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {1, 2, 3}})
      .GraphicControl(0x01, 0, 1)
      .Descriptor(1, 1, 2, 1)
      .Pixels({1, 2})
      .Trailer()
      .bytes();
}

Expected GifExpected() {
  return {{{255, 255, 255, 255},
           {255, 255, 255, 255},
           {255, 255, 255, 255},
           {255, 255, 255, 255},
           {40, 50, 60, 0},
           {70, 80, 90, 255}}};
}

Bytes BmpV5(std::uint32_t alphaMask, std::uint32_t headerSize) {
  testing_support::BmpBuilder bmp;
  bmp.headerSize = headerSize;
  bmp.width = kWidth;
  bmp.height = -kHeight;
  bmp.bitsPerPixel = 32;
  bmp.compression = 3;
  bmp.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, alphaMask};
  for (const Rgba p : kSix.pixels)
    bmp.pixels.insert(bmp.pixels.end(), {p.blue, p.green, p.red, p.alpha});
  return bmp.Build();
}

Expected Opaque(Expected expected) {
  expected.hasAlpha = false;
  return expected;
}

Bytes PlainRgb() { return Png(8, 2, {{5, 6, 7, 9, 9, 9, 5, 6, 7}, {5, 6, 8, 0, 0, 0, 5, 6, 7}}); }

INSTANTIATE_TEST_SUITE_P(
    Parts, AlphaBlendTest,
    testing::Values(AlphaCase{"PngRgba8", Rgba8, kSix}, AlphaCase{"PngRgba16", Rgba16, kSix},
                    AlphaCase{"PngGreyAlpha", GreyAlpha8,
                              Greys({10, 60, 70, 250, 0, 128}, {0, 255, 128, 1, 254, 77})},
                    AlphaCase{"PngPaletteTrns", PaletteWithTrns, PaletteExpected()},
                    AlphaCase{"PngGrey16Trns", Grey16WithTrns,
                              Greys({0x40, 0x40, 0x90, 0x40, 0xFF, 0}, {0, 255, 255, 0, 255, 255})},
                    AlphaCase{"PngGrey2Trns", Grey2WithTrns,
                              Greys({0, 85, 170, 255, 170, 85}, {255, 255, 0, 255, 0, 255})},
                    AlphaCase{"PngRgbTrns", RgbWithTrns, RgbWithTrnsExpected()},
                    AlphaCase{"GifTransparentIndex", GifWithTransparentIndex, GifExpected()},
                    AlphaCase{"BmpV5AlphaMask", [] { return BmpV5(0xFF000000, 124); }, kSix},
                    AlphaCase{"BmpWithoutAlphaMask", [] { return BmpV5(0, 124); }, Opaque(kSix)},
                    AlphaCase{"PlainRgbUsesTheKey", PlainRgb, Opaque(RgbWithTrnsExpected())}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace mirelay

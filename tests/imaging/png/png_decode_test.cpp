#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "imaging/image_error.h"
#include "imaging/png/png_read.h"
#include "tests/imaging/png/png_chunk_writer.h"
#include "tests/imaging/png/png_test_images.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::PngChunkWriter;
using testing_support::Rgb;
using testing_support::SampleImage;

// A file of the sample image built by hand: IHDR, PLTE for palette images, one IDAT, IEND.
Bytes SampleFile(const SampleImage& image) {
  PngChunkWriter file;
  file.Ihdr(image.width, image.height, image.depth, image.colorType);
  if (image.colorType == 3)
    file.Chunk("PLTE",
               testing_support::PaletteData(testing_support::TestPalette(1 << image.depth)));
  return file.Idat(testing_support::Deflate(testing_support::Scanlines(image.Rows())))
      .Iend()
      .bytes();
}

Bitmap ToWorkingImage(Bitmap picture) {
  ConvertTo24Bit(picture);
  return picture;
}

void ExpectPixels(const SampleImage& image, const Bitmap& picture) {
  const Bitmap working = ToWorkingImage(picture);
  ASSERT_EQ(working.Width(), image.width);
  ASSERT_EQ(working.Height(), image.height);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      ASSERT_EQ(testing_support::PixelRgb(working, x, y), image.Expected(x, y))
          << "x=" << x << " y=" << y;
    }
  }
}

struct FormatCase {
  int colorType;
  int depth;
  PixelFormat format;
  std::size_t paletteSize;
};

class PngColourTypes : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PngColourTypes, DecodeToTheirPixelFormatPaletteAndColours) {
  const auto& param = GetParam();
  const auto image = SampleImage::Make(7, 3, param.depth, param.colorType);
  const Bitmap picture = DecodePng(SampleFile(image));
  EXPECT_EQ(picture.Format(), param.format);
  EXPECT_EQ(picture.colorTable.size(), param.paletteSize);
  EXPECT_FALSE(picture.transparency.enabled);
  ExpectPixels(image, picture);
}

INSTANTIATE_TEST_SUITE_P(
    AllDepths, PngColourTypes,
    ::testing::Values(
        FormatCase{0, 1, PixelFormat::kIndexed1, 2}, FormatCase{0, 2, PixelFormat::kIndexed4, 4},
        FormatCase{0, 4, PixelFormat::kIndexed4, 16}, FormatCase{0, 8, PixelFormat::kIndexed8, 256},
        FormatCase{0, 16, PixelFormat::kIndexed8, 256},
        FormatCase{4, 8, PixelFormat::kIndexed8, 256},
        FormatCase{4, 16, PixelFormat::kIndexed8, 256}, FormatCase{2, 8, PixelFormat::kBits24, 0},
        FormatCase{2, 16, PixelFormat::kBits24, 0}, FormatCase{6, 8, PixelFormat::kBits24, 0},
        FormatCase{6, 16, PixelFormat::kBits24, 0}, FormatCase{3, 1, PixelFormat::kIndexed1, 2},
        FormatCase{3, 2, PixelFormat::kIndexed4, 4}, FormatCase{3, 4, PixelFormat::kIndexed4, 16},
        FormatCase{3, 8, PixelFormat::kIndexed8, 256}));

TEST(PngPixelValues, TwoBitGreyIsStoredAsFourBitIndicesOfFourGreys) {
  const Bytes file = PngChunkWriter()
                         .Ihdr(5, 1, 2, 0)
                         .Idat(testing_support::Deflate(testing_support::Scanlines(
                             {testing_support::PackRow({0, 1, 2, 3, 2}, 2)})))
                         .Iend()
                         .bytes();
  const Bitmap picture = DecodePng(file);
  ASSERT_EQ(picture.Format(), PixelFormat::kIndexed4);
  const std::uint8_t* row = picture.RowPointer(0);
  EXPECT_EQ(row[0], 0x01);
  EXPECT_EQ(row[1], 0x23);
  EXPECT_EQ(row[2], 0x20);
  const Bitmap working = ToWorkingImage(picture);
  EXPECT_EQ(testing_support::PixelRgb(working, 1, 0), (Rgb{85, 85, 85}));
  EXPECT_EQ(testing_support::PixelRgb(working, 2, 0), (Rgb{170, 170, 170}));
  EXPECT_EQ(testing_support::PixelRgb(working, 3, 0), (Rgb{255, 255, 255}));
}

TEST(PngPixelValues, SixteenBitSamplesAreCutToTheirHighByte) {
  const Bytes row = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  const Bytes file = PngChunkWriter()
                         .Ihdr(1, 1, 16, 2)
                         .Idat(testing_support::Deflate(testing_support::Scanlines({row})))
                         .Iend()
                         .bytes();
  EXPECT_EQ(testing_support::PixelRgb(ToWorkingImage(DecodePng(file)), 0, 0),
            (Rgb{0x12, 0x56, 0x9A}));
}

TEST(PngPixelValues, AlphaNeverTouchesTheColour) {
  const Bytes rgba = {10, 20, 30, 0, 40, 50, 60, 128};
  const Bytes greyAlpha = {77, 0, 78, 255};
  const Bitmap colour =
      DecodePng(PngChunkWriter()
                    .Ihdr(2, 1, 8, 6)
                    .Idat(testing_support::Deflate(testing_support::Scanlines({rgba})))
                    .Iend()
                    .bytes());
  const Bitmap grey =
      DecodePng(PngChunkWriter()
                    .Ihdr(2, 1, 8, 4)
                    .Idat(testing_support::Deflate(testing_support::Scanlines({greyAlpha})))
                    .Iend()
                    .bytes());
  EXPECT_EQ(testing_support::PixelRgb(ToWorkingImage(colour), 0, 0), (Rgb{10, 20, 30}));
  EXPECT_EQ(testing_support::PixelRgb(ToWorkingImage(colour), 1, 0), (Rgb{40, 50, 60}));
  EXPECT_EQ(testing_support::PixelRgb(ToWorkingImage(grey), 0, 0), (Rgb{77, 77, 77}));
  EXPECT_FALSE(colour.transparency.enabled);
}

TEST(PngPixelValues, PaletteInATruecolourFileChangesNoPixel) {
  const Bytes file =
      PngChunkWriter()
          .Ihdr(1, 1, 8, 2)
          .Chunk("PLTE", {9, 9, 9, 1, 2, 3})
          .Idat(testing_support::Deflate(testing_support::Scanlines({{200, 100, 50}})))
          .Iend()
          .bytes();
  const Bitmap picture = DecodePng(file);
  EXPECT_EQ(picture.colorTable, (std::vector<PaletteEntry>{{9, 9, 9, 0}, {3, 2, 1, 0}}));
  EXPECT_EQ(testing_support::PixelRgb(ToWorkingImage(picture), 0, 0), (Rgb{200, 100, 50}));
}

TEST(PngPixelValues, HigherColourTypeBitsAndMethodOneAreAccepted) {
  const auto image = SampleImage::Make(3, 2, 8, 2);
  const Bytes data = testing_support::Deflate(testing_support::Scanlines(image.Rows()));
  for (const auto& [colourByte, compression, filter] :
       {std::tuple{0xFA, 0, 0}, std::tuple{2, 1, 0}, std::tuple{2, 0, 1}}) {
    const Bytes file =
        PngChunkWriter()
            .Ihdr(3, 2, 8, static_cast<std::uint8_t>(colourByte), 0,
                  static_cast<std::uint8_t>(compression), static_cast<std::uint8_t>(filter))
            .Idat(data)
            .Iend()
            .bytes();
    ExpectPixels(image, DecodePng(file));
  }
}

// Interlaced and filtered files come from libpng's writer, with every row filter allowed.
class PngInterlacing : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

TEST_P(PngInterlacing, AdamSevenDecodesToTheSamePictureAsPlainRows) {
  const auto [width, height, depth, colorType] = GetParam();
  const auto image = SampleImage::Make(width, height, depth, colorType);
  const auto palette =
      colorType == 3 ? testing_support::TestPalette(1 << depth) : std::vector<png_color>{};
  const Bitmap plain = DecodePng(testing_support::WriteWithLibpng(width, height, depth, colorType,
                                                                  false, image.Rows(), palette));
  const Bitmap interlaced = DecodePng(testing_support::WriteWithLibpng(
      width, height, depth, colorType, true, image.Rows(), palette));
  ASSERT_EQ(interlaced.Format(), plain.Format());
  EXPECT_TRUE(std::ranges::equal(interlaced.PixelMemory(), plain.PixelMemory()));
  ExpectPixels(image, interlaced);
}

INSTANTIATE_TEST_SUITE_P(SizesAndFormats, PngInterlacing,
                         ::testing::Values(std::tuple{1, 1, 8, 2}, std::tuple{2, 3, 2, 0},
                                           std::tuple{3, 9, 4, 3}, std::tuple{9, 2, 1, 0},
                                           std::tuple{17, 13, 16, 6}, std::tuple{33, 21, 8, 4},
                                           std::tuple{64, 40, 16, 2}, std::tuple{5, 5, 2, 3}));

}  // namespace
}  // namespace mirelay

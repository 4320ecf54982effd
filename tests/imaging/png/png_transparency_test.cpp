#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "imaging/png/png_read.h"
#include "tests/imaging/png/png_chunk_writer.h"
#include "tests/imaging/png/png_test_images.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::PngChunkWriter;

// A 3 x 2 image of the given kind with `trns` as its tRNS chunk, then IDAT and IEND.
Bytes WithTrns(int depth, int colorType, const Bytes& trns) {
  const auto image = testing_support::SampleImage::Make(3, 2, depth, colorType);
  PngChunkWriter file;
  file.Ihdr(3, 2, depth, colorType);
  if (colorType == 3)
    file.Chunk("PLTE", testing_support::PaletteData(testing_support::TestPalette(1 << depth)));
  file.Chunk("tRNS", trns);
  return file.Idat(testing_support::Deflate(testing_support::Scanlines(image.Rows())))
      .Iend()
      .bytes();
}

struct FlagCase {
  std::string name;
  int depth;
  int colorType;
  Bytes trns;
  Transparency expected;
};

Transparency Colour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int index = -1) {
  return Transparency{true, PaletteEntry{blue, green, red, 0}, index};
}

class PngTransparentFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(PngTransparentFlag, FollowsTheTrnsChunk) {
  const auto& param = GetParam();
  const Bitmap picture = DecodePng(WithTrns(param.depth, param.colorType, param.trns));
  EXPECT_EQ(picture.transparency, param.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngTransparentFlag,
    ::testing::Values(
        FlagCase{"Grey8", 8, 0, {0, 7}, Colour(7, 7, 7)},
        FlagCase{"Grey1", 1, 0, {0, 1}, Colour(255, 255, 255)},
        FlagCase{"Grey2", 2, 0, {0, 2}, Colour(170, 170, 170)},
        FlagCase{"Grey4", 4, 0, {0, 3}, Colour(51, 51, 51)},
        FlagCase{"Grey16", 16, 0, {0x12, 0x34}, Colour(0x12, 0x12, 0x12)},
        FlagCase{"Rgb8", 8, 2, {0, 10, 0, 20, 0, 30}, Colour(10, 20, 30)},
        FlagCase{"Rgb16", 16, 2, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, Colour(0x12, 0x56, 0x9A)},
        FlagCase{"PaletteOneClear", 8, 3, {255, 0}, Colour(1, 254, 7, 1)},
        FlagCase{"PaletteHalfClear", 8, 3, {255, 128}, Transparency{}},
        FlagCase{"PaletteTwoClear", 8, 3, {0, 255, 0}, Transparency{}},
        FlagCase{"PaletteAllOpaque", 8, 3, {255, 255}, Transparency{}},
        FlagCase{"PaletteEmpty", 8, 3, {}, Transparency{}},
        FlagCase{"AlphaImage", 8, 6, {0, 1, 0, 2, 0, 3}, Transparency{}},
        FlagCase{"ShortGrey", 8, 0, {7}, Transparency{}}),
    [](const auto& info) { return info.param.name; });

TEST(PngTransparentFlagNeedsIend, MissingOrLateChunksLeaveThePictureUnflagged) {
  const auto image = testing_support::SampleImage::Make(3, 2, 8, 0);
  const Bytes data = testing_support::Deflate(testing_support::Scanlines(image.Rows()));
  const auto start = [] { return PngChunkWriter().Ihdr(3, 2, 8, 0); };
  EXPECT_TRUE(
      DecodePng(start().Chunk("tRNS", {0, 7}).Idat(data).Iend().bytes()).transparency.enabled);
  EXPECT_FALSE(DecodePng(start().Chunk("tRNS", {0, 7}).Idat(data).bytes()).transparency.enabled);
  EXPECT_FALSE(
      DecodePng(start().Idat(data).Chunk("tRNS", {0, 7}).Iend().bytes()).transparency.enabled);
  // A tRNS before the palette reaches no entry.
  const Bytes paletteFirst =
      PngChunkWriter()
          .Ihdr(3, 2, 8, 3)
          .Chunk("tRNS", {255, 0})
          .Chunk("PLTE", testing_support::PaletteData(testing_support::TestPalette(256)))
          .Idat(data)
          .Iend()
          .bytes();
  EXPECT_FALSE(DecodePng(paletteFirst).transparency.enabled);
}

TEST(PngTransparentFlagNeedsIend, FlagNeverChangesPixels) {
  const Bitmap picture = DecodePng(WithTrns(8, 3, {255, 0}));
  const Bitmap plain = DecodePng(WithTrns(8, 3, {}));
  EXPECT_TRUE(std::ranges::equal(picture.PixelMemory(), plain.PixelMemory()));
}

}  // namespace
}  // namespace mirelay

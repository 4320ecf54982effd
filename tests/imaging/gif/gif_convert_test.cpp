#include "imaging/gif/gif_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "imaging/gif/gif_read.h"
#include "imaging/image_error.h"
#include "tests/imaging/gif/gif_block_writer.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::GifBlockWriter;

using Rgb = std::array<int, 3>;

const GifColorTable kFourColors{{0, 0, 0}, {10, 20, 30}, {255, 0, 0}, {255, 0, 255}};

Rgb PixelAt(const Bitmap& bitmap, int x, int row) {
  const std::uint8_t* p = bitmap.RowPointer(row) + 3 * x;
  return {p[2], p[1], p[0]};
}

Bitmap WorkingImage(const Bytes& file) {
  Bitmap bitmap = DecodeGif(file);
  ConvertTo24Bit(bitmap);
  return bitmap;
}

// Every pixel of a frame of the given size holds index 1, except its top-left one (index 2).
Bytes MarkedFrame(int width, int height) {
  Bytes indices(width * height, 1);
  indices[0] = 2;
  return indices;
}

Bitmap ForPaletteDisplay(const Bytes& file) {
  DecodeOptions options;
  options.paletteDisplay = true;
  return DecodeGif(file, options);
}

TEST(GifConversion, SmallerFrameIsPaintedOnAWhiteScreen) {
  auto file = GifBlockWriter()
                  .Start(100, 80, kFourColors)
                  .Descriptor(10, 10, 50, 40)
                  .Pixels(MarkedFrame(50, 40))
                  .Trailer();
  const Bitmap bitmap = WorkingImage(file.bytes());
  ASSERT_EQ(bitmap.Width(), 100);
  ASSERT_EQ(bitmap.Height(), 80);
  EXPECT_FALSE(bitmap.transparency.enabled);
  for (int row = 0; row < 80; ++row) {
    for (int x = 0; x < 100; ++x) {
      const bool inFrame = x >= 10 && x < 60 && row >= 10 && row < 50;
      const Rgb expected = !inFrame                 ? Rgb{255, 255, 255}
                           : (x == 10 && row == 10) ? Rgb{255, 0, 0}
                                                    : Rgb{10, 20, 30};
      ASSERT_EQ(PixelAt(bitmap, x, row), expected) << x << "," << row;
    }
  }
}

TEST(GifConversion, FrameOfScreenSizeIsTakenUnshifted) {
  auto file = GifBlockWriter()
                  .Start(4, 3, kFourColors)
                  .Descriptor(5, 5, 4, 3)
                  .Pixels(MarkedFrame(4, 3))
                  .Trailer();
  const auto image = DecodeGifImage(file.bytes());
  Bitmap bitmap = GifToBitmap(image, false);
  EXPECT_EQ(bitmap.Format(), PixelFormat::kIndexed8);
  ConvertTo24Bit(bitmap);
  ASSERT_EQ(bitmap.Width(), 4);
  ASSERT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(PixelAt(bitmap, 3, 2), (Rgb{10, 20, 30}));
}

TEST(GifConversion, FrameReachingPastTheScreenIsCut) {
  auto file = GifBlockWriter()
                  .Start(6, 5, kFourColors)
                  .Descriptor(4, 3, 5, 5)
                  .Pixels(MarkedFrame(5, 5))
                  .Trailer();
  const Bitmap bitmap = WorkingImage(file.bytes());
  ASSERT_EQ(bitmap.Width(), 6);
  ASSERT_EQ(bitmap.Height(), 5);
  EXPECT_EQ(PixelAt(bitmap, 3, 3), (Rgb{255, 255, 255}));
  EXPECT_EQ(PixelAt(bitmap, 4, 3), (Rgb{255, 0, 0}));
  EXPECT_EQ(PixelAt(bitmap, 5, 4), (Rgb{10, 20, 30}));
  // Entirely off the screen: only white remains.
  auto outside =
      GifBlockWriter().Start(6, 5, kFourColors).Descriptor(6, 0, 1, 1).Pixels({2}).Trailer();
  const Bitmap white = WorkingImage(outside.bytes());
  for (int row = 0; row < 5; ++row) EXPECT_EQ(PixelAt(white, 5, row), (Rgb{255, 255, 255}));
}

TEST(GifConversion, TransparentPixelsShowTheirTableColour) {
  auto file = GifBlockWriter()
                  .Start(2, 1, kFourColors)
                  .GraphicControl(0x01, 0, 3)
                  .Descriptor(0, 0, 2, 1)
                  .Pixels({3, 1})
                  .Trailer();
  const Bitmap bitmap = WorkingImage(file.bytes());
  EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{255, 0, 255}));
  EXPECT_FALSE(bitmap.transparency.enabled);
}

TEST(GifConversion, OnlyFrameZeroCountsAndItsLocalTableWins) {
  auto file = GifBlockWriter()
                  .Start(2, 1, kFourColors)
                  .Descriptor(0, 0, 2, 1, 0x80)
                  .Colors({{1, 1, 1}, {2, 2, 2}})
                  .Pixels({1, 0})
                  .Descriptor(0, 0, 2, 1)
                  .Pixels({2, 2})
                  .Trailer();
  const Bitmap bitmap = WorkingImage(file.bytes());
  EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{2, 2, 2}));
  EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{1, 1, 1}));
}

TEST(GifConversion, IndexBeyondTheTableShowsBlack) {
  for (const std::uint16_t screenWidth : {3, 4}) {
    auto file = GifBlockWriter()
                    .Start(screenWidth, 1, {{9, 9, 9}, {8, 8, 8}})
                    .Descriptor(0, 0, 3, 1)
                    .Pixels({1, 200, 255}, 8)
                    .Trailer();
    const Bitmap bitmap = WorkingImage(file.bytes());
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{8, 8, 8})) << screenWidth;
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{0, 0, 0})) << screenWidth;
    EXPECT_EQ(PixelAt(bitmap, 2, 0), (Rgb{0, 0, 0})) << screenWidth;
  }
}

TEST(GifConversion, EmptyResults) {
  const Bitmap noFrames = DecodeGif(GifBlockWriter().Header().Screen(5, 5).Trailer().bytes());
  EXPECT_EQ(noFrames.Width(), 0);
  EXPECT_EQ(noFrames.Height(), 0);
  auto zeroScreen = GifBlockWriter().Start(0, 3, kFourColors).Descriptor(0, 0, 2, 1).Pixels({1, 1});
  EXPECT_EQ(DecodeGif(zeroScreen.bytes()).Width(), 0);
  // An empty frame 0 leaves the white screen.
  auto emptyFrame = GifBlockWriter().Start(2, 2, kFourColors).GraphicControl(0, 0, 0).Trailer();
  const Bitmap white = WorkingImage(emptyFrame.bytes());
  ASSERT_EQ(white.Width(), 2);
  EXPECT_EQ(PixelAt(white, 1, 1), (Rgb{255, 255, 255}));
}

TEST(GifConversion, FrameWithoutAnyColourTableIsRejected) {
  auto file =
      GifBlockWriter().Header().Screen(2, 1).Descriptor(0, 0, 2, 1).Pixels({0, 1}).Trailer();
  const auto image = DecodeGifImage(file.bytes());
  try {
    GifToBitmap(image, false);
    FAIL() << "converted";
  } catch (const ImageError& error) {
    EXPECT_STREQ(error.what(), "No global or local color table defined");
  }
}

int CubeIndexOf(Rgb color) { return 36 * (color[0] / 51) + 6 * (color[1] / 51) + color[2] / 51; }

TEST(GifPaletteDisplay, FramesAreDitheredOntoTheCube) {
  // Cube colours stay exact; a mid grey spreads over its two neighbouring levels.
  const GifColorTable table{{255, 0, 0}, {128, 128, 128}, {0, 51, 204}, {0, 0, 0}};
  Bytes indices(16 * 16, 1);
  indices[0] = 0;
  indices[1] = 2;
  auto file = GifBlockWriter().Start(16, 16, table).Descriptor(0, 0, 16, 16).Pixels(indices);
  Bitmap bitmap = ForPaletteDisplay(file.bytes());
  ASSERT_EQ(bitmap.Format(), PixelFormat::kIndexed8);
  ASSERT_EQ(bitmap.colorTable.size(), 216u);
  EXPECT_EQ(bitmap.RowPointer(0)[0], CubeIndexOf({255, 0, 0}));
  EXPECT_EQ(bitmap.RowPointer(0)[1], CubeIndexOf({0, 51, 204}));
  ConvertTo24Bit(bitmap);
  long sum = 0;
  for (int row = 1; row < 16; ++row) {
    for (int x = 0; x < 16; ++x) {
      const Rgb pixel = PixelAt(bitmap, x, row);
      EXPECT_TRUE(pixel[0] == 102 || pixel[0] == 153) << pixel[0];
      sum += pixel[0];
    }
  }
  EXPECT_NEAR(static_cast<double>(sum) / (15 * 16), 128.0, 3.0);
}

TEST(GifPaletteDisplay, ScreenPictureUsesTheCubeWithWhiteAround) {
  auto file = GifBlockWriter()
                  .Start(4, 4, kFourColors)
                  .Descriptor(1, 1, 2, 2)
                  .Pixels({2, 2, 2, 2})
                  .Trailer();
  Bitmap bitmap = ForPaletteDisplay(file.bytes());
  ASSERT_EQ(bitmap.Format(), PixelFormat::kIndexed8);
  ASSERT_EQ(bitmap.colorTable.size(), 216u);
  EXPECT_EQ(bitmap.RowPointer(0)[0], 215);
  EXPECT_EQ(bitmap.RowPointer(1)[1], CubeIndexOf({255, 0, 0}));
  EXPECT_EQ(bitmap.RowPointer(3)[3], 215);
}

// Dithering only what reaches the screen must give the pixels that dithering the whole frame
// gives: errors travel right along a row and one column left into the next.
TEST(GifPaletteDisplay, ClippedFramesShowWhatTheWholeFrameDitheredWouldShow) {
  constexpr std::uint16_t kWidth = 40, kHeight = 30;
  // Colours half a cube step from a level carry the largest errors, and so the farthest.
  const GifColorTable table{{25, 25, 25}, {76, 178, 25}, {127, 127, 229}, {178, 76, 127}};
  Bytes indices(kWidth * kHeight);
  std::uint32_t seed = 1;
  for (auto& index : indices) index = (seed = seed * 1103515245 + 12345) >> 30;
  const auto dithered = [&](std::uint16_t screenWidth, std::uint16_t screenHeight,
                            std::uint16_t left) {
    auto file = GifBlockWriter()
                    .Start(screenWidth, screenHeight, table)
                    .Descriptor(left, 0, kWidth, kHeight)
                    .Pixels(indices)
                    .Trailer();
    return ForPaletteDisplay(file.bytes());
  };
  const Bitmap whole = dithered(kWidth, kHeight, 0);
  struct Screen {
    std::uint16_t width, height;
  };
  for (const Screen screen : {Screen{10, 8}, Screen{1, 30}, Screen{39, 30}, Screen{40, 3},
                              Screen{3, 60}, Screen{60, 60}}) {
    SCOPED_TRACE(std::to_string(screen.width) + "x" + std::to_string(screen.height));
    const Bitmap clipped = dithered(screen.width, screen.height, 0);
    ASSERT_EQ(clipped.Width(), screen.width);
    for (int row = 0; row < std::min<int>(screen.height, kHeight); ++row) {
      for (int x = 0; x < std::min<int>(screen.width, kWidth); ++x) {
        ASSERT_EQ(clipped.RowPointer(row)[x], whole.RowPointer(row)[x]) << x << "," << row;
      }
    }
  }
  // A frame wholly beside the screen leaves it white.
  const Bitmap beside = dithered(5, 30, 6);
  for (int row = 0; row < 30; ++row) {
    for (int x = 0; x < 5; ++x) ASSERT_EQ(beside.RowPointer(row)[x], 215);
  }
}

}  // namespace
}  // namespace mirelay

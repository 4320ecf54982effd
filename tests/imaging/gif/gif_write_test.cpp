#include "imaging/gif/gif_assign.h"

#include <gtest/gtest.h>

#include <random>

#include "files/file_error.h"
#include "imaging/image_lib.h"

#include "imaging/gif/gif_read.h"
#include "imaging/image_error.h"
#include "tests/imaging/gif/gif_block_writer.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::TempDir;

struct Rgb {
  std::uint8_t red, green, blue;
};

Bitmap Picture(int width, int height, const std::vector<Rgb>& pixels) {
  Bitmap bitmap(PixelFormat::kBits24, width, height);
  for (int row = 0; row < height; ++row) {
    std::uint8_t* out = bitmap.RowPointer(row);
    for (int x = 0; x < width; ++x) {
      const Rgb pixel = pixels[row * width + x];
      out[3 * x] = pixel.blue;
      out[3 * x + 1] = pixel.green;
      out[3 * x + 2] = pixel.red;
    }
  }
  return bitmap;
}

Bytes Saved(const Bitmap& bitmap) {
  TempDir folder;
  const auto path = folder.Path("out.gif");
  SaveBitmapAs(path, &bitmap, kFormatGif);
  return ReadWholeFile(path);
}

int Level(int value) { return (value + 3) / 51; }

TEST(GifWriting, HeaderAndDescriptorBytes) {
  const Bytes file = Saved(Bitmap(PixelFormat::kBits24, 640, 480));
  const Bytes expected{0x47, 0x49, 0x46, 0x38, 0x37, 0x61, 0x80, 0x02, 0xE0, 0x01, 0x77, 0x00,
                       0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x80, 0x02, 0xE0, 0x01, 0x87};
  ASSERT_GT(file.size(), 792u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 23), expected);
  // The table: the cube, then 40 black entries; then the minimum code size.
  EXPECT_EQ((Bytes(file.begin() + 23 + 3 * 11, file.begin() + 23 + 3 * 12)), (Bytes{0, 51, 255}));
  EXPECT_EQ((Bytes(file.begin() + 23 + 3 * 215, file.begin() + 23 + 3 * 216)),
            (Bytes{255, 255, 255}));
  EXPECT_EQ(Bytes(file.begin() + 23 + 3 * 216, file.begin() + 791), Bytes(120, 0));
  EXPECT_EQ(file[791], 8);
  // Data sub-blocks of 255 bytes but the last, then the terminator and the trailer.
  std::size_t at = 792;
  while (file.at(at) == 255) at += 256;
  ASSERT_GT(file.at(at), 0);
  at += 1 + file[at];
  EXPECT_EQ(Bytes(file.begin() + at, file.end()), (Bytes{0x00, 0x3B}));
}

TEST(GifWriting, EmptyImageGivesFourteenBytes) {
  const Bytes expected{'G', 'I', 'F', '8', '7', 'a', 0, 0, 0, 0, 0x77, 0, 0, 0x3B};
  EXPECT_EQ(Saved(Bitmap()), expected);
}

TEST(GifWriting, ColoursGoToTheCubeWithoutDiffusion) {
  const auto image = GifImageFromBitmap(Picture(3, 1, {{0, 0, 0}, {255, 255, 255}, {47, 48, 252}}));
  const auto& frame = image.frames.at(0);
  EXPECT_EQ(frame.indices, (Bytes{0, 215, 11}));
  EXPECT_EQ(frame.localColorTable.at(11), (GifColor{0, 51, 255}));
  // The level boundaries of one channel.
  const std::vector<std::pair<int, int>> boundaries{{0, 0},   {47, 0},  {48, 1},  {98, 1},
                                                    {99, 2},  {149, 2}, {150, 3}, {200, 3},
                                                    {201, 4}, {251, 4}, {252, 5}, {255, 5}};
  for (const auto& [value, level] : boundaries) {
    const auto v = static_cast<std::uint8_t>(value);
    const auto reduced = GifImageFromBitmap(Picture(1, 1, {{0, 0, v}}));
    EXPECT_EQ(reduced.frames[0].indices[0], level) << value;
  }
}

TEST(GifWriting, OurReaderGetsTheCubeIndicesBack) {
  std::mt19937 random(7);
  const int width = 301, height = 203;
  std::vector<Rgb> pixels(width * height);
  for (auto& pixel : pixels) {
    // Smooth runs as well as noise, so the code table fills and is reset.
    pixel = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random() % 60),
             static_cast<std::uint8_t>(&pixel - pixels.data())};
  }
  const auto image = DecodeGifImage(Saved(Picture(width, height, pixels)));
  ASSERT_EQ(image.frames.size(), 1u);
  const auto& frame = image.frames[0];
  ASSERT_EQ(frame.width, width);
  ASSERT_EQ(frame.height, height);
  EXPECT_EQ(frame.localColorTable.size(), 256u);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const int expected =
        36 * Level(pixels[i].red) + 6 * Level(pixels[i].green) + Level(pixels[i].blue);
    ASSERT_EQ(frame.indices[i], expected) << i;
  }
}

// A 4 x 2 picture: six pixels of colour A, one of B, one of C.
Bitmap ThreeColours(Rgb a, Rgb b, Rgb c) { return Picture(4, 2, {a, a, a, b, a, a, a, c}); }

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

TEST(GifWritingTransparent, TableIsSortedByUseCutAndGivenATransparentEntry) {
  Bitmap bitmap = ThreeColours(kRed, kGreen, kBlue);
  bitmap.transparency.enabled = true;
  bitmap.transparency.color = {0, 255, 0, 0};  // blue, green, red: green
  const Bytes file = Saved(bitmap);
  // "89a"; screen packed (b - 1) * 17 with b = 2 for red, green, blue and the transparent entry.
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 13),
            (Bytes{'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0x11, 0, 0}));
  EXPECT_EQ(Bytes(file.begin() + 13, file.begin() + 21),
            (Bytes{0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x03, 0x00}));
  EXPECT_EQ(file[21], 0x2C);
  EXPECT_EQ(file[30], 0x81);
  // Red (six uses) first; green and blue (one each) in the order the sort leaves them.
  const Bytes table(file.begin() + 31, file.begin() + 43);
  EXPECT_EQ(Bytes(table.begin(), table.begin() + 3), (Bytes{255, 0, 0}));
  EXPECT_EQ(Bytes(table.begin() + 9, table.end()), (Bytes{0, 0, 0}));
  EXPECT_EQ(file[43], 2);

  const auto image = DecodeGifImage(file);
  const auto& frame = image.frames.at(0);
  EXPECT_TRUE(frame.Transparent());
  EXPECT_EQ(frame.TransparentIndex(), 3);
  ASSERT_EQ(frame.localColorTable.size(), 4u);
  const std::uint8_t blue = frame.localColorTable[1] == GifColor{0, 0, 255} ? 1 : 2;
  EXPECT_EQ(frame.localColorTable[3 - blue], (GifColor{0, 255, 0}));
  EXPECT_EQ(frame.indices, (Bytes{0, 0, 0, 3, 0, 0, 0, blue}));
}

// Cube colours 106 to 109, once each; the transparent colour is 108's own.
// The sort sees the table's 216 pairs, so its first pivot is position 107, count 1. i stops
// everywhere, j only at the used pairs: swaps (0,109) (1,108) (2,107) (3,106) give the front
// 109 108 107 106, and the range 0..3 is sorted next. Pivot position 1: swaps (0,3) (1,2) give
// 106 107 108 109; then 0..1 swaps to 107 106 and 2..3 to 109 108. Over 256 pairs the first
// pivot would be an unused colour and the order 108 107 106 109.
TEST(GifWritingTransparent, EquallyUsedColoursKeepTheQuicksortOrder) {
  Bitmap bitmap = Picture(4, 1, {{102, 255, 204}, {102, 255, 255}, {153, 0, 0}, {153, 0, 51}});
  bitmap.transparency.enabled = true;
  bitmap.transparency.color = {0, 0, 153, 0};
  const auto image = GifImageFromBitmap(bitmap);
  const auto& frame = image.frames.at(0);
  const GifColorTable expected{{102, 255, 255}, {102, 255, 204}, {153, 0, 51}, {153, 0, 0}, {}};
  EXPECT_EQ(frame.localColorTable, expected);
  EXPECT_EQ(frame.indices, (Bytes{1, 0, 4, 2}));
}

TEST(GifWritingTransparent, AbsentTransparentColourLeavesTheCutTableAnd87a) {
  Bitmap bitmap = ThreeColours(kRed, kGreen, kBlue);
  bitmap.transparency.enabled = true;
  bitmap.transparency.color = {1, 2, 3, 0};
  const Bytes file = Saved(bitmap);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{'G', 'I', 'F', '8', '7', 'a'}));
  EXPECT_EQ(file[10], 0x11);
  EXPECT_EQ(file[13], 0x2C);
  const auto image = DecodeGifImage(file);
  const auto& frame = image.frames.at(0);
  EXPECT_FALSE(frame.Transparent());
  ASSERT_EQ(frame.localColorTable.size(), 4u);
  EXPECT_EQ(frame.localColorTable[0], (GifColor{255, 0, 0}));
  // Padding to a power of two.
  EXPECT_EQ(frame.localColorTable[3], (GifColor{}));
}

TEST(GifWritingTransparent, PaletteIndexNamesAColourOfTheList) {
  Bitmap bitmap = Picture(2, 1, {kRed, kBlue});
  bitmap.colorList = {{0, 0, 0, 0}, {255, 0, 0, 0}};
  bitmap.transparency.enabled = true;
  bitmap.transparency.paletteIndex = 1;
  const auto image = GifImageFromBitmap(bitmap);
  const auto& frame = image.frames.at(0);
  ASSERT_NE(frame.GraphicControl(), nullptr);
  EXPECT_EQ(frame.localColorTable.size(), 3u);
  EXPECT_EQ(frame.indices[1], 2);
  EXPECT_EQ(image.packed, 0x11);
  // An index outside the list marks nothing.
  bitmap.transparency.paletteIndex = 5;
  const auto unmarked = GifImageFromBitmap(bitmap);
  EXPECT_EQ(unmarked.frames.at(0).GraphicControl(), nullptr);
  EXPECT_EQ(unmarked.frames[0].localColorTable.size(), 216u);
}

TEST(GifWritingTransparent, OneColourGivesTheSmallestTable) {
  Bitmap bitmap = Picture(3, 1, {kBlue, kBlue, kBlue});
  bitmap.transparency.enabled = true;
  bitmap.transparency.color = {255, 255, 255, 0};
  const Bytes file = Saved(bitmap);
  EXPECT_EQ(file[10], 0x00);
  EXPECT_EQ(file[22], 0x80);
  EXPECT_EQ(Bytes(file.begin() + 23, file.begin() + 29), (Bytes{0, 0, 255, 0, 0, 0}));
  // A one-bit table still takes a minimum code size of 2.
  EXPECT_EQ(file[29], 2);
  EXPECT_EQ(DecodeGifImage(file).frames.at(0).indices, (Bytes{0, 0, 0}));
}

TEST(GifWriting, SidesBeyondWhatGifHoldsAreRefused) {
  EXPECT_THROW(GifImageFromBitmap(Bitmap(PixelFormat::kIndexed1, 65536, 1)), ImageError);
}

}  // namespace
}  // namespace mirelay

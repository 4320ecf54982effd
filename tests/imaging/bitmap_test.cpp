#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "imaging/image_error.h"

namespace mirelay {
namespace {

using Bgr = std::array<std::uint8_t, 3>;

Bgr PixelAt(const Bitmap& bitmap, int x, int row) {
  const std::uint8_t* p = bitmap.RowPointer(row) + 3 * x;
  return {p[0], p[1], p[2]};
}

TEST(BitmapLayout, StrideIsPaddedToFourBytes) {
  EXPECT_EQ(StrideFor(PixelFormat::kIndexed1, 1), 4u);
  EXPECT_EQ(StrideFor(PixelFormat::kIndexed1, 33), 8u);
  EXPECT_EQ(StrideFor(PixelFormat::kIndexed4, 9), 8u);
  EXPECT_EQ(StrideFor(PixelFormat::kBits16, 3), 8u);
  EXPECT_EQ(StrideFor(PixelFormat::kBits24, 1), 4u);
  EXPECT_EQ(StrideFor(PixelFormat::kBits24, 5), 16u);
  EXPECT_EQ(StrideFor(PixelFormat::kBits32, 3), 12u);
}

TEST(BitmapLayout, RowZeroIsTheTopRowInBothStorageOrders) {
  Bitmap bottomUp(PixelFormat::kBits24, 1, 3, StorageOrder::kBottomUp);
  EXPECT_EQ(bottomUp.RowPointer(0), bottomUp.PixelMemory().data() + 2 * 4);
  EXPECT_EQ(bottomUp.RowPointer(2), bottomUp.PixelMemory().data());
  Bitmap topDown(PixelFormat::kBits24, 1, 3, StorageOrder::kTopDown);
  EXPECT_EQ(topDown.RowPointer(0), topDown.PixelMemory().data());
  EXPECT_EQ(topDown.RowPointer(2), topDown.PixelMemory().data() + 2 * 4);
}

TEST(BitmapLayout, RowOutsideThePictureFailsWithTheScanLineText) {
  Bitmap bitmap(PixelFormat::kBits24, 2, 2);
  for (int row : {-1, 2}) {
    try {
      bitmap.RowPointer(row);
      FAIL() << "row " << row;
    } catch (const ImageError& error) {
      EXPECT_STREQ(error.what(), "スキャンライン のインデックスが範囲を越えました");
    }
  }
  EXPECT_THROW(Bitmap().RowPointer(0), ImageError);
}

TEST(BitmapLayout, PicturesBeyondTheMemoryCapAreRefusedBeforeAllocating) {
  EXPECT_THROW(Bitmap(PixelFormat::kBits32, 65536, 65536), ImageError);
  EXPECT_THROW(Bitmap(PixelFormat::kBits24, 0x7FFFFFFF, 2), ImageError);
  EXPECT_NO_THROW(Bitmap(PixelFormat::kBits24, 0, 0x7FFFFFFF));
}

TEST(BitmapValue, CopiesNeverShareMemory) {
  Bitmap original(PixelFormat::kBits24, 1, 1);
  original.RowPointer(0)[0] = 7;
  Bitmap target;
  TakeOver(target, original);
  target.RowPointer(0)[0] = 9;
  EXPECT_EQ(original.RowPointer(0)[0], 7);
  EXPECT_EQ(target.RowPointer(0)[0], 9);
}

TEST(TakeOverAttributes, IndexedSourceTableBecomesTheColourList) {
  Bitmap source(PixelFormat::kIndexed8, 1, 1);
  source.colorTable = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  source.coreHeader = true;
  source.pixelsPerMeterX = 2835;
  source.transparency = {true, {9, 9, 9, 0}, 1};
  Bitmap target(PixelFormat::kBits24, 5, 5);
  TakeOver(target, source);
  EXPECT_EQ(target.Width(), 1);
  EXPECT_EQ(target.colorList, source.colorTable);
  EXPECT_TRUE(target.coreHeader);
  EXPECT_EQ(target.pixelsPerMeterX, 2835);
  EXPECT_EQ(target.transparency, source.transparency);
}

TEST(TakeOverAttributes, EmptySourceEmptiesTheTarget) {
  Bitmap target(PixelFormat::kBits24, 5, 5);
  TakeOver(target, Bitmap());
  EXPECT_EQ(target.Width(), 0);
  EXPECT_FALSE(target.HasPixels());
}

struct ConversionCase {
  const char* name;
  PixelFormat format;
  std::vector<std::uint8_t> topRowBytes;  // one row, three pixels
  std::optional<ColorMasks> masks;
  std::array<Bgr, 3> expected;
};

class ConvertTo24BitTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(ConvertTo24BitTest, EveryPixelShowsItsSourceColour) {
  const auto& c = GetParam();
  for (auto order : {StorageOrder::kBottomUp, StorageOrder::kTopDown}) {
    Bitmap bitmap(c.format, 3, 2, order);
    bitmap.colorTable = {{0, 0, 0, 0}, {10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}};
    bitmap.masks = c.masks;
    std::memcpy(bitmap.RowPointer(0), c.topRowBytes.data(), c.topRowBytes.size());
    bitmap.pixelsPerMeterX = 100;
    bitmap.colorList = {{1, 1, 1, 0}};
    ConvertTo24Bit(bitmap);
    ASSERT_EQ(bitmap.Format(), PixelFormat::kBits24);
    EXPECT_EQ(bitmap.Order(), StorageOrder::kBottomUp);
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Height(), 2);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(bitmap, x, 0), c.expected[x]) << "x=" << x;
    // The second row was all zero bytes: index 0 or a black word.
    EXPECT_EQ(PixelAt(bitmap, 0, 1), (Bgr{0, 0, 0}));
    EXPECT_EQ(bitmap.pixelsPerMeterX, 0);
    EXPECT_EQ(bitmap.colorList.size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EverySourceFormat, ConvertTo24BitTest,
    testing::Values(
        ConversionCase{"Indexed1",
                       PixelFormat::kIndexed1,
                       {0b01000000},
                       {},
                       {Bgr{0, 0, 0}, Bgr{10, 20, 30}, Bgr{0, 0, 0}}},
        ConversionCase{"Indexed4",
                       PixelFormat::kIndexed4,
                       {0x12, 0x30},
                       {},
                       {Bgr{10, 20, 30}, Bgr{40, 50, 60}, Bgr{70, 80, 90}}},
        // Index 9 lies past the four-entry table: black, never a read outside it.
        ConversionCase{"Indexed8",
                       PixelFormat::kIndexed8,
                       {3, 9, 1},
                       {},
                       {Bgr{70, 80, 90}, Bgr{0, 0, 0}, Bgr{10, 20, 30}}},
        // 5-5-5 without masks, bit 15 ignored: red 31, green 0, blue 16 / pure green 31.
        ConversionCase{"Bits16Default",
                       PixelFormat::kBits16,
                       {0x10, 0xFC, 0xE0, 0x83, 0, 0},
                       {},
                       {Bgr{132, 0, 255}, Bgr{0, 255, 0}, Bgr{0, 0, 0}}},
        // 5-6-5 masks: green 0x3F -> 255, red 1 -> 8.
        ConversionCase{"Bits16Masks565",
                       PixelFormat::kBits16,
                       {0xE0, 0x07, 0x00, 0x08, 0x1F, 0x00},
                       ColorMasks{0xF800, 0x07E0, 0x001F},
                       {Bgr{0, 255, 0}, Bgr{0, 0, 8}, Bgr{255, 0, 0}}},
        // No masks: bytes 0..2 are blue, green, red and the fourth (alpha) is dropped.
        ConversionCase{"Bits32Default",
                       PixelFormat::kBits32,
                       {1, 2, 3, 0, 4, 5, 6, 255, 7, 8, 9, 128},
                       {},
                       {Bgr{1, 2, 3}, Bgr{4, 5, 6}, Bgr{7, 8, 9}}},
        ConversionCase{"Bits32Masks",
                       PixelFormat::kBits32,
                       {0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0, 0, 0, 0, 0},
                       ColorMasks{0x000000FF, 0x0000FF00, 0x00FF0000},
                       {Bgr{0x33, 0x22, 0x11}, Bgr{0, 0, 0}, Bgr{0, 0, 0}}},
        ConversionCase{"Device",
                       PixelFormat::kDevice,
                       {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0},
                       {},
                       {Bgr{1, 2, 3}, Bgr{4, 5, 6}, Bgr{7, 8, 9}}}),
    [](const auto& info) { return info.param.name; });

TEST(ConvertTo24BitKeeps, A24BitBitmapIsLeftExactlyAsItIs) {
  Bitmap bitmap(PixelFormat::kBits24, 2, 2, StorageOrder::kTopDown);
  bitmap.RowPointer(1)[3] = 42;
  bitmap.pixelsPerMeterY = 77;
  const auto* memory = bitmap.PixelMemory().data();
  ConvertTo24Bit(bitmap);
  EXPECT_EQ(bitmap.Order(), StorageOrder::kTopDown);
  EXPECT_EQ(bitmap.pixelsPerMeterY, 77);
  EXPECT_EQ(bitmap.PixelMemory().data(), memory);
  EXPECT_EQ(bitmap.RowPointer(1)[3], 42);
}

TEST(ConvertTo24BitKeeps, AnEmptyBitmapBecomesAnEmpty24BitBitmap) {
  Bitmap bitmap;
  ConvertTo24Bit(bitmap);
  EXPECT_EQ(bitmap.Format(), PixelFormat::kBits24);
  EXPECT_FALSE(bitmap.HasPixels());
  EXPECT_THROW(bitmap.RowPointer(0), ImageError);
}

TEST(ConvertTo24BitKeeps, CoreHeaderFlagAndTransparencySurvive) {
  Bitmap bitmap(PixelFormat::kIndexed8, 1, 1);
  bitmap.coreHeader = true;
  bitmap.transparency = {true, {1, 2, 3, 0}, -1};
  ConvertTo24Bit(bitmap);
  EXPECT_TRUE(bitmap.coreHeader);
  EXPECT_TRUE(bitmap.transparency.enabled);
}

}  // namespace
}  // namespace mirelay

#include <gtest/gtest.h>

#include <filesystem>

#include "files/file_error.h"
#include "imaging/bmp/bmp_read.h"
#include "imaging/bmp/bmp_write.h"
#include "imaging/image_lib.h"
#include "tests/imaging/bmp/bmp_builder.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::AllPixels;
using testing_support::BmpBuilder;
using testing_support::Bytes;
using testing_support::Gradient;
using testing_support::Le32At;
using testing_support::TempDir;

constexpr std::size_t kPixelOffsetField = 10;
constexpr std::size_t kHeaderSizeField = 14;
constexpr std::size_t kHeightField = 22;
constexpr std::size_t kColorsUsedField = 46;

TEST(BmpWriteLayout, OneByOneWorkingImageIs58Bytes) {
  Bitmap bitmap(PixelFormat::kBits24, 1, 1);
  bitmap.RowPointer(0)[0] = 1;
  bitmap.RowPointer(0)[1] = 2;
  bitmap.RowPointer(0)[2] = 3;
  const Bytes expected = {
      'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,         // file header
      40,  0,   0,  0, 1, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0,  // size, planes, depth
      0,   0,   0,  0, 4, 0, 0, 0,                            // compression, size
      0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0,  // resolution, colours
      1,   2,   3,  0};
  EXPECT_EQ(EncodeBmp(bitmap), expected);
}

struct RoundTripCase {
  const char* name;
  StorageOrder order;
  bool coreHeader;
  std::uint32_t headerSize;
  std::uint32_t heightField;
};

class BmpRoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(BmpRoundTripTest, WrittenFileReadsBackAsTheSamePicture) {
  const auto& c = GetParam();
  Bitmap original = Gradient(5, 3, 77, c.order);
  original.coreHeader = c.coreHeader;
  original.pixelsPerMeterX = 3780;
  original.pixelsPerMeterY = 2835;
  const Bytes file = EncodeBmp(original);

  const std::uint32_t pixelOffset = 14 + c.headerSize;
  EXPECT_EQ(Le32At(file, kHeaderSizeField), c.headerSize);
  EXPECT_EQ(Le32At(file, kPixelOffsetField), pixelOffset);
  EXPECT_EQ(Le32At(file, 2), file.size());
  EXPECT_EQ(file.size(), pixelOffset + 3 * 16u);
  EXPECT_EQ(Bytes(file.begin() + pixelOffset, file.end()),
            Bytes(original.PixelMemory().begin(), original.PixelMemory().end()));

  const Bitmap decoded = DecodeBmp(file);
  EXPECT_EQ(AllPixels(decoded), AllPixels(original));
  EXPECT_EQ(decoded.coreHeader, c.headerSize == 12);
  if (c.headerSize == 40) {
    EXPECT_EQ(Le32At(file, kHeightField), c.heightField);
    EXPECT_EQ(decoded.Order(), c.order);
    EXPECT_EQ(decoded.pixelsPerMeterX, 3780);
    EXPECT_EQ(decoded.pixelsPerMeterY, 2835);
  }
}

INSTANTIATE_TEST_SUITE_P(
    BothHeadersBothOrders, BmpRoundTripTest,
    testing::Values(RoundTripCase{"InfoBottomUp", StorageOrder::kBottomUp, false, 40, 3},
                    RoundTripCase{"InfoTopDown", StorageOrder::kTopDown, false, 40, 0xFFFFFFFD},
                    RoundTripCase{"CoreBottomUp", StorageOrder::kBottomUp, true, 12, 3},
                    // A core header cannot say "top row first"; the file must still show the
                    // same picture.
                    RoundTripCase{"CoreFlagTopDown", StorageOrder::kTopDown, true, 40, 0xFFFFFFFD}),
    [](const auto& info) { return info.param.name; });

// Loads a file into a working image as the program does.
Bitmap WorkingImageOf(const BmpBuilder& file) {
  Bitmap working;
  TakeOver(working, DecodeBmp(file.Build()));
  ConvertTo24Bit(working);
  return working;
}

TEST(BmpWriteLayout, ConvertedFourBitFileKeepsItsSixteenColours) {
  BmpBuilder file;
  file.width = 3;
  file.height = 2;
  file.bitsPerPixel = 4;
  for (std::uint8_t i = 0; i < 16; ++i) file.colors.push_back({i, i, i, 99});
  file.pixels = {0x01, 0x20, 0, 0, 0xFE, 0xD0, 0, 0};
  const Bitmap working = WorkingImageOf(file);
  const Bytes saved = EncodeBmp(working);

  EXPECT_EQ(Le32At(saved, kPixelOffsetField), 118u);
  EXPECT_EQ(Le32At(saved, kColorsUsedField), 16u);
  EXPECT_EQ(saved.size(), 118u + 2 * 12);
  for (std::uint8_t i = 0; i < 16; ++i) {
    EXPECT_EQ(Bytes(saved.begin() + 54 + 4 * i, saved.begin() + 58 + 4 * i), (Bytes{i, i, i, 0}));
  }
  EXPECT_EQ(AllPixels(DecodeBmp(saved)), AllPixels(working));
}

TEST(BmpWriteLayout, ConvertedCoreHeaderFileSavesWithACoreHeader) {
  BmpBuilder file;
  file.headerSize = 12;
  file.width = 2;
  file.height = 2;
  file.bitsPerPixel = 8;
  file.colors.resize(256, {10, 20, 30, 0});
  file.pixels = {0, 1, 0, 0, 1, 0, 0, 0};
  const Bitmap working = WorkingImageOf(file);
  const Bytes saved = EncodeBmp(working);

  EXPECT_EQ(Le32At(saved, kPixelOffsetField), 26u);
  EXPECT_EQ(Le32At(saved, kHeaderSizeField), 12u);
  EXPECT_EQ(Le32At(saved, 2), 26u + 2 * 8);
  EXPECT_EQ(saved.size(), 26u + 2 * 8);
  EXPECT_EQ(AllPixels(DecodeBmp(saved)), AllPixels(working));
}

TEST(BmpWriteLayout, BitmapNotIn24BitsIsWrittenAsItShows) {
  Bitmap indexed(PixelFormat::kIndexed8, 2, 1);
  indexed.colorTable = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  indexed.RowPointer(0)[1] = 1;
  Bitmap expected = indexed;
  ConvertTo24Bit(expected);
  EXPECT_EQ(AllPixels(DecodeBmp(EncodeBmp(indexed))), AllPixels(expected));
}

TEST(BmpSaveFile, EmptyBitmapGivesAnEmptyFileReplacingAnOldOne) {
  TempDir folder;
  const auto path = folder.Write("old.bmp", Bytes(100, 7));
  const Bitmap empty;
  EXPECT_EQ(SaveBitmapAs(path, &empty, kFormatBmp), kFormatBmp);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_TRUE(EncodeBmp(Bitmap()).empty());
}

TEST(BmpSaveFile, WritesTheEncodedBytesAndLoadsBack) {
  TempDir folder;
  const Bitmap picture = Gradient(7, 4, 5);
  const auto path = folder.Path("picture.bmp");
  EXPECT_EQ(SaveBitmapAs(path, &picture, kFormatBmp), kFormatBmp);
  EXPECT_EQ(ReadWholeFile(path), EncodeBmp(picture));
  EXPECT_EQ(AllPixels(DecodeBmp(ReadWholeFile(path))), AllPixels(picture));
}

}  // namespace
}  // namespace mirelay

#include "batch/overlay.h"

#include <gtest/gtest.h>

#include "imaging/bmp/bmp_write.h"
#include "imaging/image_error.h"
#include "tests/imaging/bmp/bmp_builder.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::AllPixels;
using testing_support::Bgr;
using testing_support::BmpBuilder;
using testing_support::Gradient;
using testing_support::PixelAt;
using testing_support::TempDir;

Bitmap Filled(std::int32_t width, std::int32_t height, Bgr color) {
  Bitmap bitmap(PixelFormat::kBits24, width, height);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x)
      std::copy(color.begin(), color.end(), bitmap.RowPointer(row) + 3 * x);
  }
  return bitmap;
}

void SetPixel(Bitmap& bitmap, int x, int row, Bgr color) {
  std::copy(color.begin(), color.end(), bitmap.RowPointer(row) + 3 * x);
}

constexpr Bgr kBaseColor{1, 2, 3};
constexpr Bgr kKey{100, 120, 140};

TEST(OverlayThreshold, EachChannelIsTransparentUpToTheThresholdInclusive) {
  for (std::int32_t threshold : {0, 10}) {
    for (int channel = 0; channel < 3; ++channel) {
      for (int delta : {threshold, -threshold, threshold + 1, -(threshold + 1)}) {
        SCOPED_TRACE(testing::Message()
                     << "threshold " << threshold << " channel " << channel << " delta " << delta);
        Bitmap part = Filled(2, 1, kKey);
        Bgr shifted = kKey;
        shifted[channel] = static_cast<std::uint8_t>(shifted[channel] + delta);
        SetPixel(part, 1, 0, shifted);
        Bitmap base = Filled(2, 1, kBaseColor);
        OverlayColorKey(base, part, threshold);
        const bool copied = std::abs(delta) > threshold;
        EXPECT_EQ(PixelAt(base, 1, 0), copied ? shifted : kBaseColor);
        EXPECT_EQ(PixelAt(base, 0, 0), kBaseColor);
      }
    }
  }
}

// Rows long enough for the vector loop and its remainder: every pixel strays from the key by a
// different amount in each channel.
TEST(OverlayThreshold, WideRowsFollowThePerPixelRule) {
  constexpr int kWidth = 131;
  constexpr std::int32_t kThreshold = 10;
  Bitmap part(PixelFormat::kBits24, kWidth, 2);
  Bitmap expected = Filled(kWidth, 2, kBaseColor);
  for (int row = 0; row < 2; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      Bgr color = kKey;
      bool opaque = false;
      for (int channel = 0; channel < 3; ++channel) {
        const int offset = x == 0 ? 0 : (x * 7 + channel * 13 + row * 5) % 27 - 13;
        color[channel] = static_cast<std::uint8_t>(color[channel] + offset);
        opaque |= std::abs(offset) > kThreshold;
      }
      SetPixel(part, x, row, color);
      if (opaque) SetPixel(expected, x, row, color);
    }
  }
  Bitmap base = Filled(kWidth, 2, kBaseColor);
  OverlayColorKey(base, part, kThreshold);
  EXPECT_EQ(AllPixels(base), AllPixels(expected));
}

TEST(OverlayThreshold, NegativeThresholdCopiesEveryPixelIncludingTheKey) {
  for (std::int32_t threshold : {-1, INT32_MIN}) {
    const Bitmap part = Gradient(4, 3, 50);
    Bitmap base = Filled(4, 3, kBaseColor);
    OverlayColorKey(base, part, threshold);
    EXPECT_EQ(AllPixels(base), AllPixels(part)) << threshold;
  }
}

TEST(OverlayThreshold, Threshold255AndAboveCopiesNothing) {
  Bitmap part = Filled(3, 1, Bgr{0, 0, 0});
  SetPixel(part, 1, 0, Bgr{255, 255, 255});
  SetPixel(part, 2, 0, Bgr{255, 0, 128});
  Bitmap base = Filled(3, 1, kBaseColor);
  for (std::int32_t threshold : {255, INT32_MAX}) OverlayColorKey(base, part, threshold);
  EXPECT_EQ(AllPixels(base), AllPixels(Filled(3, 1, kBaseColor)));
  OverlayColorKey(base, part, 254);
  EXPECT_EQ(PixelAt(base, 1, 0), (Bgr{255, 255, 255}));
}

TEST(OverlayThreshold, OneByOnePartIsItsOwnKey) {
  const Bitmap part = Filled(1, 1, kKey);
  Bitmap base = Filled(2, 2, kBaseColor);
  OverlayColorKey(base, part, 0);
  EXPECT_EQ(AllPixels(base), AllPixels(Filled(2, 2, kBaseColor)));
  OverlayColorKey(base, part, -1);
  EXPECT_EQ(PixelAt(base, 0, 0), kKey);
  EXPECT_EQ(PixelAt(base, 1, 0), kBaseColor);
  EXPECT_EQ(PixelAt(base, 0, 1), kBaseColor);
}

// Every part pixel is opaque, so the overlap shows the part and the rest the base.
void ExpectOverlapOnly(std::int32_t baseWidth, std::int32_t baseHeight, std::int32_t partWidth,
                       std::int32_t partHeight) {
  const Bitmap part = Gradient(partWidth, partHeight, 77);
  Bitmap base = Filled(baseWidth, baseHeight, kBaseColor);
  OverlayColorKey(base, part, -1);
  ASSERT_EQ(base.Width(), baseWidth);
  ASSERT_EQ(base.Height(), baseHeight);
  for (int row = 0; row < baseHeight; ++row) {
    for (int x = 0; x < baseWidth; ++x) {
      const bool inside = x < partWidth && row < partHeight;
      ASSERT_EQ(PixelAt(base, x, row), inside ? PixelAt(part, x, row) : kBaseColor)
          << x << "," << row;
    }
  }
}

TEST(OverlaySizes, PartIsAnchoredTopLeftAndClippedToTheBase) {
  ExpectOverlapOnly(100, 50, 40, 80);
  ExpectOverlapOnly(40, 80, 100, 50);
}

TEST(OverlaySizes, TopDownBaseIsAddressedFromItsTopRow) {
  const Bitmap part = Gradient(2, 1, 9);
  Bitmap base = Gradient(2, 3, 1, StorageOrder::kTopDown);
  OverlayColorKey(base, part, -1);
  EXPECT_EQ(PixelAt(base, 1, 0), PixelAt(part, 1, 0));
  EXPECT_EQ(PixelAt(base, 1, 1), (Bgr{1, 1, 1}));
}

TEST(OverlaySizes, EmptyPartFailsBeforeAnyBasePixelChanges) {
  Bitmap empty;
  ConvertTo24Bit(empty);
  Bitmap base = Gradient(3, 3, 5);
  try {
    OverlayColorKey(base, empty, -1);
    FAIL() << "no error";
  } catch (const ImageError& error) {
    EXPECT_STREQ(error.what(), "スキャンライン のインデックスが範囲を越えました");
  }
  EXPECT_EQ(AllPixels(base), AllPixels(Gradient(3, 3, 5)));
}

class MergePairTest : public testing::Test {
 protected:
  TempDir folder_;
  Bitmap baseBitmap_ = Gradient(2, 2, 1);
  Bitmap partBitmap_ = Gradient(2, 2, 2);

  void ExpectWorkingImagesUntouched() {
    EXPECT_EQ(AllPixels(baseBitmap_), AllPixels(Gradient(2, 2, 1)));
    EXPECT_EQ(AllPixels(partBitmap_), AllPixels(Gradient(2, 2, 2)));
  }
};

TEST_F(MergePairTest, CompositesTwoFilesIntoTheWorkingImages) {
  const auto basePath = folder_.Write("base.bmp", EncodeBmp(Filled(4, 3, kBaseColor)));
  // An indexed part: key colour everywhere but one pixel.
  BmpBuilder part;
  part.width = 2;
  part.height = 2;
  part.bitsPerPixel = 8;
  part.colorsUsed = 2;
  part.colors = {{100, 120, 140, 0}, {9, 8, 7, 0}};
  part.pixels = {0, 0, 0, 0, 0, 1, 0, 0};  // rows bottom first; the top row is key, opaque
  const auto partPath = folder_.Write("part.bmp", part.Build());

  EXPECT_TRUE(MergePair(basePath, partPath, baseBitmap_, partBitmap_, 0));
  Bitmap expected = Filled(4, 3, kBaseColor);
  SetPixel(expected, 1, 0, Bgr{9, 8, 7});
  EXPECT_EQ(AllPixels(baseBitmap_), AllPixels(expected));
  EXPECT_EQ(partBitmap_.Format(), PixelFormat::kBits24);
  EXPECT_EQ(PixelAt(partBitmap_, 1, 0), (Bgr{9, 8, 7}));
}

TEST_F(MergePairTest, MissingFileLeavesBothWorkingImagesAlone) {
  const auto existing = folder_.Write("base.bmp", EncodeBmp(Filled(4, 3, kBaseColor)));
  const auto missing = folder_.Path("missing.bmp");
  EXPECT_FALSE(MergePair(missing, existing, baseBitmap_, partBitmap_, 0));
  EXPECT_FALSE(MergePair(existing, missing, baseBitmap_, partBitmap_, 0));
  ExpectWorkingImagesUntouched();
}

TEST_F(MergePairTest, UndecodableFileGivesNoComposite) {
  const auto good = folder_.Write("good.bmp", EncodeBmp(Filled(4, 3, kBaseColor)));
  const auto bad = folder_.Write("bad.bmp", {'B', 'M', 0, 0});
  EXPECT_FALSE(MergePair(bad, good, baseBitmap_, partBitmap_, 0));
  ExpectWorkingImagesUntouched();
  EXPECT_FALSE(MergePair(good, bad, baseBitmap_, partBitmap_, -1));
  EXPECT_EQ(AllPixels(baseBitmap_), AllPixels(Filled(4, 3, kBaseColor)));
}

}  // namespace
}  // namespace mirelay

#include <gtest/gtest.h>

#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "files/file_status.h"
#include "files/input_file.h"
#include "imaging/image_error.h"
#include "imaging/image_lib.h"
#include "imaging/jpeg/jpeg_read.h"
#include "imaging/jpeg/jpeg_write.h"
#include "tests/imaging/jpeg/jpeg_test_files.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using namespace testing_support;

int EffectiveQuality(int qualityByte) {
  if (qualityByte < 1) return 1;
  return qualityByte > 100 ? 100 : qualityByte;
}

// The quantisation values of every DQT segment (8-bit tables).
std::vector<int> QuantisationValues(const Bytes& file) {
  std::vector<int> values;
  for (const Segment& segment : HeaderSegments(file)) {
    if (segment.marker != 0xDB) continue;
    for (std::size_t at = segment.at + 4; at < segment.at + 2 + segment.length; at += 65) {
      EXPECT_EQ(file[at] >> 4, 0) << "16-bit table";
      values.insert(values.end(), file.begin() + at + 1, file.begin() + at + 65);
    }
  }
  return values;
}

TEST(JpegEncoding, MatchesCjpegBaselineByteForByte) {
  SKIP_WITHOUT_TOOL("cjpeg");
  const Bitmap pictures[] = {PhotoLike(37, 23, 1), PhotoLike(128, 96, 2),
                             Uniform(1, 1, 10, 200, 30), Uniform(17, 9, 255, 255, 255)};
  for (const Bitmap& picture : pictures) {
    for (int quality : {0, 1, 50, 75, 90, 100, 255}) {
      const Bytes expected =
          Cjpeg(picture, "-quality " + std::to_string(EffectiveQuality(quality)) + " -baseline");
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(EncodeJpeg(picture, static_cast<std::uint8_t>(quality)), expected)
          << picture.Width() << "x" << picture.Height() << " quality " << quality;
    }
  }
}

TEST(JpegEncoding, WritesTheFixedBaselineJfifLayout) {
  const Bytes file = EncodeJpeg(PhotoLike(40, 30), 90);
  std::vector<std::uint8_t> markers;
  for (const Segment& segment : HeaderSegments(file)) markers.push_back(segment.marker);
  EXPECT_EQ(markers, (std::vector<std::uint8_t>{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4,
                                                0xC4, 0xDA}));
  const Bytes app0(file.begin() + 2, file.begin() + 20);
  EXPECT_EQ(app0, (Bytes{0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
  const Segment frame = *FindFrame(file);
  const Bytes sof(file.begin() + frame.at, file.begin() + frame.at + 2 + frame.length);
  EXPECT_EQ(sof,
            (Bytes{0xFF, 0xC0, 0, 17, 8, 0, 30, 0, 40, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));
  const Segment scan = *FindSegment(file, 0xDA);
  const Bytes sos(file.begin() + scan.at, file.begin() + scan.at + 2 + scan.length);
  EXPECT_EQ(sos, (Bytes{0xFF, 0xDA, 0, 12, 3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}));
  EXPECT_EQ(file[file.size() - 2], 0xFF);
  EXPECT_EQ(file.back(), 0xD9);
}

TEST(JpegEncoding, QualityByteIsClampedByTheLibrary) {
  const Bitmap picture = PhotoLike(16, 16);
  for (int quality : {0, 1}) {
    const std::vector<int> values = QuantisationValues(EncodeJpeg(picture, quality));
    ASSERT_EQ(values.size(), 128u);
    EXPECT_EQ(values, std::vector<int>(128, 255)) << "quality " << quality;
  }
  for (int quality : {100, 101, 255}) {
    EXPECT_EQ(QuantisationValues(EncodeJpeg(picture, quality)), std::vector<int>(128, 1))
        << "quality " << quality;
  }
  EXPECT_EQ(EncodeJpeg(picture, 0), EncodeJpeg(picture, 1));
  EXPECT_NE(EncodeJpeg(picture, 50), EncodeJpeg(picture, 51));
}

TEST(JpegEncoding, OnePixelPictureIsAValidJpeg) {
  const Bytes file = EncodeJpeg(Uniform(1, 1, 40, 80, 200), 100);
  const Bitmap decoded = DecodeJpeg(file);
  ASSERT_EQ(decoded.Width(), 1);
  ASSERT_EQ(decoded.Height(), 1);
  const std::uint8_t* p = decoded.RowPointer(0);
  EXPECT_NEAR(p[0], 40, 2);
  EXPECT_NEAR(p[1], 80, 2);
  EXPECT_NEAR(p[2], 200, 2);
}

TEST(JpegEncoding, PicturesWithoutPixelsGiveAnEmptyFile) {
  TempDir scratch;
  for (const Bitmap& picture :
       {Bitmap(), Bitmap(PixelFormat::kBits24, 0, 3), Bitmap(PixelFormat::kBits24, 5, 0)}) {
    const std::string path = scratch.Path("empty.jpg");
    WriteBytes(path, {1, 2, 3});
    EXPECT_EQ(SaveBitmapAs(path, &picture, kFormatJpeg), kFormatJpeg);
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(ReadBytes(path).empty());
  }
}

TEST(JpegEncoding, StorageOrderAndPixelFormatDoNotChangeTheOutput) {
  const Bitmap bottomUp = PhotoLike(21, 13);
  Bitmap topDown(PixelFormat::kBits24, 21, 13, StorageOrder::kTopDown);
  for (int row = 0; row < 13; ++row) {
    std::copy_n(bottomUp.RowPointer(row), 3 * 21, topDown.RowPointer(row));
  }
  EXPECT_EQ(EncodeJpeg(topDown, 75), EncodeJpeg(bottomUp, 75));

  Bitmap indexed(PixelFormat::kIndexed8, 5, 4);
  indexed.colorTable = {{0, 0, 255, 0}, {255, 0, 0, 0}};
  for (int row = 0; row < 4; ++row) indexed.RowPointer(row)[row] = 1;
  Bitmap converted = indexed;
  ConvertTo24Bit(converted);
  EXPECT_EQ(EncodeJpeg(indexed, 75), EncodeJpeg(converted, 75));
}

TEST(JpegEncoding, SaveWritesTheEncodedStreamThroughTheDispatch) {
  TempDir scratch;
  const Bitmap picture = PhotoLike(30, 20);
  const std::string path = scratch.Path("out.jpg");
  // Codes that name no other format carry the quality in their low byte.
  const std::pair<std::int32_t, int> codes[] = {{3, 90}, {0, 1}, {100, 100}, {-1, 100}, {-200, 56}};
  for (const auto& [code, quality] : codes) {
    EXPECT_EQ(SaveBitmapAs(path, &picture, code), kFormatJpeg);
    EXPECT_EQ(ReadBytes(path), EncodeJpeg(picture, quality)) << "code " << code;
  }
}

TEST(JpegEncoding, FailuresReachTheCaller) {
  TempDir scratch;
  const std::string missingFolder = scratch.Path("missing/out.jpg");
  try {
    const Bitmap picture = PhotoLike(2, 2);
    SaveBitmapAs(missingFolder, &picture, kFormatJpeg);
    FAIL() << "saved into a missing folder";
  } catch (const FileError& error) {
    EXPECT_EQ(error.what(), FillMessage(kCannotCreateFile, missingFolder));
  }

  const std::string tooWide = scratch.Path("wide.jpg");
  try {
    const Bitmap wide(PixelFormat::kBits24, 65501, 1);
    SaveBitmapAs(tooWide, &wide, kFormatJpeg);
    FAIL() << "encoded a picture wider than 65500";
  } catch (const ImageError& error) {
    EXPECT_EQ(error.what(), "JPEG エラー #" + std::to_string(JERR_IMAGE_TOO_BIG));
  }
}

}  // namespace
}  // namespace mirelay

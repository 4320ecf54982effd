#include <gtest/gtest.h>

#include <random>
#include <string>

#include "imaging/image_error.h"
#include "imaging/png/png_read.h"
#include "tests/imaging/png/png_chunk_writer.h"
#include "tests/imaging/png/png_test_images.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::PngChunkWriter;

constexpr char kReadError[] = "Read Image (PNG): Read Error";

std::string DecodeError(const Bytes& file) {
  try {
    DecodePng(file);
  } catch (const ImageError& error) {
    return error.what();
  }
  return "(decoded)";
}

Bytes RgbRows(int width, int height) {
  return testing_support::Scanlines(testing_support::SampleImage::Make(width, height, 8, 2).Rows());
}

// A 4 x 3 truecolour image with a tRNS chunk, so that reaching IEND shows in the result.
PngChunkWriter Start() {
  return PngChunkWriter().Ihdr(4, 3, 8, 2).Chunk("tRNS", {0, 1, 0, 2, 0, 3});
}

void ExpectIntact(const Bitmap& picture) {
  const auto expected = testing_support::SampleImage::Make(4, 3, 8, 2);
  ASSERT_EQ(picture.Width(), 4);
  ASSERT_EQ(picture.Height(), 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(testing_support::PixelRgb(picture, x, y), expected.Expected(x, y));
  }
}

TEST(PngDamagedFiles, SignatureMustBeWhole) {
  Bytes lineEndsConverted = testing_support::kPngSignature;
  lineEndsConverted[4] = 0x0A;
  for (const Bytes& file :
       {Bytes{},
        Bytes(testing_support::kPngSignature.begin(), testing_support::kPngSignature.end() - 1),
        lineEndsConverted}) {
    EXPECT_EQ(DecodeError(file), "PNG LoadStream: Not PNG Format");
  }
}

TEST(PngDamagedFiles, HeaderFieldsAreCheckedWhenTheHeaderIsRead) {
  struct Case {
    std::uint8_t colorType, compression, filter, interlace;
    std::string text;
  };
  for (const auto& c : {Case{1, 0, 0, 0, "Read Header(PNG): Error ColorType"},
                        Case{5, 0, 0, 0, "Read Header(PNG): Error ColorType"},
                        Case{0x0F, 0, 0, 0, "Read Header(PNG): Error ColorType"},
                        Case{2, 2, 0, 0, "Read Header(PNG): not support Compression"},
                        Case{2, 0, 2, 0, "Read Header(PNG): not supprt Filter"},
                        Case{2, 0, 0, 2, "Read Header(PNG): not interlace type"},
                        Case{7, 9, 9, 9, "Read Header(PNG): Error ColorType"}}) {
    // No image data follows: these rules do not wait for it.
    const Bytes file =
        PngChunkWriter().Ihdr(4, 3, 8, c.colorType, c.interlace, c.compression, c.filter).bytes();
    EXPECT_EQ(DecodeError(file), c.text) << int(c.colorType);
  }
}

TEST(PngDamagedFiles, BitDepthIsCheckedOnlyAtTheFirstImageData) {
  struct Case {
    std::uint8_t colorType, depth;
    std::string text;
  };
  for (const auto& c : {Case{0, 3, "Read Header(PNG): Error Bitdepth"},
                        Case{0, 32, "Read Header(PNG): Error Bitdepth"},
                        Case{4, 3, "Read Header(PNG): Error Bitdepth"},
                        Case{4, 4, "Read Header(PNG): not Use AlphaChannel"},
                        Case{4, 1, "Read Header(PNG): not Use AlphaChannel"},
                        Case{2, 4, "Read Header(PNG): Error BitDepth"},
                        Case{6, 1, "Read Header(PNG): Error BitDepth"},
                        Case{3, 16, "Read Header(PNG): Error BitDepth"}}) {
    PngChunkWriter file;
    file.Ihdr(4, 3, c.depth, c.colorType).Chunk("tEXt", {'a', 0, 'b'});
    const Bitmap empty = DecodePng(file.bytes());
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(DecodeError(file.Idat(testing_support::Deflate(RgbRows(4, 3))).Iend().bytes()),
              c.text);
  }
}

TEST(PngDamagedFiles, ASecondHeaderFailsUntilIend) {
  const Bytes data = testing_support::Deflate(RgbRows(4, 3));
  EXPECT_EQ(DecodeError(Start().Ihdr(4, 3, 8, 2).Idat(data).Iend().bytes()),
            "Read Header(PNG): appear two IHDR");
  EXPECT_EQ(DecodeError(Start().Idat(data).Chunk("tEXt", {'k', 0}).Ihdr(4, 3, 8, 2).Iend().bytes()),
            "Read Header(PNG): appear two IHDR");
  // Chunks after IEND are never read.
  ExpectIntact(DecodePng(Start().Idat(data).Iend().Ihdr(4, 3, 8, 2).bytes()));
}

TEST(PngDamagedFiles, FilesWithoutImageDataDecodeToAnEmptyPicture) {
  const Bytes whole = Start().Idat(testing_support::Deflate(RgbRows(4, 3))).Iend().bytes();
  const std::size_t idatStart = 8 + 25 + 18;
  for (const Bytes& file :
       {PngChunkWriter().Iend().bytes(), testing_support::kPngSignature,
        Bytes(whole.begin(), whole.begin() + 20), Bytes(whole.begin(), whole.begin() + idatStart),
        Bytes(whole.begin(), whole.begin() + idatStart + 7)}) {
    const Bitmap picture = DecodePng(file);
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_FALSE(picture.HasPixels());
  }
}

TEST(PngDamagedFiles, CrcsAreNeverChecked) {
  const Bytes file = PngChunkWriter()
                         .ChunkWithCrc("IHDR", {0, 0, 0, 4, 0, 0, 0, 3, 8, 2, 0, 0, 0}, 1)
                         .ChunkWithCrc("tRNS", {0, 1, 0, 2, 0, 3}, 2)
                         .ChunkWithCrc("IDAT", testing_support::Deflate(RgbRows(4, 3)), 3)
                         .ChunkWithCrc("IEND", {}, 4)
                         .bytes();
  const Bitmap picture = DecodePng(file);
  ExpectIntact(picture);
  EXPECT_TRUE(picture.transparency.enabled);
}

TEST(PngDamagedFiles, FileEndingRightAfterItsImageDataDecodesUnflagged) {
  const Bytes data = testing_support::Deflate(RgbRows(4, 3));
  const auto file = Start().Idat(data).Iend();
  const std::size_t dataEnd = file.bytes().size() - 12 - 4;
  const Bitmap picture = DecodePng(file.Cut(dataEnd));
  ExpectIntact(picture);
  EXPECT_FALSE(picture.transparency.enabled);
  EXPECT_FALSE(DecodePng(file.Cut(file.bytes().size() - 2)).transparency.enabled);
  EXPECT_EQ(DecodeError(file.Cut(dataEnd - 1)), kReadError);
}

TEST(PngDamagedFiles, ImageDataIsFetchedInPiecesOf32768Bytes) {
  const Bytes data = testing_support::Deflate(RgbRows(4, 3));
  Bytes padded = data;
  padded.resize(200, 0xEE);
  // The whole stream is present, but the one piece of this chunk reaches past the end.
  const auto small = Start().ChunkWithLength("IDAT", 200, padded);
  EXPECT_EQ(DecodeError(small.Cut(small.bytes().size() - 50)), kReadError);
  // Here the stream ends inside the first, complete piece of a longer chunk.
  padded.resize(40000, 0xEE);
  const auto large = Start().ChunkWithLength("IDAT", 40000, padded);
  ExpectIntact(DecodePng(large.Cut(large.bytes().size() - 1000)));
}

TEST(PngDamagedFiles, ImageDataMayBeSplitAndEmptyChunksOnlyEndItAfterTheFirst) {
  const Bytes data = testing_support::Deflate(RgbRows(4, 3));
  PngChunkWriter split = Start();
  split.Idat({});
  for (std::uint8_t byte : data) split.Idat({byte});
  ExpectIntact(DecodePng(split.Iend().bytes()));

  const Bytes head(data.begin(), data.begin() + 10), tail(data.begin() + 10, data.end());
  EXPECT_EQ(DecodeError(Start().Idat(head).Idat({}).Idat(tail).Iend().bytes()), kReadError);
  EXPECT_EQ(DecodeError(Start().Idat(head).Chunk("tEXt", {'k', 0}).Idat(tail).Iend().bytes()),
            kReadError);
  // Once every row is in, empty and further IDAT chunks are ignored.
  const Bitmap complete = DecodePng(Start().Idat(data).Idat({}).Idat({1, 2, 3}).Iend().bytes());
  ExpectIntact(complete);
  EXPECT_TRUE(complete.transparency.enabled);
}

TEST(PngDamagedFiles, CorruptOrShortImageDataFailsWithTheReadError) {
  Bytes badFilter = RgbRows(4, 3);
  badFilter[13] = 5;
  Bytes corrupt = testing_support::Deflate(RgbRows(4, 3));
  corrupt[2] = 0xFF;
  for (const Bytes& data : {testing_support::Deflate(badFilter), corrupt,
                            testing_support::Deflate(RgbRows(4, 2)), Bytes{0x78, 0x9C}}) {
    EXPECT_EQ(DecodeError(Start().Idat(data).Iend().bytes()), kReadError);
  }
  EXPECT_EQ(
      DecodeError(
          PngChunkWriter().Idat(testing_support::Deflate(RgbRows(4, 3))).Ihdr(4, 3, 8, 2).bytes()),
      kReadError);
}

TEST(PngDamagedFiles, TrailingDataAndChecksumAfterTheLastRowAreIgnored) {
  Bytes badChecksum = testing_support::Deflate(RgbRows(4, 3));
  badChecksum.back() ^= 0xFF;
  ExpectIntact(DecodePng(Start().Idat(badChecksum).Iend().bytes()));
  ExpectIntact(DecodePng(Start().Idat(testing_support::Deflate(RgbRows(4, 5))).Iend().bytes()));
}

TEST(PngHostileFiles, HugeDimensionsFailBeforeAllocating) {
  for (const auto& [width, height] : {std::pair{0x80000000u, 1u}, std::pair{1u, 0xFFFFFFFFu},
                                      std::pair{100000u, 100000u}, std::pair{1u << 25, 1u}}) {
    const Bytes file = PngChunkWriter().Ihdr(width, height, 8, 0).Idat({0x78, 0x9C}).bytes();
    EXPECT_EQ(DecodeError(file), "Picture too large");
  }
}

TEST(PngHostileFiles, ImageDataTooShortForThePictureFailsWithoutAllocatingIt) {
  const Bytes file = PngChunkWriter()
                         .Ihdr(10000, 10000, 8, 6)
                         .Idat(testing_support::Deflate(RgbRows(4, 3)))
                         .Iend()
                         .bytes();
  EXPECT_EQ(DecodeError(file), kReadError);
}

// Random damage to valid files of several kinds must end in a picture or a decode error.
TEST(PngHostileFiles, RandomDamageNeverCrashes) {
  using testing_support::SampleImage;
  const std::vector<Bytes> seeds = {
      testing_support::WriteWithLibpng(13, 11, 2, 3, true, SampleImage::Make(13, 11, 2, 3).Rows(),
                                       testing_support::TestPalette(4)),
      testing_support::WriteWithLibpng(9, 7, 16, 6, true, SampleImage::Make(9, 7, 16, 6).Rows()),
      Start().Idat(testing_support::Deflate(RgbRows(4, 3))).Iend().bytes()};
  std::mt19937 random(1234);
  for (int round = 0; round < 3000; ++round) {
    Bytes file = seeds[round % seeds.size()];
    const int damage = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < damage; ++i)
      file[8 + random() % (file.size() - 8)] = static_cast<std::uint8_t>(random());
    if (random() % 3 == 0) file.resize(8 + random() % (file.size() - 8));
    try {
      DecodePng(file);
    } catch (const ImageError&) {
    }
  }
}

}  // namespace
}  // namespace mirelay

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "imaging/png/png_read.h"
#include "imaging/png/png_write.h"
#include "tests/imaging/png/png_chunk_writer.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::ParseChunks;

constexpr PngTime kTime{2026, 12, 8, 16, 5, 9};

Bitmap NoisyImage(int width, int height, unsigned seed, int noise = 256) {
  Bitmap image(PixelFormat::kBits24, width, height);
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.RowPointer(y);
    for (int x = 0; x < 3 * width; ++x)
      row[x] = static_cast<std::uint8_t>(x + y + random() % noise);
  }
  return image;
}

// The image data the file should carry: filter byte 0, then red, green, blue per pixel.
Bytes FilterNoneRows(const Bitmap& image) {
  Bytes raw;
  for (int y = 0; y < image.Height(); ++y) {
    raw.push_back(0);
    const std::uint8_t* row = image.RowPointer(y);
    for (int x = 0; x < image.Width(); ++x)
      raw.insert(raw.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  }
  return raw;
}

std::vector<Bytes> IdatData(const Bytes& file) {
  std::vector<Bytes> data;
  for (const auto& chunk : ParseChunks(file)) {
    if (chunk.type == "IDAT") data.push_back(chunk.data);
  }
  return data;
}

Bytes Joined(const std::vector<Bytes>& pieces) {
  Bytes joined;
  for (const auto& piece : pieces) joined.insert(joined.end(), piece.begin(), piece.end());
  return joined;
}

void ExpectSameWorkingImage(const Bitmap& decoded, const Bitmap& saved) {
  ASSERT_EQ(decoded.Format(), PixelFormat::kBits24);
  ASSERT_EQ(decoded.Width(), saved.Width());
  ASSERT_EQ(decoded.Height(), saved.Height());
  for (int y = 0; y < saved.Height(); ++y) {
    ASSERT_TRUE(std::equal(saved.RowPointer(y), saved.RowPointer(y) + 3 * saved.Width(),
                           decoded.RowPointer(y)))
        << "row " << y;
  }
}

TEST(PngOutputLayout, ChunksComeInTheFixedOrderWithTheirFixedContents) {
  const Bytes file = EncodePng(NoisyImage(5, 3, 1), kTime);
  ASSERT_TRUE(std::equal(testing_support::kPngSignature.begin(),
                         testing_support::kPngSignature.end(), file.begin()));
  const auto chunks = ParseChunks(file);
  std::vector<std::string> types;
  for (const auto& chunk : chunks) {
    types.push_back(chunk.type);
    EXPECT_EQ(chunk.crc, testing_support::ChunkCrc(chunk.type, chunk.data)) << chunk.type;
  }
  EXPECT_EQ(types,
            (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tpNG", "gAMA", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[0].data, (Bytes{0, 0, 0, 5, 0, 0, 0, 3, 8, 2, 0, 0, 0}));
  EXPECT_EQ(chunks[1].data, (Bytes{0x07, 0xEA, 12, 8, 16, 5, 9}));
  const std::string software(chunks[2].data.begin(), chunks[2].data.end());
  EXPECT_EQ(software.size(), 23u);
  EXPECT_EQ(software.substr(0, 9), std::string("Software") + '\0');
  EXPECT_NE(software.find("3.4"), std::string::npos);
  EXPECT_EQ(chunks[3].data, (Bytes{'Q', 'X', 'V', '3', 0, 0, 0, 0}));
  EXPECT_EQ(chunks[4].data, (Bytes{0x00, 0x00, 0xB1, 0x8F}));
  EXPECT_TRUE(chunks[6].data.empty());
  std::size_t total = 8;
  for (const auto& chunk : chunks) total += 12 + chunk.data.size();
  EXPECT_EQ(total, file.size());
}

TEST(PngOutputLayout, ImageDataIsOneZlibStreamCutInto32768ByteChunks) {
  const Bitmap image = NoisyImage(300, 250, 2);
  const auto pieces = IdatData(EncodePng(image, kTime));
  ASSERT_GT(pieces.size(), 2u);
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i].size(), 32768u);
  EXPECT_GT(pieces.back().size(), 0u);
  EXPECT_LE(pieces.back().size(), 32768u);
  EXPECT_EQ(Joined(pieces), testing_support::Deflate(FilterNoneRows(image)));
}

// One row whose first bytes are random and the rest zero: each random byte adds about one
// byte of compressed data, so for some seed and length the stream is exactly `target` long.
Bitmap ImageCompressingTo(std::size_t target) {
  constexpr int kWidth = 11000;
  for (unsigned seed = 1; seed < 10; ++seed) {
    Bitmap image(PixelFormat::kBits24, kWidth, 1);
    std::uint8_t* row = image.RowPointer(0);
    std::mt19937 random(seed);
    const std::size_t longest = target + 100;
    std::generate(row, row + longest, [&] { return static_cast<std::uint8_t>(random()); });
    for (std::size_t noisy = longest; noisy > target - 200; row[--noisy] = 0) {
      if (testing_support::Deflate(FilterNoneRows(image)).size() == target) return image;
    }
  }
  return Bitmap();
}

TEST(PngOutputLayout, DataOfExactly32768BytesMakesOneChunkAndNoEmptyOne) {
  const Bitmap image = ImageCompressingTo(32768);
  ASSERT_TRUE(image.HasPixels()) << "no noise length compresses to 32768 bytes";
  const auto chunks = ParseChunks(EncodePng(image, kTime));
  ASSERT_EQ(chunks.size(), 7u);
  EXPECT_EQ(chunks[5].type, "IDAT");
  EXPECT_EQ(chunks[5].data.size(), 32768u);
  EXPECT_EQ(chunks[6].type, "IEND");
}

TEST(PngOutputLayout, SavingTwiceDiffersOnlyInTheTimeStamp) {
  const Bitmap image = NoisyImage(40, 30, 3);
  const Bytes first = EncodePng(image, kTime);
  const Bytes second = EncodePng(image, PngTime{2027, 1, 2, 3, 4, 5});
  ASSERT_EQ(first.size(), second.size());
  const std::size_t timeData = 8 + 25 + 8;
  for (std::size_t i = 0; i < first.size(); ++i) {
    if (i < timeData || i >= timeData + 7 + 4) {
      EXPECT_EQ(first[i], second[i]) << "byte " << i;
    }
  }
  EXPECT_NE(first, second);
}

TEST(PngOutputLayout, OnePixelIsOneChunkInflatingToItsRow) {
  Bitmap image(PixelFormat::kBits24, 1, 1);
  image.RowPointer(0)[0] = 3;
  image.RowPointer(0)[1] = 2;
  image.RowPointer(0)[2] = 1;
  const auto pieces = IdatData(EncodePng(image, kTime));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0][0], 0x78);
  EXPECT_EQ(pieces[0][1], 0x9C);
  EXPECT_EQ(testing_support::Inflate(pieces[0]), (Bytes{0, 1, 2, 3}));
}

TEST(PngOutputLayout, EmptyImageHasZeroSizeAndTheEmptyStream) {
  for (const Bitmap& empty : {Bitmap(), Bitmap(PixelFormat::kBits24, 0, 0)}) {
    const Bytes file = EncodePng(empty, kTime);
    const auto chunks = ParseChunks(file);
    EXPECT_EQ(chunks[0].data, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0}));
    EXPECT_EQ(IdatData(file),
              (std::vector<Bytes>{{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}}));
    const Bitmap decoded = DecodePng(file);
    EXPECT_EQ(decoded.Width(), 0);
    EXPECT_EQ(decoded.Height(), 0);
  }
}

class PngRoundTrip : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(PngRoundTrip, EveryWrittenFileDecodesToTheSavedWorkingImage) {
  const auto [width, height] = GetParam();
  const Bitmap image = NoisyImage(width, height, static_cast<unsigned>(width * 131 + height), 40);
  const Bitmap decoded = DecodePng(EncodePng(image, kTime));
  ExpectSameWorkingImage(decoded, image);
  EXPECT_FALSE(decoded.transparency.enabled);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngRoundTrip,
                         ::testing::Values(std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 5},
                                           std::pair{17, 9}, std::pair{641, 3},
                                           std::pair{1000, 120}));

TEST(PngEncoderInput, OtherFormatsAreEncodedFromA24BitCopy) {
  Bitmap indexed(PixelFormat::kIndexed4, 3, 2);
  indexed.colorTable = {{1, 2, 3, 0}, {40, 50, 60, 0}};
  indexed.RowPointer(0)[0] = 0x10;
  indexed.RowPointer(1)[1] = 0x01;
  const Bitmap before = indexed;
  Bitmap working = indexed;
  ConvertTo24Bit(working);
  EXPECT_EQ(EncodePng(indexed, kTime), EncodePng(working, kTime));
  EXPECT_EQ(indexed.Format(), PixelFormat::kIndexed4);
  EXPECT_TRUE(std::ranges::equal(indexed.PixelMemory(), before.PixelMemory()));
}

TEST(PngEncoderInput, TopDownPicturesAreWrittenTopRowFirst) {
  Bitmap topDown(PixelFormat::kBits24, 2, 2, StorageOrder::kTopDown);
  topDown.RowPointer(0)[0] = 9;
  const Bitmap decoded = DecodePng(EncodePng(topDown, kTime));
  ExpectSameWorkingImage(decoded, topDown);
}

}  // namespace
}  // namespace mirelay

#include <gtest/gtest.h>

#include <functional>

#include "imaging/gif/gif_read.h"
#include "imaging/image_error.h"
#include "tests/imaging/gif/gif_block_writer.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::GifBlockWriter;
using testing_support::LiteralCodes;
using testing_support::PackCodes;

const GifColorTable kFourColors{{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {255, 0, 255}};

// A 3 x 2 frame, transparent with index 3 when asked, whose data the test appends.
GifBlockWriter FrameStart(bool transparent) {
  GifBlockWriter gif;
  gif.Start(3, 2, kFourColors);
  if (transparent) gif.GraphicControl(0x01, 0, 3);
  gif.Descriptor(0, 0, 3, 2);
  return gif;
}

TEST(GifPixels, LiteralCodesDecodeInRowOrder) {
  const Bytes indices{0, 1, 2, 3, 2, 1};
  const auto image = DecodeGifImage(FrameStart(false).Pixels(indices).Trailer().bytes());
  EXPECT_EQ(image.frames.at(0).indices, indices);
}

Bytes InterlacedOrder(const Bytes& rowValues) {
  Bytes order;
  const int height = static_cast<int>(rowValues.size());
  for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
    for (int row = start; row < height; row += step) order.push_back(rowValues[row]);
  }
  return order;
}

TEST(GifPixels, InterlacedRowsLandInDisplayOrder) {
  for (std::uint16_t height = 1; height <= 17; ++height) {
    // Each row holds its own number, modulo the table size, in both of its pixels.
    Bytes rowValues, displayed;
    for (int row = 0; row < height; ++row) rowValues.push_back(static_cast<std::uint8_t>(row % 4));
    for (const auto value : rowValues) displayed.insert(displayed.end(), {value, value});
    Bytes stored;
    for (const auto value : InterlacedOrder(rowValues)) stored.insert(stored.end(), {value, value});
    auto bytes = GifBlockWriter()
                     .Start(2, height, kFourColors)
                     .Descriptor(0, 0, 2, height, 0x40)
                     .Pixels(stored)
                     .Trailer();
    EXPECT_EQ(DecodeGifImage(bytes.bytes()).frames.at(0).indices, displayed) << height;
  }
}

TEST(GifPixels, DataEndingEarlyLeavesThePreFill) {
  // Four literals take exactly three bytes, so no padding bits decode as a fifth pixel.
  const Bytes four{1, 2, 1, 2};
  const auto cutByEndCode = [&](GifBlockWriter gif) { return gif.Pixels(four).Trailer(); };
  const auto cutByEmptyBlock = [&](GifBlockWriter gif) {
    return gif.ImageData(2, LiteralCodes(four, 2, false)).Trailer();
  };
  const auto cutByEndOfFile = [&](GifBlockWriter gif) {
    // The length byte promises 200 bytes; the three that are left are used.
    const Bytes codes = LiteralCodes(four, 2, false);
    return gif.Raw({2, 200}).Raw(codes);
  };
  for (const bool transparent : {false, true}) {
    const std::uint8_t fill = transparent ? 3 : 0;
    const Bytes expected{1, 2, 1, 2, fill, fill};
    for (const auto& cut : {std::function<GifBlockWriter(GifBlockWriter)>(cutByEndCode),
                            std::function<GifBlockWriter(GifBlockWriter)>(cutByEmptyBlock),
                            std::function<GifBlockWriter(GifBlockWriter)>(cutByEndOfFile)}) {
      const auto image = DecodeGifImage(cut(FrameStart(transparent)).bytes());
      EXPECT_EQ(image.frames.at(0).indices, expected) << transparent;
    }
  }
  // No data at all.
  EXPECT_EQ(DecodeGifImage(FrameStart(true).bytes()).frames.at(0).indices, Bytes(6, 3));
}

TEST(GifPixels, SubBlocksAfterTheEndCodeAreSkipped) {
  const Bytes codes = LiteralCodes({1, 2}, 2);
  auto bytes = FrameStart(false)
                   .Raw({2, static_cast<std::uint8_t>(codes.size())})
                   .Raw(codes)
                   .Raw({4, 0x3B, 0x21, 0x2C, 0x99, 0x00})
                   .Descriptor(0, 0, 3, 2)
                   .Pixels({3, 3, 3, 3, 3, 3})
                   .Trailer();
  const auto image = DecodeGifImage(bytes.bytes());
  ASSERT_EQ(image.frames.size(), 2u);
  EXPECT_EQ(image.frames[0].indices, (Bytes{1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(image.frames[1].indices, Bytes(6, 3));
}

TEST(GifPixels, SelfReferencingCodeChainFailsTheLoad) {
  // Code size 2: clear 4, end 5, first free entry 6. Code 7 arrives before it exists, so
  // entry 7 is then defined with 7 as its own prefix; using it again never reaches a pixel.
  const Bytes codes = PackCodes({{4, 3}, {0, 3}, {7, 3}, {1, 3}, {7, 4}});
  auto bytes = GifBlockWriter()
                   .Start(4, 4, kFourColors)
                   .Descriptor(0, 0, 4, 4)
                   .ImageData(2, codes)
                   .Trailer();
  try {
    DecodeGifImage(bytes.bytes());
    FAIL() << "loaded";
  } catch (const ImageError& error) {
    EXPECT_STREQ(error.what(), "Circular decoder table entry");
  }
}

TEST(GifPixels, CodeSizeAboveEightEndsTheFrameBeforeItsFirstPixel) {
  auto bytes = FrameStart(true)
                   .ImageData(9, {0xFF, 0xFF, 0xFF})
                   .Descriptor(0, 0, 3, 2)
                   .Pixels({1, 1, 1, 1, 1, 1})
                   .Trailer();
  const auto image = DecodeGifImage(bytes.bytes());
  ASSERT_EQ(image.frames.size(), 2u);
  EXPECT_EQ(image.frames[0].indices, Bytes(6, 3));
  EXPECT_EQ(image.frames[1].indices, Bytes(6, 1));
}

TEST(GifPixels, IndicesBeyondTheTableAreKeptAsDecoded) {
  auto bytes = GifBlockWriter()
                   .Start(2, 1, {{0, 0, 0}, {9, 9, 9}})
                   .Descriptor(0, 0, 2, 1)
                   .Pixels({7, 255}, 8)
                   .Trailer();
  EXPECT_EQ(DecodeGifImage(bytes.bytes()).frames.at(0).indices, (Bytes{7, 255}));
}

}  // namespace
}  // namespace mirelay

#include "imaging/gif/gif_read.h"

#include <gtest/gtest.h>

#include <functional>

#include "imaging/image_error.h"
#include "tests/imaging/gif/gif_block_writer.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::GifBlockWriter;

const GifColorTable kFourColors{{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {255, 0, 255}};

// The error text of reading `bytes`, or "" when they load.
std::string ReadFailure(const Bytes& bytes) {
  try {
    DecodeGifImage(bytes);
    return "";
  } catch (const ImageError& error) {
    return error.what();
  }
}

GifBlockWriter TwoByTwo() { return GifBlockWriter().Start(2, 2, kFourColors); }

TEST(GifStructure, HeaderScreenAndTrailerGiveAGraphicWithoutFrames) {
  const auto image =
      DecodeGifImage(GifBlockWriter().Header().Screen(7, 5, 0x00, 3, 49).Trailer().bytes());
  EXPECT_EQ(image.width, 7);
  EXPECT_EQ(image.height, 5);
  EXPECT_EQ(image.backgroundIndex, 3);
  EXPECT_EQ(image.aspect, 49);
  EXPECT_TRUE(image.frames.empty());
  EXPECT_TRUE(image.globalColorTable.empty());
}

TEST(GifStructure, VersionBytesAreNotExamined) {
  const auto bytes = GifBlockWriter()
                         .Header("xyz")
                         .Screen(2, 2, 0x81)
                         .Colors(kFourColors)
                         .Descriptor(0, 0, 2, 2)
                         .Pixels({0, 1, 2, 3})
                         .Trailer()
                         .bytes();
  const auto image = DecodeGifImage(bytes);
  ASSERT_EQ(image.frames.size(), 1u);
  EXPECT_EQ(image.frames[0].indices, (Bytes{0, 1, 2, 3}));
  EXPECT_EQ(image.globalColorTable, kFourColors);
}

TEST(GifStructure, ReadingEndsQuietlyAtStrayBytesOrWithoutTrailer) {
  const auto frame = [] { return TwoByTwo().Descriptor(0, 0, 2, 2).Pixels({1, 1, 1, 1}); };
  // A stray byte hides everything after it, a second frame included.
  auto stray = frame().Raw({0x99}).Descriptor(0, 0, 2, 2).Pixels({2, 2, 2, 2}).Trailer();
  EXPECT_EQ(DecodeGifImage(stray.bytes()).frames.size(), 1u);
  EXPECT_EQ(DecodeGifImage(frame().bytes()).frames.size(), 1u);
  // Zero bytes between blocks are skipped.
  auto padded = frame().Raw({0x00, 0x00}).Descriptor(0, 0, 2, 2).Pixels({2, 2, 2, 2}).Trailer();
  const auto image = DecodeGifImage(padded.bytes());
  ASSERT_EQ(image.frames.size(), 2u);
  EXPECT_EQ(image.frames[1].indices, (Bytes{2, 2, 2, 2}));
}

TEST(GifStructure, ExtensionsWithoutAnImageMakeAnEmptyFrame) {
  for (const std::uint8_t next : {0x3B, 0x00}) {
    auto bytes = TwoByTwo().GraphicControl(0x00, 7, 0).Raw({next}).bytes();
    const auto image = DecodeGifImage(bytes);
    ASSERT_EQ(image.frames.size(), 1u) << int(next);
    EXPECT_TRUE(image.frames[0].Empty());
    EXPECT_EQ(image.frames[0].GraphicControl()->delay, 7);
  }
  const auto atEnd = DecodeGifImage(TwoByTwo().GraphicControl(0x00, 7, 0).bytes());
  ASSERT_EQ(atEnd.frames.size(), 1u);
  EXPECT_TRUE(atEnd.frames[0].Empty());
}

TEST(GifStructure, AfterExtensionsAnyByteStandsForTheImageSeparator) {
  auto bytes = TwoByTwo()
                   .GraphicControl(0x00, 0, 0)
                   .Descriptor(0, 0, 2, 2, 0, 0x99)
                   .Pixels({3, 2, 1, 0})
                   .Trailer();
  const auto image = DecodeGifImage(bytes.bytes());
  ASSERT_EQ(image.frames.size(), 1u);
  EXPECT_EQ(image.frames[0].indices, (Bytes{3, 2, 1, 0}));
}

TEST(GifStructure, FrameGeometryLocalTableAndZeroSize) {
  const GifColorTable local{{1, 2, 3}, {4, 5, 6}};
  auto bytes = GifBlockWriter()
                   .Header()
                   .Screen(3, 2)
                   .Descriptor(60000, 7, 2, 1, 0xC0)
                   .Colors(local)
                   .Pixels({1, 0})
                   .Descriptor(1, 1, 0, 5)
                   .Pixels({1, 1, 1, 1, 1, 1})
                   .Trailer();
  const auto image = DecodeGifImage(bytes.bytes());
  ASSERT_EQ(image.frames.size(), 2u);
  const auto& placed = image.frames[0];
  // A frame may lie outside the logical screen.
  EXPECT_EQ(placed.left, 60000);
  EXPECT_EQ(placed.top, 7);
  EXPECT_TRUE(placed.interlaced);
  EXPECT_EQ(placed.localColorTable, local);
  EXPECT_EQ(&image.ActiveColorTable(placed), &placed.localColorTable);
  const auto& zeroSized = image.frames[1];
  EXPECT_EQ(zeroSized.width, 3);
  EXPECT_EQ(zeroSized.height, 2);
  EXPECT_EQ(zeroSized.indices, (Bytes{1, 1, 1, 1, 1, 1}));
  EXPECT_TRUE(image.ActiveColorTable(zeroSized).empty());
}

TEST(GifStructure, CutShortPartsFailWithPrematureEnd) {
  const Bytes full =
      TwoByTwo()
          .Extension(0x01, {12, 0, 0, 0, 0, 2, 2, 1, 1, 0, 0, 0, 0, 3, 'a', 'b', 'c', 0})
          .Extension(0xFE, {2, 'h', 'i', 0})
          .Descriptor(0, 0, 2, 2, 0x80)
          .Colors({{9, 9, 9}, {8, 8, 8}})
          .Pixels({0, 1, 1, 0})
          .Trailer()
          .bytes();
  ASSERT_EQ(ReadFailure(full), "");
  // Where the file ends: inside the header, screen, global table, plain-text header, plain-text
  // sub-block, comment sub-block, image descriptor and local table.
  for (const std::size_t length : {5, 12, 20, 35, 42, 49, 55, 63}) {
    const Bytes cut(full.begin(), full.begin() + length);
    EXPECT_EQ(ReadFailure(cut), "Premature end of data") << length;
  }
}

TEST(GifStructure, ExtensionContents) {
  auto bytes = TwoByTwo()
                   .Extension(0xFE, {5, 'h', 'e', 'l', 'l', 'o', 2, 'o', 'k', 0})
                   .Extension(0x01, {12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 2, 'p', 't', 0})
                   .GraphicControl(0x00, 300, 9)
                   .GraphicControl(0x0F, 0, 2)
                   .Descriptor(0, 0, 2, 2)
                   .Pixels({0, 0, 0, 0})
                   .Trailer();
  const auto image = DecodeGifImage(bytes.bytes());
  ASSERT_EQ(image.frames.size(), 1u);
  const auto& frame = image.frames[0];
  ASSERT_EQ(frame.extensions.size(), 4u);
  EXPECT_EQ(std::get<GifCommentExtension>(frame.extensions[0]).lines,
            (std::vector<std::string>{"hello", "ok"}));
  const auto& text = std::get<GifPlainTextExtension>(frame.extensions[1]);
  EXPECT_EQ(text.header[0], 12);
  EXPECT_EQ(text.header[12], 12);
  EXPECT_EQ(text.lines, (std::vector<std::string>{"pt"}));
  // The flag of any control extension counts; the index comes from the first.
  EXPECT_TRUE(frame.Transparent());
  EXPECT_EQ(frame.TransparentIndex(), 9);
  EXPECT_EQ(frame.GraphicControl()->delay, 300);
  const auto& second = std::get<GifGraphicControlExtension>(frame.extensions[3]);
  EXPECT_EQ(second.disposal, 3);
  EXPECT_TRUE(second.userInput);
}

TEST(GifStructure, GraphicControlIsAlwaysSixBytes) {
  // The block-size byte says 2, yet six bytes are taken and the frame follows them.
  auto bytes = TwoByTwo()
                   .GraphicControl(0x05, 0x0102, 3, 2)
                   .Descriptor(0, 0, 2, 2)
                   .Pixels({1, 2, 3, 0})
                   .Trailer();
  const auto image = DecodeGifImage(bytes.bytes());
  ASSERT_EQ(image.frames.size(), 1u);
  const auto* control = image.frames[0].GraphicControl();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->delay, 0x0102);
  EXPECT_EQ(control->disposal, 1);
  EXPECT_EQ(control->transparentIndex, 3);
  EXPECT_EQ(image.frames[0].indices, (Bytes{1, 2, 3, 0}));
  // Cut short by the end of the file: what was read stands.
  const auto cut = DecodeGifImage(TwoByTwo().Raw({0x21, 0xF9, 0x04, 0x01, 0x10}).bytes());
  ASSERT_EQ(cut.frames.size(), 1u);
  EXPECT_TRUE(cut.frames[0].Transparent());
  EXPECT_EQ(cut.frames[0].GraphicControl()->delay, 0x10);
}

TEST(GifStructure, UnknownLabelsAreRejected) {
  EXPECT_EQ(ReadFailure(TwoByTwo().Extension(0x02, {0}).Trailer().bytes()),
            "Unknown extension type");
}

Bytes AppExtension(std::uint8_t blockSize, std::string identifier, const Bytes& data) {
  Bytes body{blockSize};
  body.insert(body.end(), identifier.begin(), identifier.end());
  body.insert(body.end(), data.begin(), data.end());
  return body;
}

TEST(GifApplicationExtension, BlockSizeDecidesTheKind) {
  for (int size = 0; size <= 9; ++size) {
    auto bytes = TwoByTwo().Extension(0xFF, AppExtension(size, std::string(size, 'x'), {0}));
    EXPECT_EQ(ReadFailure(bytes.Trailer().bytes()), "Unsupported Application Extension block size")
        << size;
  }
  for (int size : {12, 255}) {
    auto bytes = TwoByTwo().Extension(0xFF, AppExtension(size, std::string(size, 'x'), {0}));
    EXPECT_NE(ReadFailure(bytes.Trailer().bytes()), "") << size;
  }
  auto ten = TwoByTwo().Extension(0xFF, AppExtension(10, "ABCDEFGHIJ", {2, 7, 8, 0})).Trailer();
  const auto image = DecodeGifImage(ten.bytes());
  ASSERT_EQ(image.frames.size(), 1u);
  const auto& unknown = std::get<GifUnknownApplicationExtension>(image.frames[0].extensions[0]);
  EXPECT_EQ(unknown.identifier, "ABCDEFGHIJ");
  EXPECT_EQ(unknown.data, (std::vector<Bytes>{{7, 8}}));
}

TEST(GifApplicationExtension, LoopIdentifiersAreComparedWhole) {
  const Bytes loopData{3, 1, 0x34, 0x12, 5, 2, 1, 2, 3, 4, 2, 7, 9, 0};
  for (const std::string identifier : {"NETSCAPE2.0", "ANIMEXTS1.0"}) {
    auto bytes = TwoByTwo().Extension(0xFF, AppExtension(11, identifier, loopData)).Trailer();
    const auto image = DecodeGifImage(bytes.bytes());
    const auto* loop = image.frames.at(0).LoopExtension();
    ASSERT_NE(loop, nullptr) << identifier;
    EXPECT_EQ(loop->loopCount, 0x1234);
    EXPECT_EQ(loop->bufferSize, 0x04030201u);
  }
  auto other = TwoByTwo().Extension(0xFF, AppExtension(11, "NETSCAPE2.1", loopData)).Trailer();
  const auto image = DecodeGifImage(other.bytes());
  EXPECT_EQ(image.frames.at(0).LoopExtension(), nullptr);
  EXPECT_EQ(std::get<GifUnknownApplicationExtension>(image.frames[0].extensions[0]).data.size(),
            3u);
}

TEST(GifApplicationExtension, LoopSubBlocksTooShortForTheirKind) {
  for (const Bytes& data : {Bytes{2, 1, 5, 0}, Bytes{4, 2, 1, 2, 3, 0}, Bytes{1, 0x09, 0}}) {
    auto bytes = TwoByTwo().Extension(0xFF, AppExtension(11, "NETSCAPE2.0", data)).Trailer();
    EXPECT_EQ(ReadFailure(bytes.bytes()), "Invalid GIF data");
  }
  // Other kinds are skipped whatever their length.
  auto skipped = TwoByTwo().Extension(0xFF, AppExtension(11, "NETSCAPE2.0", {1, 3, 0})).Trailer();
  EXPECT_EQ(ReadFailure(skipped.bytes()), "");
}

TEST(GifLimits, FramesBeyondThePixelCapFailBeforeAllocating) {
  for (const std::uint16_t height : {65535, 16385}) {
    auto bytes = GifBlockWriter().Header().Screen(1, 1).Descriptor(0, 0, 65535, height).Pixels({0});
    EXPECT_EQ(ReadFailure(bytes.bytes()), "Picture too large") << height;
  }
}

// A frame keeps what can reach the screen: its part on it, on a palette display also the columns
// whose dithering errors reach it, and all of a frame of the screen's size wherever it lies.
TEST(GifLimits, FramesKeepOnlyWhatCanReachTheScreen) {
  struct Case {
    std::uint16_t left, top, width, height;
    bool paletteDisplay;
    std::uint16_t keptWidth, keptHeight;
  };
  Bytes pixels(5 * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 4;
  for (const Case c : {Case{0, 0, 5, 4, false, 3, 2}, Case{1, 1, 5, 4, false, 2, 1},
                       Case{0, 0, 5, 4, true, 4, 2}, Case{3, 0, 5, 4, false, 0, 0},
                       Case{1, 1, 3, 2, false, 3, 2}, Case{0, 0, 51400, 12850, false, 3, 2}}) {
    const auto bytes = GifBlockWriter()
                           .Start(3, 2, kFourColors)
                           .Descriptor(c.left, c.top, c.width, c.height)
                           .Pixels(pixels)
                           .Trailer();
    DecodeOptions options;
    options.paletteDisplay = c.paletteDisplay;
    const auto frame = DecodeGifImage(bytes.bytes(), KeptFrames::kFirst, options).frames.at(0);
    EXPECT_EQ(frame.keptWidth, c.keptWidth) << c.left << " " << c.width;
    EXPECT_EQ(frame.keptHeight, c.keptHeight) << c.left << " " << c.width;
    Bytes kept;
    for (std::size_t row = 0; row < c.keptHeight; ++row) {
      for (std::size_t x = 0; x < c.keptWidth; ++x) {
        const std::size_t at = row * c.width + x;
        kept.push_back(at < pixels.size() ? pixels[at] : 0);
      }
    }
    EXPECT_EQ(frame.indices, kept) << c.left << " " << c.width;
  }
}

}  // namespace
}  // namespace mirelay

#include <gtest/gtest.h>

#include "batch/overlay.h"
#include "files/output_file.h"
#include "imaging/gif/gif_image.h"
#include "imaging/gif/gif_read.h"
#include "imaging/image_error.h"
#include "imaging/image_lib.h"
#include "tests/imaging/gif/gif_block_writer.h"
#include "tests/imaging/pixel_cap.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::GifBlockWriter;
using testing_support::PackCodes;
using testing_support::ScopedPixelCap;
using testing_support::TempDir;

const GifColorTable kColors{{255, 255, 255}, {200, 0, 0}, {0, 0, 200}, {0, 0, 0}};

std::string WriteGifFile(const TempDir& folder, const std::string& name, const Bytes& bytes) {
  const auto path = folder.Path(name);
  WriteWholeFile(path, bytes);
  return path;
}

Bytes SolidGif(std::uint16_t width, std::uint16_t height, const Bytes& indices) {
  return GifBlockWriter()
      .Start(width, height, kColors)
      .Descriptor(0, 0, width, height)
      .Pixels(indices)
      .Trailer()
      .bytes();
}

const std::uint8_t* Pixel(const Bitmap& bitmap, int x, int row) {
  return bitmap.RowPointer(row) + 3 * x;
}

TEST(GifDispatch, LoadsThroughFormatCodeTwo) {
  TempDir folder;
  Bitmap bitmap;
  const auto path = WriteGifFile(folder, "picture.png", SolidGif(2, 1, {1, 2}));
  ASSERT_EQ(LoadImageToBitmap(path, bitmap), kFormatGif);
  ConvertTo24Bit(bitmap);
  ASSERT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(Pixel(bitmap, 0, 0)[2], 200);
  EXPECT_EQ(Pixel(bitmap, 1, 0)[0], 200);

  // A rejected file leaves the working image alone; a file without frames empties it.
  auto rejected = GifBlockWriter().Start(2, 1, kColors).Extension(0x02, {0}).Trailer();
  EXPECT_EQ(LoadImageToBitmap(WriteGifFile(folder, "bad.gif", rejected.bytes()), bitmap),
            kFormatUnknown);
  EXPECT_EQ(bitmap.Width(), 2);
  const auto empty = GifBlockWriter().Header().Screen(2, 1).Trailer();
  EXPECT_EQ(LoadImageToBitmap(WriteGifFile(folder, "empty.gif", empty.bytes()), bitmap),
            kFormatGif);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
}

TEST(GifDispatch, AnimatedPartCompositesThroughMergePair) {
  TempDir folder;
  const auto base = WriteGifFile(folder, "base.gif", SolidGif(3, 2, {2, 2, 2, 2, 2, 2}));
  // Frame 0 keys on white (index 0) and paints one red pixel; frame 1 would paint all black.
  auto part = GifBlockWriter()
                  .Start(2, 2, kColors)
                  .Descriptor(0, 0, 2, 2)
                  .Pixels({0, 0, 0, 1})
                  .Descriptor(0, 0, 2, 2)
                  .Pixels({3, 3, 3, 3})
                  .Trailer();
  const auto partPath = WriteGifFile(folder, "part.gif", part.bytes());
  Bitmap baseBitmap, partBitmap;
  ASSERT_TRUE(MergePair(base, partPath, baseBitmap, partBitmap, 0));
  EXPECT_EQ(Pixel(baseBitmap, 0, 0)[0], 200);
  EXPECT_EQ(Pixel(baseBitmap, 1, 1)[2], 200);
  EXPECT_EQ(Pixel(baseBitmap, 2, 1)[0], 200);
}

// Frames of `side` x `side` indices: frame 0 red, the later ones blue.
GifBlockWriter Animation(int frames, std::uint16_t side = 2) {
  const auto area = std::size_t{side} * side;
  auto writer = GifBlockWriter()
                    .Start(side, side, kColors)
                    .Descriptor(0, 0, side, side)
                    .Pixels(Bytes(area, 1));
  for (int frame = 1; frame < frames; ++frame)
    writer.Descriptor(0, 0, side, side).Pixels(Bytes(area, 2));
  return writer;
}

// A cap of 16384 bytes holds four 64 x 64 frames and one 64 x 64 working image; the files,
// at six bits an index, stay under it.
TEST(GifLongAnimation, FramesBeyondTheCapLeaveFrameZeroShowing) {
  TempDir folder;
  const ScopedPixelCap cap(4 * 64 * 64);
  const auto fits = WriteGifFile(folder, "four.gif", Animation(4, 64).Trailer().bytes());
  const auto beyond = WriteGifFile(folder, "five.gif", Animation(5, 64).Trailer().bytes());
  Bitmap bitmap;
  ASSERT_EQ(LoadImageToBitmap(beyond, bitmap), kFormatGif);
  ConvertTo24Bit(bitmap);
  EXPECT_EQ(Pixel(bitmap, 1, 1)[2], 200);
  // The preview's graphic animates what fits and keeps frame 0 alone otherwise.
  EXPECT_EQ(DecodeGifImage(ReadWholeFile(fits)).frames.size(), 4u);
  const auto image = DecodeGifImage(ReadWholeFile(beyond));
  ASSERT_EQ(image.frames.size(), 1u);
  EXPECT_EQ(image.frames[0].indices, Bytes(64 * 64, 1));
}

std::string ReadFailure(const Bytes& bytes, KeptFrames kept) {
  try {
    DecodeGifImage(bytes, kept);
    return "";
  } catch (const ImageError& error) {
    return error.what();
  }
}

// Frames 0 and 1 are fine; what follows them breaks one rule each.
TEST(GifLongAnimation, LaterFramesAreCheckedWithoutBeingKept) {
  const Bytes circular = PackCodes({{4, 3}, {0, 3}, {7, 3}, {1, 3}, {7, 4}});
  const std::vector<std::pair<Bytes, std::string>> cases{
      {Animation(2).Extension(0x02, {0}).Trailer().bytes(), "Unknown extension type"},
      {Animation(2).Descriptor(0, 0, 4, 4).ImageData(2, circular).Trailer().bytes(),
       "Circular decoder table entry"},
      {Animation(2).Raw({0x2C, 0, 0}).bytes(), "Premature end of data"},
      {Animation(2).Extension(0xFF, {5, 'A', 'B', 'C', 'D', 'E', 0}).Trailer().bytes(),
       "Unsupported Application Extension block size"},
  };
  TempDir folder;
  for (const auto& [bytes, message] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(ReadFailure(bytes, KeptFrames::kFirst), message);
    EXPECT_EQ(ReadFailure(bytes, KeptFrames::kAllThatFit), message);
    {
      // Frames 0 and 1 fill the cap, so the third is decoded without being kept.
      const ScopedPixelCap cap(8);
      EXPECT_EQ(ReadFailure(bytes, KeptFrames::kAllThatFit), message);
    }
    const auto path = WriteGifFile(folder, "bad.gif", bytes);
    Bitmap bitmap(PixelFormat::kBits24, 1, 1);
    EXPECT_EQ(LoadImageToBitmap(path, bitmap), kFormatUnknown);
    EXPECT_EQ(bitmap.Width(), 1);
  }
}

TEST(GifDispatch, SavingWithCodeTwoWritesAGif) {
  TempDir folder;
  const auto path = folder.Path("out.gif");
  Bitmap bitmap(PixelFormat::kBits24, 3, 2);
  ASSERT_EQ(SaveBitmapAs(path, &bitmap, kFormatGif), kFormatGif);
  Bitmap loaded;
  EXPECT_EQ(LoadImageToBitmap(path, loaded), kFormatGif);
  EXPECT_EQ(loaded.Width(), 3);
  EXPECT_EQ(loaded.Height(), 2);
}

}  // namespace
}  // namespace mirelay

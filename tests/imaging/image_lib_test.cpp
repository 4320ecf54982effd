#include "imaging/image_lib.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <new>
#include <stdexcept>

#include "files/file_status.h"
#include "imaging/bmp/bmp_write.h"
#include "imaging/image_error.h"
#include "tests/imaging/bmp/bmp_builder.h"
#include "tests/imaging/pixel_cap.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::AllPixels;
using testing_support::Bytes;
using testing_support::Gradient;
using testing_support::TempDir;

struct SignatureCase {
  const char* name;
  std::array<std::uint8_t, 4> start;
  std::int32_t code;
};

class SignatureTest : public testing::TestWithParam<SignatureCase> {};

TEST_P(SignatureTest, FirstBytesNameTheFormat) {
  EXPECT_EQ(DetectFormat(GetParam().start), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Dispatch, SignatureTest,
    testing::Values(SignatureCase{"Bmp", {'B', 'M', 0, 0}, kFormatBmp},
                    SignatureCase{"BmpAnyTail", {'B', 'M', 0xFF, 'x'}, kFormatBmp},
                    SignatureCase{"ReversedBm", {'M', 'B', 0, 0}, kFormatUnknown},
                    SignatureCase{"Gif", {'G', 'I', 'F', '8'}, kFormatGif},
                    SignatureCase{"LowerCaseGif", {'G', 'I', 'f', '8'}, kFormatUnknown},
                    SignatureCase{"Png", {0x89, 'P', 'N', 'G'}, kFormatPng},
                    SignatureCase{"PngWrongLastLetter", {0x89, 'P', 'N', 'X'}, kFormatUnknown},
                    SignatureCase{"PngWithoutHighByte", {0x88, 'P', 'N', 'G'}, kFormatUnknown},
                    SignatureCase{"Jpeg", {0xFF, 0xD8, 0xFF, 0xE0}, kFormatJpeg},
                    SignatureCase{"AnythingAfterFF", {0xFF, 0, 0, 0}, kFormatJpeg},
                    SignatureCase{"Zeros", {0, 0, 0, 0}, kFormatUnknown}),
    [](const auto& info) { return info.param.name; });

class LoadImageTest : public testing::Test {
 protected:
  TempDir folder_;
  const Bitmap previous_ = Gradient(3, 2, 9);
  Bitmap target_ = previous_;

  void ExpectTargetUnchanged() { EXPECT_EQ(AllPixels(target_), AllPixels(previous_)); }
};

TEST_F(LoadImageTest, MissingOrShortFilesGiveZero) {
  EXPECT_EQ(LoadImageToBitmap(folder_.Path("missing.bmp"), target_), kFormatUnknown);
  EXPECT_EQ(LoadImageToBitmap(folder_.Write("short.bmp", {'B', 'M', 0}), target_), kFormatUnknown);
  ExpectTargetUnchanged();
}

TEST_F(LoadImageTest, BmpThatFailsToDecodeGivesZeroAndKeepsTheTarget) {
  EXPECT_EQ(LoadImageToBitmap(folder_.Write("four.bmp", {'B', 'M', 0, 0}), target_),
            kFormatUnknown);
  ExpectTargetUnchanged();
}

TEST_F(LoadImageTest, SignatureDecidesNotTheName) {
  const Bitmap picture = Gradient(4, 3, 200);
  const auto path = folder_.Write("x.png", EncodeBmp(picture));
  EXPECT_EQ(LoadImageToBitmap(path, target_), kFormatBmp);
  EXPECT_EQ(AllPixels(target_), AllPixels(picture));
}

TEST_F(LoadImageTest, UnreadableFileRaisesTheOpenError) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  const auto path = folder_.Write("locked.bmp", EncodeBmp(Gradient(1, 1, 0)));
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  try {
    LoadImageToBitmap(path, target_);
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.what(), "ファイル " + path + " は開けません");
  }
  ExpectTargetUnchanged();
}

// 19000 x 19000 takes 45 MB at one bit per pixel but 1.08 GB at 24 bits, over the 1 GiB cap.
// The pixel rows are left as a hole in the file, so the test writes only the headers.
TEST_F(LoadImageTest, PictureTooLargeForTheWorkingImageFailsInsideTheLoad) {
  testing_support::BmpBuilder huge;
  huge.width = huge.height = 19000;
  huge.bitsPerPixel = 1;
  huge.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  const Bytes headers = huge.Build();
  const auto path = folder_.Write("huge.bmp", headers);
  std::filesystem::resize_file(path, headers.size() + std::size_t{2376} * 19000);
  ASSERT_EQ(MaxPixelBytes(), std::size_t{1} << 30);
  ASSERT_EQ(LoadImageToBitmap(path, target_), kFormatUnknown);
  ExpectTargetUnchanged();
  // A raised cap lets it through.
  const testing_support::ScopedPixelCap raised(std::size_t{2} << 30);
  EXPECT_EQ(LoadImageToBitmap(path, target_), kFormatBmp);
  EXPECT_EQ(target_.Width(), 19000);
}

// The file's size alone decides, before a byte of it is read: a picture padded to exactly the
// cap loads, one byte more is refused, and so is a sparse file of 2.5 GB under the default cap
// (reading it would take seconds and gigabytes).
TEST_F(LoadImageTest, FilesLargerThanThePictureCapAreRefusedUnread) {
  struct Case {
    std::size_t cap;
    std::uintmax_t size;
    bool refused;
  };
  const Bytes picture = EncodeBmp(Gradient(4, 3, 7));
  for (const auto& [cap, size, refused] :
       {Case{1 << 16, 1 << 16, false}, Case{1 << 16, (1 << 16) + 1, true},
        Case{std::size_t{1} << 30, 2'500'000'000, true}}) {
    SCOPED_TRACE(size);
    const testing_support::ScopedPixelCap limit(cap);
    const auto path = folder_.Write("padded.bmp", picture);
    std::filesystem::resize_file(path, size);
    Bitmap bitmap;
    if (!refused) {
      EXPECT_EQ(DecodeImageFile(path, bitmap), kFormatBmp);
      continue;
    }
    try {
      DecodeImageFile(path, bitmap);
      ADD_FAILURE() << "no error";
    } catch (const ImageError& error) {
      EXPECT_EQ(error.what(), kFileTooLarge);
    }
    EXPECT_EQ(LoadImageToBitmap(path, target_), kFormatUnknown);
  }
  ExpectTargetUnchanged();
  // The signature is read first: a huge file of no known format is simply not a picture.
  const auto unknown = folder_.Write("zeros.bmp", {0, 0, 0, 0});
  std::filesystem::resize_file(unknown, 2'500'000'000);
  Bitmap bitmap;
  EXPECT_EQ(DecodeImageFile(unknown, bitmap), kFormatUnknown);
}

TEST_F(LoadImageTest, OnlyRegularFilesAreTried) {
  const auto folder = folder_.Path("folder.bmp");
  std::filesystem::create_directory(folder);
  const auto fifo = folder_.Path("fifo.bmp");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& path : {folder, fifo}) {
    EXPECT_EQ(LoadImageToBitmap(path, target_), kFormatUnknown) << path;
    EXPECT_EQ(DecodeImageFile(path, target_), kFormatUnknown) << path;
  }
  ExpectTargetUnchanged();
}

// Bad input, an unreadable file and exhausted memory are a failed decode; a fault in the
// program is not, and must reach whoever can report it.
TEST(UnlessDecodeFails, CatchesDecodeFailuresOnlyByType) {
  const auto failingWith = [](auto error) { return [error] { throw error; }; };
  EXPECT_EQ(UnlessDecodeFails(kFormatPng, [] {}), kFormatPng);
  EXPECT_EQ(UnlessDecodeFails(kFormatPng, failingWith(ImageError("bad"))), kFormatUnknown);
  EXPECT_EQ(UnlessDecodeFails(kFormatPng, failingWith(FileError("gone", "gone"))), kFormatUnknown);
  EXPECT_EQ(UnlessDecodeFails(kFormatPng, failingWith(std::bad_alloc())), kFormatUnknown);
  EXPECT_THROW(UnlessDecodeFails(kFormatPng, failingWith(std::out_of_range("bug"))),
               std::out_of_range);
  EXPECT_THROW(UnlessDecodeFails(kFormatPng, failingWith(std::logic_error("bug"))),
               std::logic_error);
}

// Each codec's own output carries its signature, declares its size and decodes back: the table's
// columns agree.
TEST(CodecTable, EveryEncoderWritesWhatItsSignatureAndDecoderTakes) {
  TempDir folder;
  const Bitmap picture = Gradient(6, 4, 40);
  for (const Codec& codec : Codecs()) {
    SCOPED_TRACE(codec.format);
    const auto path = folder.Path("out");
    OutputFile file(path);
    codec.encode(file, picture, {});
    file.Commit();
    const Bytes written = ReadWholeFile(path);
    ASSERT_GE(written.size(), kSignatureBytes);
    EXPECT_EQ(DetectFormat(Signature(written.data(), kSignatureBytes)), codec.format);
    EXPECT_EQ(CodecForFormat(codec.format), &codec);
    const auto declared = codec.probe(written);
    ASSERT_TRUE(declared);
    EXPECT_EQ(declared->width, 6u);
    EXPECT_EQ(declared->height, 4u);
    EXPECT_FALSE(codec.probe(Signature(written.data(), kSignatureBytes)));
    const Bitmap decoded = codec.decode(written, {});
    EXPECT_EQ(decoded.Width(), picture.Width());
    EXPECT_EQ(decoded.Height(), picture.Height());
  }
}

TEST(SaveBitmapAs, CodeOneWritesABmp) {
  TempDir folder;
  const Bitmap picture = Gradient(5, 2, 3);
  const auto path = folder.Path("out.bmp");
  EXPECT_EQ(SaveBitmapAs(path, &picture, kFormatBmp), kFormatBmp);
  EXPECT_EQ(ReadWholeFile(path), EncodeBmp(picture));
}

TEST(SaveBitmapAs, CodesAbove100AndNoBitmapWriteNothing) {
  TempDir folder;
  const Bitmap picture = Gradient(5, 2, 3);
  const auto path = folder.Path("out.jpg");
  for (std::int32_t code : {101, 1000, INT32_MAX}) {
    EXPECT_EQ(SaveBitmapAs(path, &picture, code), kFormatUnknown) << code;
  }
  EXPECT_EQ(SaveBitmapAs(path, nullptr, kFormatBmp), kFormatUnknown);
  EXPECT_FALSE(FileExists(path));
}

}  // namespace
}  // namespace mirelay

#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <filesystem>
#include <string>

#include "batch/overlay.h"
#include "files/output_file.h"
#include "imaging/image_lib.h"
#include "imaging/picture_formats.h"
#include "imaging/png/png_register.h"
#include "imaging/png/png_write.h"
#include "tests/imaging/png/png_chunk_writer.h"
#include "tests/imaging/png/png_test_images.h"

namespace mirelay {
namespace {

using testing_support::Bytes;

class PngThroughDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    folder_ = std::filesystem::temp_directory_path() /
              ("mirelay-png-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const auto path = (folder_ / name).string();
    WriteWholeFile(path, bytes);
    return path;
  }

  std::filesystem::path folder_;
};

Bitmap Filled(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  Bitmap image(PixelFormat::kBits24, width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.RowPointer(y) + 3 * x;
      p[0] = blue;
      p[1] = green;
      p[2] = red;
    }
  }
  return image;
}

TEST_F(PngThroughDispatch, SavedFileLoadsBackAsFormatFour) {
  const Bitmap image = Filled(6, 4, 10, 20, 30);
  const auto path = (folder_ / "out.png").string();
  EXPECT_EQ(SaveBitmapAs(path, &image, kFormatPng), kFormatPng);
  Bitmap loaded;
  EXPECT_EQ(LoadImageToBitmap(path, loaded), kFormatPng);
  ConvertTo24Bit(loaded);
  EXPECT_EQ(testing_support::PixelRgb(loaded, 5, 3), (testing_support::Rgb{30, 20, 10}));
  const Bytes file = ReadWholeFile(path);
  const auto time = testing_support::ParseChunks(file)[1].data;
  EXPECT_EQ(time[0] << 8 | time[1], CurrentPngTime().year);
}

TEST_F(PngThroughDispatch, DamagedFileKeepsTheTargetAndEmptyFileEmptiesIt) {
  Bitmap target = Filled(2, 2, 1, 2, 3);
  const auto cut =
      Write("cut.png",
            testing_support::PngChunkWriter().Ihdr(4, 3, 8, 2).Idat({0x78, 0x9C, 0x63}).bytes());
  EXPECT_EQ(LoadImageToBitmap(cut, target), kFormatUnknown);
  EXPECT_EQ(target.Width(), 2);
  const auto noData =
      Write("nodata.jpg", testing_support::PngChunkWriter().Ihdr(4, 3, 8, 2).Iend().bytes());
  EXPECT_EQ(LoadImageToBitmap(noData, target), kFormatPng);
  EXPECT_EQ(target.Width(), 0);
  EXPECT_EQ(target.Height(), 0);
}

TEST_F(PngThroughDispatch, PngFilesCompositeThroughMergePair) {
  Bitmap part = Filled(2, 2, 0, 255, 0);
  std::uint8_t* opaque = part.RowPointer(1) + 3;
  opaque[0] = 200;
  opaque[1] = 100;
  opaque[2] = 50;
  const auto basePath = (folder_ / "base.png").string();
  const auto partPath = (folder_ / "part.png").string();
  const Bitmap base = Filled(3, 3, 9, 9, 9);
  ASSERT_EQ(SaveBitmapAs(basePath, &base, kFormatPng), kFormatPng);
  ASSERT_EQ(SaveBitmapAs(partPath, &part, kFormatPng), kFormatPng);
  Bitmap composite, partBitmap;
  ASSERT_TRUE(MergePair(basePath, partPath, composite, partBitmap, 0));
  EXPECT_EQ(testing_support::PixelRgb(composite, 0, 0), (testing_support::Rgb{9, 9, 9}));
  EXPECT_EQ(testing_support::PixelRgb(composite, 1, 1), (testing_support::Rgb{50, 100, 200}));
  EXPECT_EQ(testing_support::PixelRgb(composite, 2, 2), (testing_support::Rgb{9, 9, 9}));
}

TEST(PngRegistration, PngImageJoinsAndLeavesThePictureFormatTable) {
  RegisterPngImage();
  const PictureFormat png{"PNG", "PNG Format", "PngImage"};
  const auto registered = RegisteredPictureFormats();
  EXPECT_EQ(std::count(registered.begin(), registered.end(), png), 1);
  RegisterPngImage();
  EXPECT_EQ(RegisteredPictureFormats().size(), registered.size());
  UnregisterPngImage();
  const auto after = RegisteredPictureFormats();
  EXPECT_EQ(std::count(after.begin(), after.end(), png), 0);
}

}  // namespace
}  // namespace mirelay

// Every input a fuzzer once broke a decoder with stays decodable without a crash, a sanitizer
// report or a runaway allocation: the dispatch either decodes it or rejects it with code 0.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/image_lib.h"

namespace mirelay {
namespace {

std::vector<std::filesystem::path> RegressionFiles() {
  const char* data = std::getenv("MIRELAY_TEST_DATA");
  if (data == nullptr) return {};
  const auto root = std::filesystem::path(data) / "regressions";
  std::vector<std::filesystem::path> files;
  if (!std::filesystem::is_directory(root)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

TEST(FuzzRegressions, EveryKeptInputDecodesOrIsRejected) {
  const auto files = RegressionFiles();
  ASSERT_FALSE(files.empty()) << "MIRELAY_TEST_DATA/regressions holds no input";
  // Both ways a GIF can be decoded: as it is, and dithered for a palette display.
  for (const bool paletteDisplay : {false, true}) {
    for (const auto& file : files) {
      SCOPED_TRACE(file.string() + (paletteDisplay ? " (palette display)" : ""));
      Bitmap bitmap;
      DecodeOptions options;
      options.paletteDisplay = paletteDisplay;
      const auto format = LoadImageToBitmap(file.string(), bitmap, options);
      if (format == kFormatUnknown) {
        EXPECT_FALSE(bitmap.HasPixels());
        continue;
      }
      ConvertTo24Bit(bitmap);
      EXPECT_EQ(bitmap.Format(), PixelFormat::kBits24);
    }
  }
}

}  // namespace
}  // namespace mirelay

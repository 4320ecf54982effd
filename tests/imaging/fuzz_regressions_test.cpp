// Every input a fuzzer once broke a decoder with keeps the outcome it was given when it was
// fixed: the dispatch decodes it to the same picture or rejects it with code 0, both ways a GIF
// can be decoded, without a crash, a sanitizer report or a runaway allocation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/image_lib.h"

namespace mirelay {
namespace {

struct RegressionCase {
  const char* file;  // under MIRELAY_TEST_DATA/regressions
  std::int32_t format;
  std::int32_t width;
  std::int32_t height;
};

class FuzzRegressionTest : public testing::TestWithParam<RegressionCase> {};

TEST_P(FuzzRegressionTest, KeepsItsOutcome) {
  const char* data = std::getenv("MIRELAY_TEST_DATA");
  ASSERT_NE(data, nullptr);
  const auto path = std::filesystem::path(data) / "regressions" / GetParam().file;
  ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
  for (const bool paletteDisplay : {false, true}) {
    SCOPED_TRACE(paletteDisplay ? "palette display" : "true colour");
    Bitmap bitmap;
    DecodeOptions options;
    options.paletteDisplay = paletteDisplay;
    EXPECT_EQ(LoadImageToBitmap(path.string(), bitmap, options), GetParam().format);
    EXPECT_EQ(bitmap.HasPixels(), GetParam().format != kFormatUnknown);
    EXPECT_EQ(bitmap.Width(), GetParam().width);
    EXPECT_EQ(bitmap.Height(), GetParam().height);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Regressions, FuzzRegressionTest,
    testing::Values(RegressionCase{"gif/huge_frame_on_tiny_screen.gif", kFormatGif, 4, 9},
                    RegressionCase{"gif/wide_frame_small_screen.gif", kFormatGif, 4, 3},
                    RegressionCase{"jpeg/huge_dimensions_truncated.jpg", kFormatUnknown, 0, 0}),
    [](const auto& info) {
      const std::string file = info.param.file;
      std::string name;
      for (const char c : file.substr(file.find('/') + 1, file.find('.') - file.find('/') - 1)) {
        if (c != '_') name += c;
      }
      return name;
    });

}  // namespace
}  // namespace mirelay

// A decode in progress ends as soon as its caller's stop request says so, in every format, and
// asks often enough that a stop is heard within a small share of the picture.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "files/output_file.h"
#include "imaging/bitmap.h"
#include "imaging/image_error.h"
#include "imaging/image_lib.h"
#include "tests/imaging/bmp/bmp_builder.h"
#include "tests/imaging/jpeg/jpeg_test_files.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::Bytes;
using testing_support::TempDir;

constexpr std::int32_t kWidth = 2048;
constexpr std::int32_t kHeight = 1024;

const Bitmap& Photo() {
  static const Bitmap photo = testing_support::PhotoLike(kWidth, kHeight);
  return photo;
}

std::string Saved(const TempDir& folder, const std::string& name, std::int32_t code) {
  const auto path = folder.Path(name);
  EXPECT_NE(SaveBitmapAs(path, &Photo(), code), kFormatUnknown);
  return path;
}

// RLE8 rows of full-length runs: 4096 x 1024 pixels, 16 MiB once decoded.
std::string RunLengthBmp(const TempDir& folder) {
  testing_support::BmpBuilder bmp;
  bmp.width = 4096;
  bmp.height = 1024;
  bmp.bitsPerPixel = 8;
  bmp.compression = 1;
  bmp.colors = {{0, 0, 0, 0}, {10, 20, 30, 0}};
  for (int row = 0; row < bmp.height; ++row) {
    for (int run = 0; run < 16; ++run) bmp.pixels.insert(bmp.pixels.end(), {255, 1});
    bmp.pixels.insert(bmp.pixels.end(), {16, 1, 0, 0});
  }
  bmp.pixels.insert(bmp.pixels.end(), {0, 1});
  return folder.Write("rle.bmp", bmp.Build());
}

std::string ProgressiveJpeg(const TempDir& folder) {
  const Bytes file = testing_support::Cjpeg(Photo(), "-progressive");
  return file.empty() ? "" : folder.Write("progressive.jpg", file);
}

struct Outcome {
  int polls = 0;
  std::string error;
};

// Decodes `path` with a stop request that turns true at poll number `stopAt` (never for 0).
Outcome Decode(const std::string& path, int stopAt) {
  Outcome outcome;
  DecodeOptions options{[&] { return ++outcome.polls == stopAt; }};
  Bitmap bitmap(PixelFormat::kBits24, 1, 1);
  try {
    DecodeImageFile(path, bitmap, options);
  } catch (const ImageError& error) {
    outcome.error = error.what();
    EXPECT_EQ(bitmap.Width(), 1) << "a stopped decode leaves the target as it was";
  }
  return outcome;
}

TEST(DecodeStop, EveryFormatStopsAtTheFirstPollThatAsks) {
  TempDir folder;
  struct Case {
    const char* name;
    std::string path;
    // Polls from inside a whole decode: nearly one per MiB of output (6 MiB of 24-bit rows,
    // 4 million RLE pixels, 2 MiB of GIF indices), one per row group for JPEG.
    int fewestPolls;
  };
  const Case cases[] = {
      {"bmp", Saved(folder, "plain.bmp", kFormatBmp), 5},
      {"rle bmp", RunLengthBmp(folder), 3},
      {"png", Saved(folder, "picture.png", kFormatPng), 5},
      {"gif", Saved(folder, "picture.gif", kFormatGif), 1},
      {"jpeg", Saved(folder, "baseline.jpg", kFormatJpeg), kHeight / 16},
      {"progressive jpeg", ProgressiveJpeg(folder), kHeight / 16},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    if (test.path.empty()) continue;  // cjpeg missing
    const Outcome whole = Decode(test.path, 0);
    ASSERT_EQ(whole.error, "");
    // The dispatch asks once before decoding; the rest come from inside the decoder.
    EXPECT_GE(whole.polls, 1 + test.fewestPolls);
    for (const int stopAt : {2, whole.polls / 2 + 1}) {
      const Outcome stopped = Decode(test.path, stopAt);
      EXPECT_EQ(stopped.error, kStopped) << "stop at poll " << stopAt;
      EXPECT_EQ(stopped.polls, stopAt) << "the decode went on after the stop";
    }
  }
}

// Encodes the photo with a stop request that turns true at poll number `stopAt` (never for 0).
Outcome Encode(const TempDir& folder, std::int32_t code, int stopAt) {
  Outcome outcome;
  try {
    OutputFile file(folder.Path("encoded"));
    WriteBitmapAs(file, Photo(), OutputFormatForCode(code),
                  [&] { return ++outcome.polls == stopAt; });
  } catch (const ImageError& error) {
    outcome.error = error.what();
  }
  return outcome;
}

TEST(DecodeStop, EveryEncoderStopsAtThePollThatAsks) {
  TempDir folder;
  // Polls from inside a whole encode: one per MiB of rows, one per 64 JPEG rows.
  const std::pair<std::int32_t, int> cases[] = {
      {kFormatBmp, 5}, {kFormatGif, 1}, {kFormatPng, 5}, {90, kHeight / 64}};
  for (const auto& [code, fewestPolls] : cases) {
    SCOPED_TRACE(code);
    const Outcome whole = Encode(folder, code, 0);
    ASSERT_EQ(whole.error, "");
    EXPECT_GE(whole.polls, fewestPolls);
    const Outcome stopped = Encode(folder, code, 1);
    EXPECT_EQ(stopped.error, kStopped);
    EXPECT_EQ(stopped.polls, 1) << "the encode went on after the stop";
  }
}

}  // namespace
}  // namespace mirelay

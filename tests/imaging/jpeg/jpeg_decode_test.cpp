#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include <jerror.h>
#include <jpeglib.h>

#include "imaging/image_error.h"
#include "imaging/image_lib.h"
#include "imaging/jpeg/jpeg_read.h"
#include "imaging/jpeg/jpeg_write.h"
#include "tests/imaging/jpeg/jpeg_test_files.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using namespace testing_support;

// djpeg's picture as rows of samples (three per pixel in red, green, blue order, or one grey).
struct Pnm {
  int width = 0;
  int height = 0;
  int channels = 0;
  Bytes samples;
};

Pnm Djpeg(const Bytes& jpeg, const std::string& options) {
  TempDir scratch;
  WriteBytes(scratch.Path("in.jpg"), jpeg);
  const std::string command = "djpeg " + options + " -pnm -outfile '" + scratch.Path("out.pnm") +
                              "' '" + scratch.Path("in.jpg") + "' 2>/dev/null";
  Pnm pnm;
  if (std::system(command.c_str()) != 0) return pnm;
  const Bytes file = ReadBytes(scratch.Path("out.pnm"));
  std::istringstream header(std::string(file.begin(), file.end()));
  std::string magic;
  int maximum = 0;
  header >> magic >> pnm.width >> pnm.height >> maximum;
  pnm.channels = magic == "P6" ? 3 : 1;
  const auto start = static_cast<std::size_t>(header.tellg()) + 1;
  pnm.samples.assign(file.begin() + start, file.end());
  return pnm;
}

// Our decoded picture in djpeg's sample order, greys looked up in the colour table.
Bytes SamplesOf(const Bitmap& bitmap) {
  Bytes samples;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.RowPointer(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.Format() == PixelFormat::kIndexed8) {
        samples.push_back(bitmap.colorTable.at(row[x]).red);
      } else {
        samples.insert(samples.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
  }
  return samples;
}

std::uint8_t GreyLevel(int j) { return static_cast<std::uint8_t>((j * 255 + 117) / 235); }

Bitmap GreyGradient(int width, int height) {
  Bitmap bitmap(PixelFormat::kBits24, width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto v = static_cast<std::uint8_t>((x * 7 + y * 3) % 256);
      std::fill_n(bitmap.RowPointer(y) + 3 * x, 3, v);
    }
  }
  return bitmap;
}

TEST(JpegDecoding, AgreesWithDjpegOnEveryCodingVariant) {
  SKIP_WITHOUT_TOOL("cjpeg");
  SKIP_WITHOUT_TOOL("djpeg");
  const Bitmap photo = PhotoLike(67, 45, 3);
  const char* colourOptions[] = {"-baseline",   "-progressive", "-restart 1", "-sample 1x1",
                                 "-sample 2x1", "-rgb",         "-optimize",  "-quality 30"};
  for (const char* options : colourOptions) {
    const Bytes file = Cjpeg(photo, options);
    ASSERT_FALSE(file.empty()) << options;
    const Bitmap decoded = DecodeJpeg(file);
    EXPECT_EQ(decoded.Format(), PixelFormat::kBits24) << options;
    EXPECT_EQ(SamplesOf(decoded), Djpeg(file, "").samples) << options;
  }
  for (const char* options : {"-grayscale", "-grayscale -progressive"}) {
    const Bytes file = Cjpeg(photo, options);
    const Bitmap decoded = DecodeJpeg(file);
    EXPECT_EQ(decoded.Format(), PixelFormat::kIndexed8) << options;
    EXPECT_EQ(SamplesOf(decoded), Djpeg(file, "-colors 236 -onepass -dither fs").samples)
        << options;
  }
}

TEST(JpegDecoding, ProgressiveDecodesLikeBaseline) {
  SKIP_WITHOUT_TOOL("cjpeg");
  const Bitmap photo = PhotoLike(80, 60, 4);
  const Bytes baseline = SamplesOf(DecodeJpeg(Cjpeg(photo, "-quality 85")));
  const Bytes progressive = SamplesOf(DecodeJpeg(Cjpeg(photo, "-quality 85 -progressive")));
  ASSERT_EQ(baseline.size(), progressive.size());
  for (std::size_t i = 0; i < baseline.size(); ++i) {
    ASSERT_NEAR(baseline[i], progressive[i], 1) << "sample " << i;
  }
}

TEST(JpegDecoding, ColourPixelsKeepRedInByteTwo) {
  const Bitmap red = Uniform(16, 16, 0, 0, 255);
  std::vector<Bytes> files{EncodeJpeg(red, 100)};
  if (HaveTool("cjpeg")) files.push_back(Cjpeg(red, "-rgb -quality 100"));
  for (const Bytes& file : files) {
    const Bitmap decoded = DecodeJpeg(file);
    ASSERT_EQ(decoded.Format(), PixelFormat::kBits24);
    const std::uint8_t* p = decoded.RowPointer(8) + 3 * 8;
    EXPECT_LE(p[0], 2);
    EXPECT_LE(p[1], 2);
    EXPECT_GE(p[2], 253);
  }
}

TEST(JpegDecoding, ColourFileGivesAWorkingImageWithoutColourList) {
  TempDir scratch;
  const std::string path = scratch.Path("colour.jpg");
  WriteBytes(path, EncodeJpeg(PhotoLike(9, 7), 90));
  Bitmap working;
  working.colorList = {PaletteEntry{1, 2, 3, 0}};
  ASSERT_EQ(LoadImageToBitmap(path, working), kFormatJpeg);
  EXPECT_EQ(working.Format(), PixelFormat::kBits24);
  EXPECT_EQ(working.Width(), 9);
  EXPECT_EQ(working.Height(), 7);
  EXPECT_EQ(working.Order(), StorageOrder::kBottomUp);
  EXPECT_TRUE(working.colorList.empty());
}

TEST(JpegGreyscale, ColourTableHoldsThe236QuantiserLevels) {
  SKIP_WITHOUT_TOOL("cjpeg");
  TempDir scratch;
  const std::string path = scratch.Path("grey.jpg");
  WriteBytes(path, Cjpeg(GreyGradient(40, 40), "-grayscale"));
  Bitmap working;
  ASSERT_EQ(LoadImageToBitmap(path, working), kFormatJpeg);
  ASSERT_EQ(working.Format(), PixelFormat::kIndexed8);
  ASSERT_EQ(working.colorTable.size(), 236u);
  for (int j = 0; j < 236; ++j) {
    EXPECT_EQ(working.colorTable[j], (PaletteEntry{GreyLevel(j), GreyLevel(j), GreyLevel(j), 0}));
  }
  EXPECT_EQ(working.colorList, working.colorTable);
}

TEST(JpegGreyscale, UniformAreasDitherBetweenNeighbouringLevels) {
  SKIP_WITHOUT_TOOL("cjpeg");
  std::set<int> levels;
  for (int j = 0; j < 236; ++j) levels.insert(GreyLevel(j));
  int between = 100;
  while (levels.count(between)) ++between;
  const std::pair<int, std::set<int>> cases[] = {
      {0, {0}}, {255, {255}}, {between, {between - 1, between + 1}}};
  for (const auto& [value, expected] : cases) {
    const auto v = static_cast<std::uint8_t>(value);
    const Bitmap decoded = DecodeJpeg(Cjpeg(Uniform(32, 32, v, v, v), "-grayscale -quality 100"));
    std::set<int> shown;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x)
        shown.insert(decoded.colorTable.at(decoded.RowPointer(y)[x]).red);
    }
    EXPECT_EQ(shown, expected) << "grey " << value;
  }
}

TEST(JpegDecoding, FileCutInsideTheEntropyDataStillLoads) {
  const Bytes whole = EncodeJpeg(PhotoLike(64, 64), 90);
  const std::size_t scanStart = FindSegment(whole, 0xDA)->at + 14;
  for (std::size_t size : {scanStart + 1, (scanStart + whole.size()) / 2, whole.size() - 2}) {
    const Bitmap decoded = DecodeJpeg(std::span(whole.data(), size));
    EXPECT_EQ(decoded.Width(), 64);
    EXPECT_EQ(decoded.Height(), 64);
  }
}

// A valid file and byte surgery on it, each giving a file the decoder must refuse.
struct Damage {
  const char* name;
  Bytes (*make)();
};

Bytes Photo() { return EncodeJpeg(PhotoLike(24, 16), 80); }

Bytes WithFrameMarker(std::uint8_t marker) {
  Bytes file = Photo();
  file[FindFrame(file)->at + 1] = marker;
  return file;
}

Bytes WithFrameByte(std::size_t offset, std::uint8_t value) {
  Bytes file = Photo();
  file[FindFrame(file)->at + offset] = value;
  return file;
}

Bytes WithFrameWord(std::size_t offset, std::uint16_t value) {
  Bytes file = Photo();
  const std::size_t at = FindFrame(file)->at + offset;
  file[at] = static_cast<std::uint8_t>(value >> 8);
  file[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
  return file;
}

// A fourth component appended to the frame header; the scan still names three.
Bytes WithFourComponents() {
  Bytes file = Photo();
  const Segment frame = *FindFrame(file);
  file[frame.at + 3] += 3;
  file[frame.at + 9] = 4;
  const std::size_t end = frame.at + 2 + frame.length;
  file.insert(file.begin() + end, {4, 0x11, 1});
  return file;
}

Bytes CutBeforeScan() {
  Bytes file = Photo();
  file.resize(FindSegment(file, 0xDA)->at);
  return file;
}

Bytes TablesOnly() {
  Bytes file = Photo();
  const Segment frame = *FindFrame(file);
  file.resize(frame.at);
  file.insert(file.end(), {0xFF, 0xD9});
  return file;
}

const Damage kDamages[] = {
    {"empty", [] { return Bytes{}; }},
    {"no SOI", [] { return Bytes{0xFF, 0xD9, 0xFF, 0xD8, 0, 0}; }},
    {"SOF3 lossless", [] { return WithFrameMarker(0xC3); }},
    {"SOF5 hierarchical", [] { return WithFrameMarker(0xC5); }},
    {"SOF6", [] { return WithFrameMarker(0xC6); }},
    {"SOF7", [] { return WithFrameMarker(0xC7); }},
    {"JPG", [] { return WithFrameMarker(0xC8); }},
    {"SOF9 arithmetic", [] { return WithFrameMarker(0xC9); }},
    {"SOF10 arithmetic", [] { return WithFrameMarker(0xCA); }},
    {"SOF11", [] { return WithFrameMarker(0xCB); }},
    {"SOF13", [] { return WithFrameMarker(0xCD); }},
    {"SOF14", [] { return WithFrameMarker(0xCE); }},
    {"SOF15", [] { return WithFrameMarker(0xCF); }},
    {"12-bit", [] { return WithFrameByte(4, 12); }},
    {"height 0", [] { return WithFrameByte(6, 0); }},
    {"width 0", [] { return WithFrameByte(8, 0); }},
    {"width 65501", [] { return WithFrameWord(7, 65501); }},
    {"sampling 5x1", [] { return WithFrameByte(11, 0x51); }},
    {"four components", WithFourComponents},
    {"cut before SOS", CutBeforeScan},
    {"tables only", TablesOnly},
    {"DQT length 1",
     [] {
       Bytes file = Photo();
       file[FindSegment(file, 0xDB)->at + 3] = 1;
       return file;
     }},
    {"Huffman table overfull",
     [] {
       Bytes file = Photo();
       const std::size_t counts = FindSegment(file, 0xC4)->at + 5;
       std::fill_n(file.begin() + counts, 16, 0xFF);
       return file;
     }},
};

TEST(JpegRejection, EveryDamageFailsWithTheLibraryMessageNumber) {
  for (const Damage& damage : kDamages) {
    try {
      DecodeJpeg(damage.make());
      ADD_FAILURE() << damage.name << " decoded";
    } catch (const ImageError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("JPEG エラー #", 0), 0u) << damage.name;
    }
  }
}

TEST(JpegRejection, FailedLoadsLeaveTheWorkingImageAsItWas) {
  TempDir scratch;
  const Bitmap before = PhotoLike(5, 3);
  for (const Damage& damage : kDamages) {
    Bytes file = damage.make();
    if (file.size() < 4) continue;  // never reaches the decoder
    const std::string path = scratch.Path("bad.jpg");
    WriteBytes(path, file);
    Bitmap working = before;
    EXPECT_EQ(LoadImageToBitmap(path, working), kFormatUnknown) << damage.name;
    EXPECT_EQ(working.Width(), 5) << damage.name;
    EXPECT_TRUE(std::ranges::equal(working.PixelMemory(), before.PixelMemory())) << damage.name;
  }
}

TEST(JpegRejection, EachCauseCarriesItsLibraryNumber) {
  const std::pair<Bytes, int> cases[] = {
      {Bytes{}, JERR_INPUT_EMPTY},
      {WithFrameMarker(0xC9), JERR_ARITH_NOTIMPL},
      {WithFrameByte(4, 12), JERR_BAD_PRECISION},
      {WithFourComponents(), JERR_CONVERSION_NOTIMPL},
      {CutBeforeScan(), JERR_SOF_NO_SOS},
      {TablesOnly(), JERR_NO_IMAGE},
  };
  for (const auto& [file, code] : cases) {
    EXPECT_THROW(
        {
          try {
            DecodeJpeg(file);
          } catch (const ImageError& error) {
            EXPECT_EQ(error.what(), "JPEG エラー #" + std::to_string(code));
            throw;
          }
        },
        ImageError);
  }
}

TEST(JpegRejection, ArithmeticCodedFilesAreRefusedAlthoughTheLibraryReadsThem) {
  SKIP_WITHOUT_TOOL("cjpeg");
  for (const char* options : {"-arithmetic", "-arithmetic -progressive"}) {
    const Bytes file = Cjpeg(PhotoLike(20, 20), options);
    ASSERT_FALSE(file.empty());
    EXPECT_THROW(DecodeJpeg(file), ImageError) << options;
  }
}

TEST(JpegDecoding, ExtendedSequentialFrameDecodes) {
  const Bytes baseline = Photo();
  EXPECT_EQ(SamplesOf(DecodeJpeg(WithFrameMarker(0xC1))), SamplesOf(DecodeJpeg(baseline)));
}

TEST(JpegRejection, HugeProgressiveHeaderFailsBeforeAllocating) {
  SKIP_WITHOUT_TOOL("cjpeg");
  // 30000 x 30000 greys fit the pixel cap, but the coefficient buffer of a progressive file
  // would need 1.8 GB.
  Bytes file = Cjpeg(GreyGradient(16, 16), "-grayscale -progressive");
  const std::size_t frame = FindFrame(file)->at;
  for (std::size_t at : {frame + 5, frame + 7}) file[at] = 30000 >> 8, file[at + 1] = 30000 & 0xFF;
  EXPECT_THROW(DecodeJpeg(file), ImageError);
  Bytes colour = Cjpeg(PhotoLike(16, 16), "-progressive");
  const std::size_t colourFrame = FindFrame(colour)->at;
  for (std::size_t at : {colourFrame + 5, colourFrame + 7})
    colour[at] = 0xFF, colour[at + 1] = 0xDC;
  EXPECT_THROW(DecodeJpeg(colour), ImageError);
}

// The last scan of a progressive file repeated: the library only warns about the repeats.
Bytes WithLastScanRepeated(const Bytes& file, int times) {
  std::size_t lastScan = file.size() - 2;
  while (!(file[lastScan] == 0xFF && file[lastScan + 1] == 0xDA)) --lastScan;
  Bytes repeated(file.begin(), file.begin() + lastScan);
  for (int i = 0; i < times; ++i)
    repeated.insert(repeated.end(), file.begin() + lastScan, file.end() - 2);
  repeated.insert(repeated.end(), {0xFF, 0xD9});
  return repeated;
}

Bytes WithSize(Bytes file, std::uint16_t width, std::uint16_t height) {
  const std::size_t frame = FindFrame(file)->at;
  file[frame + 5] = height >> 8, file[frame + 6] = height & 0xFF;
  file[frame + 7] = width >> 8, file[frame + 8] = width & 0xFF;
  return file;
}

// cjpeg's colour progression has 10 scans, its grey one 6; each repeat adds one. A grey scan of
// 8192 x 8192 visits 2^20 blocks, so 65 of them pass the block budget of 2^26, while a smaller
// picture takes the same 65 scans.
TEST(JpegRejection, ProgressiveScanCountAndBlockVisitsAreBounded) {
  SKIP_WITHOUT_TOOL("cjpeg");
  const Bytes colour = Cjpeg(PhotoLike(16, 16), "-progressive");
  const Bytes grey = Cjpeg(GreyGradient(16, 16), "-grayscale -progressive");
  struct Case {
    const char* name;
    Bytes file;
    bool refused;
  };
  const Case cases[] = {
      {"20 scans", WithLastScanRepeated(colour, 11), false},
      {"100 scans", WithLastScanRepeated(colour, 91), false},
      {"101 scans", WithLastScanRepeated(colour, 92), true},
      {"65 scans of 2^16 blocks", WithSize(WithLastScanRepeated(grey, 60), 2048, 2048), false},
      {"65 scans of 2^20 blocks", WithSize(WithLastScanRepeated(grey, 60), 8192, 8192), true},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    if (test.refused) {
      EXPECT_THROW(DecodeJpeg(test.file), ImageError);
    } else {
      EXPECT_NO_THROW(DecodeJpeg(test.file));
    }
  }
}

}  // namespace
}  // namespace mirelay

#include <gtest/gtest.h>

#include "imaging/bmp/bmp_read.h"
#include "imaging/image_error.h"
#include "tests/imaging/bmp/bmp_builder.h"

namespace mirelay {
namespace {

using testing_support::AllPixels;
using testing_support::Bgr;
using testing_support::BmpBuilder;
using testing_support::Bytes;

constexpr char kInvalid[] = "ビットマップイメージが不正です";
constexpr char kReadError[] = "ストリームからの読み込みエラー";

// Entry i is (i, 2i, 255 - i), so index 0 is red and never mistaken for unreached black.
std::vector<PaletteEntry> Palette(int count) {
  std::vector<PaletteEntry> palette;
  for (int i = 0; i < count; ++i) {
    palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(2 * i),
                       static_cast<std::uint8_t>(255 - i), 0});
  }
  return palette;
}

Bgr C(int i) {
  return {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(2 * i),
          static_cast<std::uint8_t>(255 - i)};
}
constexpr Bgr kBlack{0, 0, 0};
constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kRed{0, 0, 255};
constexpr Bgr kGreen{0, 255, 0};
constexpr Bgr kBlue{255, 0, 0};

BmpBuilder Indexed(std::uint16_t bits, int colors, Bytes pixels) {
  BmpBuilder file;
  file.width = 3;
  file.height = 2;
  file.bitsPerPixel = bits;
  file.colors = Palette(colors);
  if (colors < (1 << bits)) file.colorsUsed = colors;
  file.pixels = std::move(pixels);
  return file;
}

// Run-length files declare the size of their data, as encoders write them.
BmpBuilder RunLength(std::uint16_t bits, std::int32_t width, std::int32_t height, Bytes data) {
  BmpBuilder file = Indexed(bits, 16, std::move(data));
  file.width = width;
  file.height = height;
  file.compression = bits == 8 ? 1 : 2;
  file.imageSize = static_cast<std::uint32_t>(file.pixels.size());
  return file;
}

BmpBuilder Direct(std::uint16_t bits, Bytes pixels) {
  BmpBuilder file;
  file.width = 3;
  file.height = 2;
  file.bitsPerPixel = bits;
  file.pixels = std::move(pixels);
  return file;
}

BmpBuilder With(BmpBuilder file, auto change) {
  change(file);
  return file;
}

// Rows of 16-bit words, bottom row first: two rows of three pixels, each padded to 8 bytes.
const Bytes k555Rows = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0,
                        0x00, 0x80, 0x10, 0x42, 0xFF, 0x7F, 0, 0};
const Bytes k565Rows = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0,
                        0xFF, 0xFF, 0x00, 0x00, 0x41, 0x08, 0, 0};
const Bytes k24Rows = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                       11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
const std::vector<std::vector<Bgr>> k24BottomUp = {
    {Bgr{11, 12, 13}, Bgr{14, 15, 16}, Bgr{17, 18, 19}},
    {Bgr{1, 2, 3}, Bgr{4, 5, 6}, Bgr{7, 8, 9}}};
const std::vector<std::vector<Bgr>> k565Expected = {{kWhite, kBlack, Bgr{8, 8, 8}},
                                                    {kRed, kGreen, kBlue}};

struct DecodeCase {
  const char* name;
  BmpBuilder file;
  std::vector<std::vector<Bgr>> expected;  // top row first, after ConvertTo24Bit
};

class BmpVariantTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(BmpVariantTest, EveryPixelShowsItsColourAfterConversion) {
  Bitmap bitmap = DecodeBmp(GetParam().file.Build());
  ConvertTo24Bit(bitmap);
  EXPECT_EQ(AllPixels(bitmap), GetParam().expected);
}

std::vector<DecodeCase> VariantCases() {
  return {
      DecodeCase{"Indexed1",
                 Indexed(1, 2, {0xA0, 0, 0, 0, 0x60, 0, 0, 0}),
                 {{C(0), C(1), C(1)}, {C(1), C(0), C(1)}}},
      DecodeCase{"Indexed4DefaultsTo16Colours",
                 Indexed(4, 16, {0x12, 0xF0, 0, 0, 0x34, 0x50, 0, 0}),
                 {{C(3), C(4), C(5)}, {C(1), C(2), C(15)}}},
      DecodeCase{"Indexed8DefaultsTo256Colours",
                 Indexed(8, 256, {0, 128, 255, 0, 7, 8, 9, 0}),
                 {{C(7), C(8), C(9)}, {C(0), C(128), C(255)}}},
      DecodeCase{"Indexed8ColoursUsed16",
                 Indexed(8, 16, {1, 2, 3, 0, 13, 14, 15, 0}),
                 {{C(13), C(14), C(15)}, {C(1), C(2), C(3)}}},
      DecodeCase{
          "Indexed8CoreHeaderThreeByteEntries",
          With(Indexed(8, 256, {0, 1, 2, 0, 3, 2, 1, 0}), [](auto& f) { f.headerSize = 12; }),
          {{C(3), C(2), C(1)}, {C(0), C(1), C(2)}}},
      // Bit 15 is ignored; 5-bit 16 widens to 132.
      DecodeCase{"Bits16Uncompressed555",
                 Direct(16, k555Rows),
                 {{kBlack, Bgr{132, 132, 132}, kWhite}, {kRed, kGreen, kBlue}}},
      DecodeCase{"Bits16BitFields565AfterHeader",
                 With(Direct(16, k565Rows),
                      [](auto& f) {
                        f.compression = 3;
                        f.masks = {0xF800, 0x07E0, 0x001F};
                      }),
                 k565Expected},
      DecodeCase{"Bits16BitFields565InsideV4Header",
                 With(Direct(16, k565Rows),
                      [](auto& f) {
                        f.headerSize = 108;
                        f.compression = 3;
                        f.masks = {0xF800, 0x07E0, 0x001F};
                      }),
                 k565Expected},
      DecodeCase{"Bits24BottomUp", Direct(24, k24Rows), k24BottomUp},
      DecodeCase{"Bits24TopDown",
                 With(Direct(24, k24Rows), [](auto& f) { f.height = -2; }),
                 {k24BottomUp[1], k24BottomUp[0]}},
      DecodeCase{"Bits24CoreHeader", With(Direct(24, k24Rows), [](auto& f) { f.headerSize = 12; }),
                 k24BottomUp},
      DecodeCase{"Bits24Header124", With(Direct(24, k24Rows), [](auto& f) { f.headerSize = 124; }),
                 k24BottomUp},
      DecodeCase{
          "Bits32AlphaIgnored",
          Direct(32, {1, 2, 3, 0, 4, 5, 6, 255, 7, 8, 9, 128, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}),
          {{kBlack, kBlack, Bgr{1, 1, 1}}, {Bgr{1, 2, 3}, Bgr{4, 5, 6}, Bgr{7, 8, 9}}}},
      DecodeCase{
          "Bits32BitFields",
          With(Direct(32, {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
               [](auto& f) {
                 f.compression = 3;
                 f.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
               }),
          {{kBlack, kBlack, kBlack}, {Bgr{3, 2, 1}, kBlack, kBlack}}},
      DecodeCase{"StoredPixelOffsetIsIgnored",
                 With(Direct(24, k24Rows), [](auto& f) { f.pixelOffset = 200; }), k24BottomUp},
      DecodeCase{"CutShortPixelDataLeavesTheTopRowBlack",
                 Direct(24, Bytes(k24Rows.begin(), k24Rows.begin() + 12)),
                 {{kBlack, kBlack, kBlack}, k24BottomUp[1]}},
      DecodeCase{"ImageSizeFieldLimitsThePixelData",
                 With(Direct(24, k24Rows), [](auto& f) { f.imageSize = 12; }),
                 {{kBlack, kBlack, kBlack}, k24BottomUp[1]}},
      DecodeCase{"ImageSizeFieldBeyondThePictureReadsOnlyThePicture",
                 With(Direct(24, k24Rows),
                      [](auto& f) {
                        f.imageSize = 4000;
                        f.pixels.resize(4000, 0xEE);
                      }),
                 k24BottomUp},
      // Bottom row: run of 2, absolute run of 3 with its pad byte, end of line. Middle row:
      // skipped by a delta into the top row at x 2, where a run of 3 ends the bitmap.
      DecodeCase{"Rle8",
                 RunLength(8, 5, 3, {2, 1, 0, 3, 4, 5, 6, 0, 0, 0, 0, 2, 2, 1, 3, 9, 0, 1}),
                 {{kBlack, kBlack, C(9), C(9), C(9)},
                  {kBlack, kBlack, kBlack, kBlack, kBlack},
                  {C(1), C(1), C(4), C(5), C(6)}}},
      // Alternating nibbles in a run; an absolute run of 5 nibbles in 3 bytes plus a pad byte.
      DecodeCase{"Rle4",
                 RunLength(4, 5, 2, {5, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 1}),
                 {{C(3), C(4), C(5), C(6), C(7)}, {C(1), C(2), C(1), C(2), C(1)}}},
      DecodeCase{"Rle8CutShort",
                 With(RunLength(8, 3, 2, {2, 1, 0}), [](auto& f) { f.imageSize = 100; }),
                 {{kBlack, kBlack, kBlack}, {C(1), C(1), kBlack}}},
      // clang-format off
      DecodeCase{"Rle8ClippedAtThePictureEdges",
                 RunLength(8, 2, 2, {255, 1,                 // run past the right edge
                                     0, 0,                   // end of line
                                     0, 3, 7, 7, 7, 0,       // absolute run past the edge
                                     0, 2, 255, 0, 2, 3,     // delta past the edge, run there
                                     0, 2, 0, 255, 2, 5}),   // delta above the top, run there
                 {{C(7), C(7)}, {C(1), C(1)}}}};
  // clang-format on
}

INSTANTIATE_TEST_SUITE_P(BmpFiles, BmpVariantTest, testing::ValuesIn(VariantCases()),
                         [](const auto& info) { return info.param.name; });

TEST(BmpAttributes, TopDownFileKeepsItsOrderAndResolution) {
  auto file = Direct(24, k24Rows);
  file.height = -2;
  file.pixelsPerMeterX = 2835;
  file.pixelsPerMeterY = -7;
  const Bitmap bitmap = DecodeBmp(file.Build());
  EXPECT_EQ(bitmap.Format(), PixelFormat::kBits24);
  EXPECT_EQ(bitmap.Order(), StorageOrder::kTopDown);
  EXPECT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.pixelsPerMeterX, 2835);
  EXPECT_EQ(bitmap.pixelsPerMeterY, -7);
  EXPECT_FALSE(bitmap.coreHeader);
}

TEST(BmpAttributes, CoreHeaderSetsTheFlagAndNoResolution) {
  auto file = Indexed(8, 3, {0, 1, 2, 0, 0, 1, 2, 0});
  file.headerSize = 12;
  file.colorsUsed = 3;  // not in a core header: 256 entries are read
  file.colors = Palette(256);
  const Bitmap bitmap = DecodeBmp(file.Build());
  EXPECT_TRUE(bitmap.coreHeader);
  EXPECT_EQ(bitmap.pixelsPerMeterX, 0);
  EXPECT_EQ(bitmap.colorTable.size(), 256u);
  EXPECT_EQ(bitmap.colorList, Palette(256));
}

TEST(BmpAttributes, ColourListHoldsTheEntriesTheFileCarries) {
  auto indexed = Indexed(8, 16, {1, 2, 3, 0, 1, 2, 3, 0});
  indexed.colorsUsed = 16;
  EXPECT_EQ(DecodeBmp(indexed.Build()).colorList, Palette(16));

  const Bitmap decoded = DecodeBmp(RunLength(8, 3, 2, {0, 1}).Build());
  EXPECT_EQ(decoded.Format(), PixelFormat::kDevice);
  EXPECT_EQ(decoded.colorList, Palette(16));

  // A 24-bit file may carry a colour list; its pixels follow it.
  auto direct = Direct(24, k24Rows);
  direct.colorsUsed = 2;
  direct.colors = Palette(2);
  Bitmap withList = DecodeBmp(direct.Build());
  EXPECT_EQ(withList.colorList, Palette(2));
  ConvertTo24Bit(withList);
  EXPECT_EQ(AllPixels(withList), k24BottomUp);

  EXPECT_TRUE(DecodeBmp(Direct(24, k24Rows).Build()).colorList.empty());
}

TEST(BmpAttributes, EmptyFileIsAnEmptyBitmap) {
  const Bitmap bitmap = DecodeBmp({});
  EXPECT_FALSE(bitmap.HasPixels());
  EXPECT_EQ(bitmap.Width(), 0);
}

struct FailureCase {
  const char* name;
  Bytes file;
  const char* message;
};

Bytes Built(BmpBuilder file) { return file.Build(); }
Bytes Patched32(Bytes bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  return bytes;
}
Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

class BmpFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(BmpFailureTest, FailsWithItsText) {
  try {
    DecodeBmp(GetParam().file);
    FAIL() << "decoded";
  } catch (const ImageError& error) {
    EXPECT_STREQ(error.what(), GetParam().message);
  }
}

const BmpBuilder kValid = Direct(24, k24Rows);
const BmpBuilder kIndexed = Indexed(8, 16, {0, 0, 0, 0, 0, 0, 0, 0});

INSTANTIATE_TEST_SUITE_P(
    BmpFiles, BmpFailureTest,
    testing::Values(
        FailureCase{"WrongSignature",
                    [] {
                      auto b = Built(kValid);
                      b[1] = 'N';
                      return b;
                    }(),
                    kInvalid},
        FailureCase{"EndsInsideFileHeader", Cut(Built(kValid), 13), kReadError},
        FailureCase{"EndsInsideHeaderSize", Cut(Built(kValid), 16), kReadError},
        FailureCase{"EndsInsideInformationHeader", Cut(Built(kValid), 40), kReadError},
        FailureCase{"EndsInsideCoreHeader",
                    Cut(Built(With(kValid, [](auto& f) { f.headerSize = 12; })), 20), kReadError},
        FailureCase{"EndsInsideMasks",
                    Cut(Built(With(Direct(16, k565Rows),
                                   [](auto& f) {
                                     f.compression = 3;
                                     f.masks = {0xF800, 0x07E0, 0x001F};
                                   })),
                        60),
                    kReadError},
        FailureCase{"EndsInsideColourTable", Cut(Built(kIndexed), 14 + 40 + 4 * 16 - 1),
                    kReadError},
        FailureCase{"HeaderSizeBelow40", Built(With(kValid, [](auto& f) { f.headerSize = 20; })),
                    kInvalid},
        FailureCase{"HeaderSizeHuge", Patched32(Built(kValid), 14, 0xFFFFFFFF), kReadError},
        FailureCase{"PlanesZero", Built(With(kValid, [](auto& f) { f.planes = 0; })), kInvalid},
        FailureCase{"CompressionFour", Built(With(kValid, [](auto& f) { f.compression = 4; })),
                    kInvalid},
        FailureCase{"BitDepthTwo", Built(With(kValid, [](auto& f) { f.bitsPerPixel = 2; })),
                    kInvalid},
        FailureCase{"BitFieldsAt24Bits",
                    Built(With(kValid,
                               [](auto& f) {
                                 f.compression = 3;
                                 f.masks = {1, 2, 3};
                               })),
                    kInvalid},
        FailureCase{"BitFieldsWithHeaderTooShortForMasks",
                    Built(With(Direct(16, k565Rows),
                               [](auto& f) {
                                 f.headerSize = 44;
                                 f.compression = 3;
                               })),
                    kInvalid},
        FailureCase{"Rle8AtFourBits",
                    Built(With(kIndexed,
                               [](auto& f) {
                                 f.bitsPerPixel = 4;
                                 f.compression = 1;
                               })),
                    kInvalid},
        FailureCase{"Rle4AtEightBits", Built(With(kIndexed, [](auto& f) { f.compression = 2; })),
                    kInvalid},
        FailureCase{"RunLengthTopDown",
                    Built(With(kIndexed,
                               [](auto& f) {
                                 f.compression = 1;
                                 f.height = -2;
                               })),
                    kInvalid},
        FailureCase{"WidthZero", Built(With(kValid, [](auto& f) { f.width = 0; })), kInvalid},
        FailureCase{"WidthNegative", Built(With(kValid, [](auto& f) { f.width = -3; })), kInvalid},
        FailureCase{"HeightZero", Built(With(kValid, [](auto& f) { f.height = 0; })), kInvalid},
        FailureCase{"CoreHeightZero",
                    Built(With(kValid,
                               [](auto& f) {
                                 f.headerSize = 12;
                                 f.height = 0;
                               })),
                    kInvalid},
        FailureCase{"LowestHeight", Built(With(kValid, [](auto& f) { f.height = INT32_MIN; })),
                    kInvalid},
        FailureCase{"MoreThan256Colours",
                    Built(With(kIndexed, [](auto& f) { f.colorsUsed = 257; })), kInvalid},
        FailureCase{"PictureBeyondTheMemoryCap",
                    Built(With(kValid,
                               [](auto& f) {
                                 f.width = 65536;
                                 f.height = 65536;
                               })),
                    "Picture too large"}),
    [](const auto& info) { return info.param.name; });

void ExpectDecodesOrFailsCleanly(const Bytes& file) {
  try {
    Bitmap bitmap = DecodeBmp(file);
    ConvertTo24Bit(bitmap);
  } catch (const ImageError&) {
  }
}

// Every cut and many single-byte changes of the valid files must decode or fail with an
// ImageError; the sanitizer build turns any access outside a buffer into a failure here.
TEST(BmpDamagedFiles, DecodeOrFailCleanlyWhateverTheBytes) {
  constexpr std::size_t kPictureSizeFields[] = {18, 26};  // covered by the memory-cap case
  for (const auto& variant : VariantCases()) {
    SCOPED_TRACE(variant.name);
    const Bytes file = variant.file.Build();
    for (std::size_t size = 0; size < file.size(); ++size)
      ExpectDecodesOrFailsCleanly(Cut(file, size));
    for (std::size_t at = 0; at < file.size(); ++at) {
      if (at >= kPictureSizeFields[0] && at < kPictureSizeFields[1]) continue;
      for (std::uint8_t value : {0x00, 0x01, 0x03, 0x7F, 0xFF}) {
        Bytes damaged = file;
        damaged[at] = value;
        ExpectDecodesOrFailsCleanly(damaged);
      }
    }
  }
}

}  // namespace
}  // namespace mirelay

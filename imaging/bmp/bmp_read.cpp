#include "imaging/bmp/bmp_read.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "imaging/bmp/bmp_rle.h"
#include "imaging/byte_reader.h"
#include "imaging/field_widener.h"
#include "imaging/image_error.h"
#include "imaging/stop_poll.h"

namespace mirelay {

namespace {

constexpr ErrorWords kInvalidBitmap{"ビットマップイメージが不正です", "Bitmap image is not valid"};
constexpr ErrorWords kReadError{"ストリームからの読み込みエラー", "Stream read error"};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// Longer information headers hold the three masks in their bytes 40 to 51.
constexpr std::uint32_t kHeaderSizeWithMasks = 52;
// And from 56 bytes on, an alpha mask after them.
constexpr std::uint32_t kHeaderSizeWithAlphaMask = 56;
constexpr std::uint32_t kMaxColorEntries = 256;

enum Compression : std::uint32_t { kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct BmpHeader {
  std::uint32_t size = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative for rows stored top row first
  std::uint16_t planes = 0;
  std::uint16_t bitsPerPixel = 0;
  std::uint32_t compression = kUncompressed;
  std::uint32_t imageSize = 0;
  std::int32_t pixelsPerMeterX = 0;
  std::int32_t pixelsPerMeterY = 0;
  std::uint32_t colorsUsed = 0;
  std::optional<ColorMasks> masks;
  std::uint32_t alphaMask = 0;

  bool IsCore() const { return size == kCoreHeaderSize; }
  bool IsRunLength() const { return compression == kRle8 || compression == kRle4; }
  std::int32_t Rows() const { return height < 0 ? -height : height; }
};

[[noreturn]] void Invalid() { throw ImageError(kInvalidBitmap); }

void ReadFileHeader(ByteReader& reader) {
  const auto header = reader.Bytes(kFileHeaderSize);
  if (header[0] != 'B' || header[1] != 'M') Invalid();
}

ColorMasks ReadMasks(ByteReader& reader) {
  ColorMasks masks;
  masks.red = reader.U32LE();
  masks.green = reader.U32LE();
  masks.blue = reader.U32LE();
  return masks;
}

BmpHeader ReadCoreHeader(ByteReader& reader) {
  BmpHeader header;
  header.size = kCoreHeaderSize;
  header.width = reader.U16LE();
  header.height = reader.U16LE();
  header.planes = reader.U16LE();
  header.bitsPerPixel = reader.U16LE();
  return header;
}

BmpHeader ReadInfoHeader(ByteReader& reader, std::uint32_t size) {
  ByteReader fields(reader.Bytes(size - 4), kReadError);
  BmpHeader header;
  header.size = size;
  header.width = fields.I32LE();
  header.height = fields.I32LE();
  header.planes = fields.U16LE();
  header.bitsPerPixel = fields.U16LE();
  header.compression = fields.U32LE();
  header.imageSize = fields.U32LE();
  header.pixelsPerMeterX = fields.I32LE();
  header.pixelsPerMeterY = fields.I32LE();
  header.colorsUsed = fields.U32LE();
  fields.Skip(4);  // colours important
  if (header.compression == kBitFields && size > kInfoHeaderSize) {
    // A header too short to hold the masks leaves the bit fields undefined.
    if (size < kHeaderSizeWithMasks) Invalid();
    header.masks = ReadMasks(fields);
  } else if (size >= kHeaderSizeWithAlphaMask) {
    fields.Skip(12);
  }
  if (size >= kHeaderSizeWithAlphaMask) header.alphaMask = fields.U32LE();
  return header;
}

BmpHeader ReadHeader(ByteReader& reader) {
  const std::uint32_t size = reader.U32LE();
  if (size == kCoreHeaderSize) return ReadCoreHeader(reader);
  if (size < kInfoHeaderSize) Invalid();
  return ReadInfoHeader(reader, size);
}

std::vector<PaletteEntry> ReadColorTable(ByteReader& reader, const BmpHeader& header) {
  std::uint32_t count = header.colorsUsed;
  if (count > kMaxColorEntries) Invalid();
  const unsigned depth = header.bitsPerPixel;
  if (count == 0 && (depth == 1 || depth == 4 || depth == 8)) count = 1u << depth;
  std::vector<PaletteEntry> table(count);
  for (auto& entry : table) {
    const auto bytes = reader.Bytes(header.IsCore() ? 3 : 4);
    entry = {bytes[0], bytes[1], bytes[2], header.IsCore() ? std::uint8_t{0} : bytes[3]};
  }
  return table;
}

PixelFormat FormatFor(std::uint16_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
      return PixelFormat::kIndexed1;
    case 4:
      return PixelFormat::kIndexed4;
    case 8:
      return PixelFormat::kIndexed8;
    case 16:
      return PixelFormat::kBits16;
    case 24:
      return PixelFormat::kBits24;
    case 32:
      return PixelFormat::kBits32;
  }
  Invalid();
}

void CheckLayout(const BmpHeader& header) {
  const auto depth = header.bitsPerPixel;
  FormatFor(depth);
  switch (header.compression) {
    case kUncompressed:
      break;
    case kRle8:
      if (depth != 8) Invalid();
      break;
    case kRle4:
      if (depth != 4) Invalid();
      break;
    case kBitFields:
      if (depth != 16 && depth != 32) Invalid();
      break;
    default:
      Invalid();
  }
  if (header.IsRunLength() && header.height < 0) Invalid();
  // The lowest height has no positive counterpart.
  if (header.width <= 0 || header.height == 0 ||
      header.height == std::numeric_limits<std::int32_t>::min()) {
    Invalid();
  }
}

// The pixel bytes the file holds: the declared amount, or fewer when the file ends early.
std::span<const std::uint8_t> ReadPixelData(ByteReader& reader, const BmpHeader& header) {
  std::uint64_t declared = header.imageSize;
  if (declared == 0) {
    declared = std::uint64_t{StrideFor(FormatFor(header.bitsPerPixel), header.width)} *
               static_cast<std::uint64_t>(header.Rows());
  }
  return reader.Bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>(declared, reader.Remaining())));
}

// The file's rows are the bitmap's layout; they are copied in pieces so that a stop is heard
// within one piece even on a gigabyte picture.
void CopyPixels(std::span<std::uint8_t> memory, std::span<const std::uint8_t> data,
                const DecodeOptions& options) {
  StopPoll poll(options.stopRequested, kBytesBetweenStopPolls);
  const std::size_t size = std::min(data.size(), memory.size());
  for (std::size_t at = 0; at < size; at += kBytesBetweenStopPolls) {
    const std::size_t piece = std::min(kBytesBetweenStopPolls, size - at);
    std::memcpy(memory.data() + at, data.data() + at, piece);
    poll.Advance(piece);
  }
}

Bitmap DecodePlain(std::span<const std::uint8_t> data, const BmpHeader& header,
                   std::vector<PaletteEntry> colorTable, const DecodeOptions& options) {
  const auto order = header.height < 0 ? StorageOrder::kTopDown : StorageOrder::kBottomUp;
  Bitmap bitmap(FormatFor(header.bitsPerPixel), header.width, header.Rows(), order);
  CopyPixels(bitmap.PixelMemory(), data, options);
  if (IsIndexed(bitmap.Format())) bitmap.colorTable = std::move(colorTable);
  if (header.compression == kBitFields) bitmap.masks = header.masks;
  return bitmap;
}

// The alpha field of each pixel of a 16- or 32-bit picture, widened to 8 bits as colours are;
// empty when every pixel's field is zero.
std::vector<std::uint8_t> MaskAlpha(const Bitmap& bitmap, std::uint32_t alphaMask) {
  const FieldWidener alphaOf(alphaMask);
  const int bytes = bitmap.Format() == PixelFormat::kBits16 ? 2 : 4;
  const auto width = static_cast<std::size_t>(bitmap.Width());
  std::vector<std::uint8_t> alpha(width * static_cast<std::size_t>(bitmap.Height()));
  for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
    const std::uint8_t* in = bitmap.RowPointer(row);
    std::uint8_t* out = alpha.data() + std::size_t(row) * width;
    for (std::size_t x = 0; x < width; ++x, in += bytes) {
      std::uint32_t word = in[0] | (in[1] << 8);
      if (bytes == 4) word |= (std::uint32_t{in[2]} << 16) | (std::uint32_t{in[3]} << 24);
      out[x] = alphaOf(word);
    }
  }
  // Writers that declare the mask but leave every alpha byte zero mean an opaque picture.
  if (std::all_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a == 0; })) return {};
  return alpha;
}

}  // namespace

Bitmap DecodeBmp(std::span<const std::uint8_t> file, const DecodeOptions& options) {
  if (file.empty()) return {};
  ByteReader reader(file, kReadError);
  ReadFileHeader(reader);
  BmpHeader header = ReadHeader(reader);
  if (header.planes != 1) Invalid();
  const bool masksFollow = header.size == kInfoHeaderSize && header.compression == kBitFields &&
                           (header.bitsPerPixel == 16 || header.bitsPerPixel == 32);
  if (masksFollow) header.masks = ReadMasks(reader);
  // The stored pixel offset is not trusted: the pixels follow the colour table directly.
  auto colorTable = ReadColorTable(reader, header);
  CheckLayout(header);
  CheckPictureSize(header.IsRunLength() ? PixelFormat::kDevice : FormatFor(header.bitsPerPixel),
                   header.width, header.Rows());
  const auto data = ReadPixelData(reader, header);

  Bitmap bitmap;
  if (header.IsRunLength()) {
    const auto coding =
        header.compression == kRle8 ? RunLengthCoding::kRle8 : RunLengthCoding::kRle4;
    bitmap = DecodeRunLength(data, coding, colorTable, header.width, header.height, options);
  } else {
    bitmap = DecodePlain(data, header, colorTable, options);
    // Only a header that declares an alpha mask gives alpha; other 32-bit files are opaque.
    const bool masked = header.bitsPerPixel == 16 || header.bitsPerPixel == 32;
    if (options.readAlpha && masked && header.alphaMask != 0) {
      bitmap.alpha = MaskAlpha(bitmap, header.alphaMask);
    }
  }
  bitmap.colorList = std::move(colorTable);
  bitmap.pixelsPerMeterX = header.pixelsPerMeterX;
  bitmap.pixelsPerMeterY = header.pixelsPerMeterY;
  bitmap.coreHeader = header.IsCore();
  return bitmap;
}

}  // namespace mirelay

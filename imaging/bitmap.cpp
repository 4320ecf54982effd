#include "imaging/bitmap.h"

#include <atomic>
#include <bit>
#include <string>
#include <utility>

#include "imaging/field_widener.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

std::atomic<std::size_t> maxPixelBytes{kDefaultMaxPixelBytes};

}  // namespace

std::size_t MaxPixelBytes() { return maxPixelBytes; }

void SetMaxPixelBytes(std::size_t bytes) { maxPixelBytes = bytes; }

int BitsPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::kNone:
      return 0;
    case PixelFormat::kIndexed1:
      return 1;
    case PixelFormat::kIndexed4:
      return 4;
    case PixelFormat::kIndexed8:
      return 8;
    case PixelFormat::kBits16:
      return 16;
    case PixelFormat::kBits24:
      return 24;
    case PixelFormat::kBits32:
    case PixelFormat::kDevice:
      return 32;
  }
  return 0;
}

bool IsIndexed(PixelFormat format) {
  return format == PixelFormat::kIndexed1 || format == PixelFormat::kIndexed4 ||
         format == PixelFormat::kIndexed8;
}

std::size_t StrideFor(PixelFormat format, std::int32_t width) {
  const auto bits = static_cast<std::uint64_t>(width) * BitsPerPixel(format);
  return static_cast<std::size_t>((bits + 31) / 32 * 4);
}

void CheckPictureSize(PixelFormat format, std::int32_t width, std::int32_t height) {
  if (width < 0 || height < 0) throw ImageError(FailureKind::kPictureTooLarge);
  const std::uint64_t stride = StrideFor(format, width);
  if (height != 0 && stride > MaxPixelBytes() / static_cast<std::uint64_t>(height)) {
    throw ImageError(FailureKind::kPictureTooLarge);
  }
}

Bitmap::Bitmap(PixelFormat format, std::int32_t width, std::int32_t height, StorageOrder order)
    : format_(format), width_(width), height_(height), order_(order) {
  CheckPictureSize(format, width, height);
  stride_ = StrideFor(format, width);
  pixels_.assign(stride_ * static_cast<std::size_t>(height), 0);
}

std::uint8_t* Bitmap::RowPointer(std::int32_t row) {
  return const_cast<std::uint8_t*>(std::as_const(*this).RowPointer(row));
}

const std::uint8_t* Bitmap::RowPointer(std::int32_t row) const {
  if (row < 0 || row >= height_ || pixels_.empty()) throw ImageError(kScanLineOutOfRange);
  const auto stored = order_ == StorageOrder::kBottomUp ? height_ - 1 - row : row;
  return pixels_.data() + static_cast<std::size_t>(stored) * stride_;
}

void TakeOver(Bitmap& target, const Bitmap& source) { TakeOver(target, Bitmap(source)); }

void TakeOver(Bitmap& target, Bitmap&& source) {
  const bool indexed = IsIndexed(source.Format());
  target = std::move(source);
  if (indexed) target.colorList = target.colorTable;
}

namespace {

constexpr ColorMasks kDefault16BitMasks{0x7C00, 0x03E0, 0x001F};
constexpr ColorMasks kDefault32BitMasks{0x00FF0000, 0x0000FF00, 0x000000FF};

void PutPixel(std::uint8_t* out, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  out[0] = blue;
  out[1] = green;
  out[2] = red;
}

void ConvertIndexedRow(const Bitmap& source, const std::uint8_t* in, std::uint8_t* out) {
  const int bits = BitsPerPixel(source.Format());
  const int perByte = 8 / bits;
  const unsigned indexMask = (1u << bits) - 1;
  const auto& table = source.colorTable;
  for (std::int32_t x = 0; x < source.Width(); ++x) {
    const int shift = 8 - bits * (x % perByte + 1);
    const unsigned index = (in[x / perByte] >> shift) & indexMask;
    // An index past the table shows black rather than reading outside it.
    const PaletteEntry entry = index < table.size() ? table[index] : PaletteEntry{};
    PutPixel(out + 3 * x, entry.blue, entry.green, entry.red);
  }
}

void ConvertMaskedRow(const Bitmap& source, const std::uint8_t* in, std::uint8_t* out) {
  const bool is16 = source.Format() == PixelFormat::kBits16;
  const ColorMasks masks = source.masks.value_or(is16 ? kDefault16BitMasks : kDefault32BitMasks);
  const FieldWidener red(masks.red), green(masks.green), blue(masks.blue);
  const int bytes = is16 ? 2 : 4;
  for (std::int32_t x = 0; x < source.Width(); ++x) {
    const std::uint8_t* p = in + bytes * x;
    std::uint32_t word = p[0] | (p[1] << 8);
    if (!is16) word |= (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    PutPixel(out + 3 * x, blue(word), green(word), red(word));
  }
}

void ConvertDeviceRow(std::int32_t width, const std::uint8_t* in, std::uint8_t* out) {
  for (std::int32_t x = 0; x < width; ++x)
    PutPixel(out + 3 * x, in[4 * x], in[4 * x + 1], in[4 * x + 2]);
}

}  // namespace

void ConvertTo24Bit(Bitmap& bitmap) {
  if (bitmap.Format() == PixelFormat::kBits24) return;
  Bitmap converted(PixelFormat::kBits24, bitmap.Width(), bitmap.HasPixels() ? bitmap.Height() : 0);
  converted.height_ = bitmap.Height();
  for (std::int32_t row = 0; converted.HasPixels() && row < bitmap.Height(); ++row) {
    const std::uint8_t* in = bitmap.RowPointer(row);
    std::uint8_t* out = converted.RowPointer(row);
    switch (bitmap.Format()) {
      case PixelFormat::kIndexed1:
      case PixelFormat::kIndexed4:
      case PixelFormat::kIndexed8:
        ConvertIndexedRow(bitmap, in, out);
        break;
      case PixelFormat::kBits16:
      case PixelFormat::kBits32:
        ConvertMaskedRow(bitmap, in, out);
        break;
      case PixelFormat::kDevice:
        ConvertDeviceRow(bitmap.Width(), in, out);
        break;
      case PixelFormat::kNone:
      case PixelFormat::kBits24:
        break;
    }
  }
  converted.colorList = std::move(bitmap.colorList);
  converted.coreHeader = bitmap.coreHeader;
  converted.transparency = bitmap.transparency;
  converted.alpha = std::move(bitmap.alpha);
  bitmap = std::move(converted);
}

}  // namespace mirelay

#include "imaging/bmp/bmp_write.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <span>
#include <utility>

#include "imaging/stop_poll.h"

namespace mirelay {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::size_t kMaxColorEntries = 256;
constexpr std::uint16_t kBitsPerPixel = 24;
constexpr std::int32_t kMaxCoreDimension = 0xFFFF;

class LittleEndianWriter {
 public:
  void U16(std::uint32_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void U32(std::uint32_t value) {
    U16(value & 0xFFFF);
    U16(value >> 16);
  }
  void Color(const PaletteEntry& entry) {
    bytes_.insert(bytes_.end(), {entry.blue, entry.green, entry.red, 0});
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A core header can describe neither a top-down picture nor sizes above 16 bits; such pictures
// get an information header instead of a file that would show something else.
bool UsesCoreHeader(const Bitmap& bitmap) {
  return bitmap.coreHeader && bitmap.Order() == StorageOrder::kBottomUp &&
         bitmap.Width() <= kMaxCoreDimension && bitmap.Height() <= kMaxCoreDimension;
}

void WriteFileHeader(LittleEndianWriter& out, std::uint32_t pixelOffset, std::uint32_t pixelBytes) {
  out.U16('B' | ('M' << 8));
  out.U32(pixelOffset + pixelBytes);
  out.U16(0);
  out.U16(0);
  out.U32(pixelOffset);
}

std::vector<std::uint8_t> CoreHeaders(const Bitmap& bitmap, std::uint32_t pixelBytes) {
  LittleEndianWriter out;
  WriteFileHeader(out, kFileHeaderSize + kCoreHeaderSize, pixelBytes);
  out.U32(kCoreHeaderSize);
  out.U16(static_cast<std::uint32_t>(bitmap.Width()) & 0xFFFF);
  out.U16(static_cast<std::uint32_t>(bitmap.Height()) & 0xFFFF);
  out.U16(1);
  out.U16(kBitsPerPixel);
  return out.Take();
}

std::vector<std::uint8_t> InfoHeaders(const Bitmap& bitmap, std::uint32_t pixelBytes) {
  const std::size_t colors = std::min(bitmap.colorList.size(), kMaxColorEntries);
  const auto pixelOffset =
      static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + 4 * colors);
  const bool topDown = bitmap.Order() == StorageOrder::kTopDown;
  LittleEndianWriter out;
  WriteFileHeader(out, pixelOffset, pixelBytes);
  out.U32(kInfoHeaderSize);
  out.U32(static_cast<std::uint32_t>(bitmap.Width()));
  out.U32(static_cast<std::uint32_t>(topDown ? -bitmap.Height() : bitmap.Height()));
  out.U16(1);
  out.U16(kBitsPerPixel);
  out.U32(0);  // no compression
  out.U32(pixelBytes);
  out.U32(static_cast<std::uint32_t>(bitmap.pixelsPerMeterX));
  out.U32(static_cast<std::uint32_t>(bitmap.pixelsPerMeterY));
  out.U32(static_cast<std::uint32_t>(colors));
  out.U32(0);  // colours important
  for (std::size_t i = 0; i < colors; ++i) out.Color(bitmap.colorList[i]);
  return out.Take();
}

using Sink = std::function<void(std::span<const std::uint8_t>)>;

// Headers, then the pixel memory exactly as stored, fill bytes included.
void WriteBmp(const Bitmap& bitmap, const Sink& write) {
  if (!bitmap.HasPixels()) return;
  if (bitmap.Format() != PixelFormat::kBits24) {
    Bitmap converted = bitmap;
    ConvertTo24Bit(converted);
    WriteBmp(converted, write);
    return;
  }
  const auto pixels = bitmap.PixelMemory();
  const auto pixelBytes = static_cast<std::uint32_t>(pixels.size());
  write(UsesCoreHeader(bitmap) ? CoreHeaders(bitmap, pixelBytes) : InfoHeaders(bitmap, pixelBytes));
  write(pixels);
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap) {
  std::vector<std::uint8_t> file;
  WriteBmp(bitmap, [&](std::span<const std::uint8_t> bytes) {
    file.insert(file.end(), bytes.begin(), bytes.end());
  });
  return file;
}

void WriteBmpTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options) {
  StopPoll poll(options.stopRequested, kBytesBetweenStopPolls);
  WriteBmp(bitmap, [&](std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kBytesBetweenStopPolls) {
      const auto piece = bytes.subspan(at, std::min(kBytesBetweenStopPolls, bytes.size() - at));
      file.Write(piece);
      poll.Advance(piece.size());
    }
  });
}

}  // namespace mirelay

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imaging/image_error.h"

namespace mirelay {

enum class PixelFormat {
  kNone,
  kIndexed1,
  kIndexed4,
  kIndexed8,
  kBits16,
  kBits24,
  kBits32,
  kDevice
};

// Bits per pixel of the in-memory layout. The device format is held as blue, green, red
// and one unused byte per pixel; nothing outside this module relies on that.
int BitsPerPixel(PixelFormat format);
bool IsIndexed(PixelFormat format);

struct PaletteEntry {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

struct ColorMasks {
  std::uint32_t red = 0;
  std::uint32_t green = 0;
  std::uint32_t blue = 0;
  friend bool operator==(const ColorMasks&, const ColorMasks&) = default;
};

enum class StorageOrder { kBottomUp, kTopDown };

// The transparent colour a decoder found in its file. `paletteIndex` is set when the colour
// names a palette entry rather than a colour of its own.
struct Transparency {
  bool enabled = false;
  PaletteEntry color;
  int paletteIndex = -1;
  friend bool operator==(const Transparency&, const Transparency&) = default;
};

// Pixel memory is capped so that no file can make a decoder allocate more than this: a file
// of a few bytes can declare a picture of gigabytes. Fuzz builds lower the cap so that no
// input spends seconds filling a gigabyte.
#ifdef MIRELAY_MAX_PIXEL_BYTES
inline constexpr std::size_t kDefaultMaxPixelBytes = MIRELAY_MAX_PIXEL_BYTES;
#else
inline constexpr std::size_t kDefaultMaxPixelBytes = std::size_t{1} << 30;
#endif

// The cap in force. It may be changed while other threads decode: each check sees either
// the old or the new value.
std::size_t MaxPixelBytes();
void SetMaxPixelBytes(std::size_t bytes);

// Row stride in bytes: rows are padded to whole 4-byte units.
std::size_t StrideFor(PixelFormat format, std::int32_t width);

// Throws ImageError(kPictureTooLarge) when such a picture would exceed MaxPixelBytes().
void CheckPictureSize(PixelFormat format, std::int32_t width, std::int32_t height);

// An in-memory picture that owns its pixels; copies never share memory.
class Bitmap {
 public:
  Bitmap() = default;
  // Zero-filled pixel memory. Throws ImageError for sizes beyond MaxPixelBytes().
  Bitmap(PixelFormat format, std::int32_t width, std::int32_t height,
         StorageOrder order = StorageOrder::kBottomUp);

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  PixelFormat Format() const { return format_; }
  StorageOrder Order() const { return order_; }
  std::size_t Stride() const { return stride_; }
  bool HasPixels() const { return !pixels_.empty(); }

  // Row 0 is the top row in both storage orders. Throws ImageError for a row outside the picture.
  std::uint8_t* RowPointer(std::int32_t row);
  const std::uint8_t* RowPointer(std::int32_t row) const;

  // The whole pixel memory as stored (bottom row first for bottom-up pictures).
  std::span<std::uint8_t> PixelMemory() { return pixels_; }
  std::span<const std::uint8_t> PixelMemory() const { return pixels_; }

  // Colour table of the indexed formats (at most 256 entries).
  std::vector<PaletteEntry> colorTable;
  // Field masks of the 16- and 32-bit formats; none means the default layout.
  std::optional<ColorMasks> masks;

  // Attributes for the writers and the preview; they never change pixel values.
  std::vector<PaletteEntry> colorList;
  std::int32_t pixelsPerMeterX = 0;
  std::int32_t pixelsPerMeterY = 0;
  bool coreHeader = false;
  Transparency transparency;
  // The opacity of each pixel (0 transparent, 255 opaque), Width() bytes a row, row 0 at the
  // top; empty unless the decode was asked for alpha (DecodeOptions::readAlpha) and the file
  // carries it. Colour conversions leave it as it is.
  std::vector<std::uint8_t> alpha;

 private:
  friend void ConvertTo24Bit(Bitmap& bitmap);

  PixelFormat format_ = PixelFormat::kNone;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  StorageOrder order_ = StorageOrder::kBottomUp;
  std::size_t stride_ = 0;
  std::vector<std::uint8_t> pixels_;
};

inline constexpr ErrorWords kScanLineOutOfRange{"スキャンライン のインデックスが範囲を越えました",
                                                "Scan line index out of bounds"};

// The target becomes a copy of the source with all its attributes; an indexed source's
// colour table becomes the target's colour list.
void TakeOver(Bitmap& target, const Bitmap& source);
// The same for a source that is not needed afterwards: its pixels move instead of being copied,
// so a load never holds a big picture twice.
void TakeOver(Bitmap& target, Bitmap&& source);

// Brings any bitmap to the 24-bit format (blue, green, red); a 24-bit bitmap is left as it is.
void ConvertTo24Bit(Bitmap& bitmap);

}  // namespace mirelay

#include "imaging/bmp/bmp_rle.h"

#include <algorithm>
#include <cstddef>

#include "imaging/byte_reader.h"
#include "imaging/stop_poll.h"

namespace mirelay {

namespace {

constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfBitmap = 1;
constexpr std::uint8_t kDelta = 2;

// The decode target with its drawing position, counted from the bottom row as the data is.
class Canvas {
 public:
  Canvas(Bitmap& bitmap, const std::vector<PaletteEntry>& colorTable)
      : memory_(bitmap.PixelMemory()),
        stride_(bitmap.Stride()),
        width_(bitmap.Width()),
        height_(bitmap.Height()),
        colorTable_(colorTable) {}

  // The position only ever moves down the picture, so once below it nothing more can be drawn.
  bool Done() const { return y_ >= height_; }

  void Put(unsigned index) {
    if (x_ >= width_ || Done()) return;
    const PaletteEntry color = index < colorTable_.size() ? colorTable_[index] : PaletteEntry{};
    std::uint8_t* pixel = memory_.data() + static_cast<std::size_t>(y_) * stride_ + 4 * x_;
    pixel[0] = color.blue;
    pixel[1] = color.green;
    pixel[2] = color.red;
    ++x_;
  }

  void EndOfLine() {
    x_ = 0;
    ++y_;
  }

  // Positions right of the picture are all equivalent, so x stays clamped to the width.
  void Move(unsigned right, unsigned up) {
    x_ = std::min<std::int64_t>(x_ + right, width_);
    y_ += up;
  }

 private:
  std::span<std::uint8_t> memory_;
  std::size_t stride_;
  std::int64_t width_;
  std::int64_t height_;
  const std::vector<PaletteEntry>& colorTable_;
  std::int64_t x_ = 0;
  std::int64_t y_ = 0;
};

// Index `i` of packed data: a byte each for RLE8, two nibbles a byte (high first) for RLE4.
unsigned IndexAt(std::span<const std::uint8_t> packed, std::size_t i, RunLengthCoding coding) {
  if (coding == RunLengthCoding::kRle8) return packed[i];
  return i % 2 == 0 ? packed[i / 2] >> 4 : packed[i / 2] & 0x0F;
}

void EncodedRun(Canvas& canvas, unsigned count, std::uint8_t value, RunLengthCoding coding) {
  const std::uint8_t packed[] = {value, value};
  for (unsigned i = 0; i < count; ++i) canvas.Put(IndexAt(packed, i % 2, coding));
}

// Absolute runs are padded to a whole 16-bit word.
void AbsoluteRun(ByteReader& input, Canvas& canvas, unsigned count, RunLengthCoding coding) {
  const std::size_t bytes = coding == RunLengthCoding::kRle8 ? count : (count + 1) / 2;
  const std::size_t padded = bytes + bytes % 2;
  const auto run = input.Bytes(std::min(padded, input.Remaining()));
  const std::size_t available = coding == RunLengthCoding::kRle8 ? run.size() : 2 * run.size();
  for (std::size_t i = 0; i < std::min<std::size_t>(count, available); ++i) {
    canvas.Put(IndexAt(run, i, coding));
  }
}

}  // namespace

Bitmap DecodeRunLength(std::span<const std::uint8_t> data, RunLengthCoding coding,
                       const std::vector<PaletteEntry>& colorTable, std::int32_t width,
                       std::int32_t height, const DecodeOptions& options) {
  Bitmap bitmap(PixelFormat::kDevice, width, height);
  Canvas canvas(bitmap, colorTable);
  ByteReader input(data, std::string());
  // Counted in pixels the instructions cover, drawn or clipped.
  StopPoll poll(options.stopRequested, kBytesBetweenStopPolls);
  while (!canvas.Done() && input.Remaining() >= 2) {
    const std::uint8_t count = input.U8();
    const std::uint8_t value = input.U8();
    poll.Advance(std::size_t{count > 0 ? count : value} + 1);
    if (count > 0) {
      EncodedRun(canvas, count, value, coding);
      continue;
    }
    if (value == kEndOfBitmap) break;
    if (value == kEndOfLine) {
      canvas.EndOfLine();
    } else if (value == kDelta) {
      if (input.Remaining() < 2) break;
      const std::uint8_t right = input.U8();
      canvas.Move(right, input.U8());
    } else {
      AbsoluteRun(input, canvas, value, coding);
    }
  }
  return bitmap;
}

}  // namespace mirelay

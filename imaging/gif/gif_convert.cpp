#include "imaging/gif/gif_convert.h"

#include <algorithm>

#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/gif/gif_cube.h"
#include "imaging/gif/gif_read.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

constexpr std::uint8_t kCubeWhite = kCubeColors - 1;

// An index past the end of the table shows black rather than reading outside it.
GifColor ColorAt(const GifColorTable& table, std::uint8_t index) {
  return index < table.size() ? table[index] : GifColor{};
}

PaletteEntry ToPaletteEntry(GifColor color) { return {color.blue, color.green, color.red, 0}; }

std::vector<PaletteEntry> ToPalette(const GifColorTable& table) {
  std::vector<PaletteEntry> palette;
  palette.reserve(table.size());
  for (const auto color : table) palette.push_back(ToPaletteEntry(color));
  return palette;
}

std::vector<PaletteEntry> CubePalette() {
  std::vector<PaletteEntry> palette;
  palette.reserve(kCubeColors);
  for (int index = 0; index < kCubeColors; ++index)
    palette.push_back(ToPaletteEntry(CubeColor(index)));
  return palette;
}

// Floyd-Steinberg error diffusion onto the cube, left to right on every row; each channel
// goes to its nearest cube level.
class CubeDitherer {
 public:
  explicit CubeDitherer(std::size_t width) : current_(3 * (width + 2)), next_(3 * (width + 2)) {}

  // `width` may shrink from row to row, never grow: only the errors of the columns in use are
  // cleared and carried.
  void Row(const GifColorTable& table, const std::uint8_t* indices, std::size_t width,
           std::uint8_t* out) {
    std::fill_n(next_.begin(), 3 * (width + 2), 0);
    for (std::size_t x = 0; x < width; ++x) {
      const GifColor color = ColorAt(table, indices[x]);
      const int levels[3] = {Quantise(x, 0, color.red), Quantise(x, 1, color.green),
                             Quantise(x, 2, color.blue)};
      out[x] = CubeIndex(levels[0], levels[1], levels[2]);
    }
    std::swap(current_, next_);
  }

 private:
  // Errors of pixel x live at 3 * (x + 1): one spare slot on each side.
  int Quantise(std::size_t x, int channel, std::uint8_t value) {
    const std::size_t at = 3 * (x + 1) + channel;
    const int wanted = std::clamp(value + current_[at] / 16, 0, 255);
    const int level = (wanted + kCubeStep / 2) / kCubeStep;
    const int error = wanted - level * kCubeStep;
    current_[at + 3] += error * 7;
    next_[at - 3] += error * 3;
    next_[at] += error * 5;
    next_[at + 3] += error;
    return level;
  }

  std::vector<int> current_;
  std::vector<int> next_;
};

// Only what can reach the screen is dithered. Each row carries errors one column to the left
// into the next, so a row needs the screen's columns and one more past its right edge for each
// row below it that the screen shows; the reader keeps those columns for a palette display.
Bitmap DitheredFramePicture(const GifColorTable& table, const GifFrame& frame, GifFrameClip clip) {
  Bitmap picture(PixelFormat::kIndexed8, frame.keptWidth, frame.keptHeight);
  picture.colorTable = CubePalette();
  const std::int32_t rows = std::min<std::int32_t>(clip.height, frame.keptHeight);
  if (clip.width == 0 || rows == 0) return picture;
  const auto columnsOf = [&](std::int32_t row) {
    return std::min<std::size_t>(frame.keptWidth,
                                 std::size_t(clip.width) + std::size_t(clip.height - 1 - row));
  };
  CubeDitherer ditherer(columnsOf(0));
  for (std::int32_t row = 0; row < rows; ++row) {
    const std::uint8_t* indices = frame.indices.data() + std::size_t(row) * frame.keptWidth;
    ditherer.Row(table, indices, columnsOf(row), picture.RowPointer(row));
  }
  return picture;
}

// The frame's part on the screen, as far as `picture` holds it.
GifFrameClip PaintedClip(const GifImage& image, const GifFrame& frame, const Bitmap& picture) {
  const GifFrameClip clip = image.ScreenClip(frame);
  return {std::min(clip.width, picture.Width()), std::min(clip.height, picture.Height())};
}

Bitmap ComposeOnDeviceScreen(const GifImage& image, const GifFrame& frame, const Bitmap& picture) {
  Bitmap screen(PixelFormat::kDevice, image.width, image.height);
  for (std::int32_t row = 0; row < screen.Height(); ++row) {
    std::uint8_t* out = screen.RowPointer(row);
    for (std::int32_t x = 0; x < screen.Width(); ++x) std::memset(out + 4 * x, 0xFF, 3);
  }
  const auto clip = PaintedClip(image, frame, picture);
  for (std::int32_t row = 0; row < clip.height; ++row) {
    const std::uint8_t* in = picture.RowPointer(row);
    std::uint8_t* out = screen.RowPointer(frame.top + row) + 4 * frame.left;
    for (std::int32_t x = 0; x < clip.width; ++x, out += 4) {
      const GifColor color = ColorAt(image.ActiveColorTable(frame), in[x]);
      out[0] = color.blue;
      out[1] = color.green;
      out[2] = color.red;
    }
  }
  return screen;
}

Bitmap ComposeOnCubeScreen(const GifImage& image, const GifFrame& frame, const Bitmap& picture) {
  Bitmap screen(PixelFormat::kIndexed8, image.width, image.height);
  screen.colorTable = CubePalette();
  for (std::int32_t row = 0; row < screen.Height(); ++row) {
    std::memset(screen.RowPointer(row), kCubeWhite, screen.Width());
  }
  const auto clip = PaintedClip(image, frame, picture);
  for (std::int32_t row = 0; row < clip.height; ++row) {
    std::memcpy(screen.RowPointer(frame.top + row) + frame.left, picture.RowPointer(row),
                clip.width);
  }
  return screen;
}

}  // namespace

Bitmap FramePicture(const GifImage& image, const GifFrame& frame, bool paletteDisplay) {
  const auto& table = image.ActiveColorTable(frame);
  if (table.empty()) throw ImageError(kGifNoColorTable);
  if (frame.Empty()) return {};
  if (paletteDisplay) return DitheredFramePicture(table, frame, image.ScreenClip(frame));
  Bitmap picture(PixelFormat::kIndexed8, frame.keptWidth, frame.keptHeight);
  picture.colorTable = ToPalette(table);
  for (std::int32_t row = 0; row < frame.keptHeight; ++row) {
    std::memcpy(picture.RowPointer(row), frame.indices.data() + std::size_t(row) * frame.keptWidth,
                frame.keptWidth);
  }
  return picture;
}

Bitmap GifToBitmap(const GifImage& image, bool paletteDisplay) {
  if (image.frames.empty()) return {};
  const auto& frame = image.frames.front();
  Bitmap picture = FramePicture(image, frame, paletteDisplay);
  if (frame.width == image.width && frame.height == image.height) return picture;
  if (image.width == 0 || image.height == 0) return {};
  return paletteDisplay ? ComposeOnCubeScreen(image, frame, picture)
                        : ComposeOnDeviceScreen(image, frame, picture);
}

std::vector<std::uint8_t> GifAlpha(const GifImage& image, const Bitmap& picture) {
  if (image.frames.empty() || !picture.HasPixels()) return {};
  const GifFrame& frame = image.frames.front();
  if (frame.Empty() || !frame.Transparent()) return {};
  // A frame as large as the screen is the picture itself, wherever the file places it.
  const bool whole = frame.width == image.width && frame.height == image.height;
  const std::int32_t left = whole ? 0 : frame.left, top = whole ? 0 : frame.top;
  const std::int32_t columns =
      std::min<std::int32_t>(frame.keptWidth, std::max(0, picture.Width() - left));
  const std::int32_t rows =
      std::min<std::int32_t>(frame.keptHeight, std::max(0, picture.Height() - top));
  const auto width = static_cast<std::size_t>(picture.Width());
  std::vector<std::uint8_t> alpha(width * static_cast<std::size_t>(picture.Height()), 255);
  const std::uint8_t transparent = frame.TransparentIndex();
  for (std::int32_t row = 0; row < rows; ++row) {
    const std::uint8_t* in = frame.indices.data() + std::size_t(row) * frame.keptWidth;
    std::uint8_t* out = alpha.data() + std::size_t(top + row) * width + left;
    for (std::int32_t x = 0; x < columns; ++x) {
      if (in[x] == transparent) out[x] = 0;
    }
  }
  return alpha;
}

Bitmap DecodeGif(std::span<const std::uint8_t> file, const DecodeOptions& options) {
  const GifImage image = DecodeGifImage(file, KeptFrames::kFirst, options);
  Bitmap picture = GifToBitmap(image, options.paletteDisplay);
  if (options.readAlpha) picture.alpha = GifAlpha(image, picture);
  return picture;
}

}  // namespace mirelay

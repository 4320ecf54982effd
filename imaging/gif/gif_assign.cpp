#include "imaging/gif/gif_assign.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "imaging/gif/gif_cube.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

// The largest table a GIF holds; a table of fewer entries is padded with black when written.
constexpr std::size_t kTableEntries = 256;
constexpr std::int32_t kLargestSide = std::numeric_limits<std::uint16_t>::max();
constexpr char kGifTooLarge[] = "Image too large for GIF";

// (v + 3) div 51 rather than the nearest level: this is the reduction the files have always had.
constexpr int CubeLevel(std::uint8_t value) { return (value + 3) / kCubeStep; }

GifColorTable CubeTable() {
  GifColorTable table(kCubeColors);
  for (int index = 0; index < kCubeColors; ++index) table[index] = CubeColor(index);
  return table;
}

std::vector<std::uint8_t> ReduceToCube(const Bitmap& bitmap) {
  const std::size_t width = bitmap.Width();
  std::vector<std::uint8_t> indices(width * bitmap.Height());
  for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
    const std::uint8_t* in = bitmap.RowPointer(row);
    std::uint8_t* out = indices.data() + row * width;
    for (std::size_t x = 0; x < width; ++x, in += 3) {
      out[x] = CubeIndex(CubeLevel(in[2]), CubeLevel(in[1]), CubeLevel(in[0]));
    }
  }
  return indices;
}

std::optional<PaletteEntry> TransparentColor(const Bitmap& bitmap) {
  const auto& transparency = bitmap.transparency;
  if (!transparency.enabled) return std::nullopt;
  if (transparency.paletteIndex < 0) return transparency.color;
  // A palette index that names no colour of the list marks nothing.
  if (static_cast<std::size_t>(transparency.paletteIndex) >= bitmap.colorList.size()) {
    return std::nullopt;
  }
  return bitmap.colorList[transparency.paletteIndex];
}

struct IndexUse {
  std::size_t count = 0;
  std::uint8_t index = 0;
};

using IndexUses = std::vector<IndexUse>;

// Largest count first. This exact quicksort, not a stable sort, fixes the order of colours
// that are used equally often, and with it the bytes of the file.
void SortByUse(IndexUses& uses, int lo, int hi) {
  int i = 0;
  do {
    i = lo;
    int j = hi;
    const std::size_t pivot = uses[(lo + hi) / 2].count;
    do {
      while (uses[i].count > pivot) ++i;
      while (uses[j].count < pivot) --j;
      if (i <= j) {
        std::swap(uses[i], uses[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (lo < j) SortByUse(uses, lo, j);
    lo = i;
  } while (i < hi);
}

// Puts the most used colours first and drops the unused ones, so that a free entry is left
// for the transparent colour. Only the frame's own entries take part: the sort's partitions,
// and so the order of equally used colours, depend on how many pairs it sees.
void SortTableByUse(GifFrame& frame) {
  IndexUses uses(frame.localColorTable.size());
  for (std::size_t index = 0; index < uses.size(); ++index) {
    uses[index].index = static_cast<std::uint8_t>(index);
  }
  for (const std::uint8_t index : frame.indices) ++uses[index].count;
  SortByUse(uses, 0, static_cast<int>(uses.size()) - 1);
  bool inOrder = true;
  for (std::size_t position = 0; position < uses.size(); ++position) {
    inOrder = inOrder && uses[position].index == position;
  }
  if (inOrder) return;
  std::array<std::uint8_t, kTableEntries> newIndex{};
  GifColorTable sorted;
  for (std::size_t position = 0; position < uses.size(); ++position) {
    newIndex[uses[position].index] = static_cast<std::uint8_t>(position);
    // Sorted largest first, so the unused colours form the tail that is cut.
    if (uses[position].count > 0) sorted.push_back(frame.localColorTable[uses[position].index]);
  }
  for (auto& index : frame.indices) index = newIndex[index];
  frame.localColorTable = std::move(sorted);
}

void MarkTransparentPixels(const Bitmap& bitmap, PaletteEntry color, GifFrame& frame) {
  const std::size_t size = frame.localColorTable.size();
  if (size == 0 || size == kTableEntries) return;
  const auto transparentIndex = static_cast<std::uint8_t>(size);
  bool marked = false;
  for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
    const std::uint8_t* in = bitmap.RowPointer(row);
    std::uint8_t* out = frame.indices.data() + std::size_t(row) * frame.width;
    for (std::int32_t x = 0; x < bitmap.Width(); ++x, in += 3) {
      if (in[0] == color.blue && in[1] == color.green && in[2] == color.red) {
        out[x] = transparentIndex;
        marked = true;
      }
    }
  }
  if (!marked) return;
  frame.localColorTable.push_back({});
  GifGraphicControlExtension control;
  control.transparent = true;
  control.transparentIndex = transparentIndex;
  // A frame made from a bitmap has no other extension.
  frame.extensions.assign(1, control);
}

GifFrame CubeFrame(const Bitmap& bitmap) {
  GifFrame frame;
  frame.width = static_cast<std::uint16_t>(bitmap.Width());
  frame.height = static_cast<std::uint16_t>(bitmap.Height());
  frame.keptWidth = frame.width;
  frame.keptHeight = frame.height;
  frame.localColorTable = CubeTable();
  frame.indices = ReduceToCube(bitmap);
  frame.hasImage = true;
  return frame;
}

}  // namespace

int ColorTableBits(std::size_t size) {
  int bits = 1;
  while ((std::size_t{1} << bits) < size) ++bits;
  return bits;
}

GifImage GifImageFromBitmap(const Bitmap& source) {
  if (source.Width() > kLargestSide || source.Height() > kLargestSide) {
    throw ImageError(kGifTooLarge);
  }
  GifImage image;
  image.width = static_cast<std::uint16_t>(source.Width());
  image.height = static_cast<std::uint16_t>(source.Height());
  if (image.width == 0 || image.height == 0) {
    image.packed = 0x77;
    image.frames.emplace_back();
    return image;
  }
  Bitmap converted;
  const Bitmap* bitmap = &source;
  if (source.Format() != PixelFormat::kBits24) {
    converted = source;
    ConvertTo24Bit(converted);
    bitmap = &converted;
  }
  GifFrame frame = CubeFrame(*bitmap);
  if (const auto color = TransparentColor(source)) {
    SortTableByUse(frame);
    MarkTransparentPixels(*bitmap, *color, frame);
  }
  const int bits = ColorTableBits(frame.localColorTable.size());
  image.packed = static_cast<std::uint8_t>((bits - 1) * 16 + (bits - 1));
  image.frames.push_back(std::move(frame));
  return image;
}

}  // namespace mirelay

#include "batch/overlay.h"

#include <algorithm>
#include <cstring>

#include "files/file_status.h"
#include "files/input_file.h"
#include "imaging/image_lib.h"

namespace mirelay {

namespace {

std::uint8_t Distance(std::uint8_t a, std::uint8_t b) { return std::max(a, b) - std::min(a, b); }

// Keeps the bits of `kept` where `mask` is clear and takes those of `taken` where it is set.
std::uint8_t Blend(std::uint8_t kept, std::uint8_t taken, std::uint8_t mask) {
  return (kept & ~mask) | (taken & mask);
}

// Grouped 3-byte loads only become vector code with byte shuffles that baseline x86-64 lacks,
// so the row loop is also built for newer instruction sets and picked when the program loads.
// Not under ThreadSanitizer, whose instrumented resolver would run before the sanitizer starts.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define MIRELAY_VECTOR_CLONES \
  __attribute__((target_clones("arch=x86-64-v4", "avx2", "sse4.1", "default")))
#else
#define MIRELAY_VECTOR_CLONES
#endif

// One row of the overlap for a threshold of 0..254. Every step is a byte operation without
// branches so that the loop vectorises; a transparent pixel writes the base's own bytes back.
MIRELAY_VECTOR_CLONES
void OverlayRow(std::uint8_t* __restrict out, const std::uint8_t* __restrict in, std::int32_t width,
                const std::uint8_t* key, std::uint8_t threshold) {
  const std::uint8_t keyBlue = key[0], keyGreen = key[1], keyRed = key[2];
  for (std::int32_t x = 0; x < width; ++x, in += 3, out += 3) {
    const std::uint8_t blue = in[0], green = in[1], red = in[2];
    const bool opaque = (Distance(blue, keyBlue) > threshold) |
                        (Distance(green, keyGreen) > threshold) |
                        (Distance(red, keyRed) > threshold);
    const auto mask = static_cast<std::uint8_t>(-static_cast<int>(opaque));
    out[0] = Blend(out[0], blue, mask);
    out[1] = Blend(out[1], green, mask);
    out[2] = Blend(out[2], red, mask);
  }
}

// One row of the overlap by the part's alpha, in 16-bit lanes: every sum stays below 65536.
MIRELAY_VECTOR_CLONES
void BlendRow(std::uint8_t* __restrict out, const std::uint8_t* __restrict in,
              const std::uint8_t* __restrict alpha, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x, in += 3, out += 3) {
    const std::uint16_t a = alpha[x], rest = 255 - a;
    for (int channel = 0; channel < 3; ++channel) {
      out[channel] = static_cast<std::uint8_t>((in[channel] * a + out[channel] * rest + 127) / 255);
    }
  }
}

}  // namespace

void OverlayAlpha(Bitmap& base, const Bitmap& part) {
  const std::int32_t width = std::min(base.Width(), part.Width());
  const std::int32_t height = std::min(base.Height(), part.Height());
  const auto partWidth = static_cast<std::size_t>(part.Width());
  for (std::int32_t y = 0; y < height; ++y) {
    BlendRow(base.RowPointer(y), part.RowPointer(y), part.alpha.data() + y * partWidth, width);
  }
}

void OverlayPart(Bitmap& base, const Bitmap& part, std::int32_t threshold) {
  if (part.alpha.empty()) {
    OverlayColorKey(base, part, threshold);
  } else {
    OverlayAlpha(base, part);
  }
}

bool HasTransparentPixels(const Bitmap& picture) {
  return std::any_of(picture.alpha.begin(), picture.alpha.end(),
                     [](std::uint8_t a) { return a != 255; });
}

void OverlayColorKey(Bitmap& base, const Bitmap& part, std::int32_t threshold) {
  const std::uint8_t* partRow0 = part.RowPointer(0);
  const std::uint8_t key[] = {partRow0[0], partRow0[1], partRow0[2]};
  // Every channel distance is at most 255, so no pixel is copied from this threshold on.
  if (threshold >= 255) return;
  const std::int32_t width = std::min(base.Width(), part.Width());
  const std::int32_t height = std::min(base.Height(), part.Height());
  // Rows are independent, so they are visited in the order the base holds them in memory,
  // which keeps the hardware prefetcher ahead of the loop.
  const bool bottomUp = base.Order() == StorageOrder::kBottomUp;
  for (std::int32_t step = 0; step < height; ++step) {
    const std::int32_t y = bottomUp ? height - 1 - step : step;
    const std::uint8_t* in = part.RowPointer(y);
    std::uint8_t* out = base.RowPointer(y);
    // Below zero even the key colour is copied: the whole overlap row is the part's.
    if (threshold < 0) {
      std::memcpy(out, in, 3 * static_cast<std::size_t>(width));
    } else {
      OverlayRow(out, in, width, key, static_cast<std::uint8_t>(threshold));
    }
  }
}

bool MergePair(const std::string& basePath, const std::string& partPath, Bitmap& baseBitmap,
               Bitmap& partBitmap, std::int32_t threshold, const DecodeOptions& options,
               bool alphaBlend) {
  if (!FileExists(basePath) || !FileExists(partPath)) return false;
  DecodeOptions baseOptions = options;
  baseOptions.readAlpha = false;
  const bool baseDecoded = LoadImageToBitmap(basePath, baseBitmap, baseOptions) != kFormatUnknown;
  ConvertTo24Bit(baseBitmap);
  const bool partDecoded =
      baseDecoded && LoadImageToBitmap(partPath, partBitmap, options) != kFormatUnknown;
  ConvertTo24Bit(partBitmap);
  if (!partDecoded) return false;
  if (alphaBlend && !partBitmap.alpha.empty()) {
    OverlayAlpha(baseBitmap, partBitmap);
  } else {
    OverlayColorKey(baseBitmap, partBitmap, threshold);
  }
  return true;
}

}  // namespace mirelay

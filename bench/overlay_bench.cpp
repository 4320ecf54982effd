#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "batch/overlay.h"

namespace mirelay {
namespace {

constexpr std::int32_t kWidth = 4000;
constexpr std::int32_t kHeight = 3000;
constexpr std::size_t kPixelBytes = std::size_t{kWidth} * kHeight * 3;
constexpr std::uint8_t kKey[] = {0, 255, 0};

void Paint(Bitmap& bitmap, int x, int row, std::uint8_t blue, std::uint8_t green,
           std::uint8_t red) {
  std::uint8_t* p = bitmap.RowPointer(row) + 3 * x;
  p[0] = blue;
  p[1] = green;
  p[2] = red;
}

// A key-coloured background under filled circles of many sizes and colours until about half
// the picture is covered, like a drawn overlay; the shapes' colours vary a little along x.
Bitmap MakePart() {
  Bitmap part(PixelFormat::kBits24, kWidth, kHeight);
  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) Paint(part, x, row, kKey[0], kKey[1], kKey[2]);
  }
  std::mt19937 random(7);
  std::size_t covered = 0;
  std::vector<bool> painted(std::size_t{kWidth} * kHeight);
  while (covered < painted.size() / 2) {
    const int centreX = random() % kWidth, centreY = random() % kHeight;
    const int radius = 20 + random() % 300;
    const auto blue = static_cast<std::uint8_t>(random()),
               red = static_cast<std::uint8_t>(random());
    for (int row = std::max(0, centreY - radius); row < std::min(kHeight, centreY + radius);
         ++row) {
      for (int x = std::max(0, centreX - radius); x < std::min(kWidth, centreX + radius); ++x) {
        const int dx = x - centreX, dy = row - centreY;
        if (dx * dx + dy * dy > radius * radius) continue;
        Paint(part, x, row, blue, static_cast<std::uint8_t>(x / 16), red);
        const auto index = static_cast<std::size_t>(row) * kWidth + x;
        covered += !painted[index];
        painted[index] = true;
      }
    }
  }
  return part;
}

Bitmap MakeBase() {
  Bitmap base(PixelFormat::kBits24, kWidth, kHeight);
  auto memory = base.PixelMemory();
  for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<std::uint8_t>(i * 7);
  return base;
}

void BM_OverlayColorKey(benchmark::State& state) {
  static const Bitmap part = MakePart();
  Bitmap base = MakeBase();
  const auto threshold = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    OverlayColorKey(base, part, threshold);
    benchmark::DoNotOptimize(base.PixelMemory().data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPixelBytes));
}
BENCHMARK(BM_OverlayColorKey)->Arg(0)->Arg(30)->Unit(benchmark::kMillisecond);

// The same part laid on by an alpha plane: the key colour transparent, the shapes opaque with
// soft edges, as an exported part with real alpha has them.
void BM_OverlayAlpha(benchmark::State& state) {
  static const Bitmap part = [] {
    Bitmap withAlpha = MakePart();
    withAlpha.alpha.resize(std::size_t{kWidth} * kHeight);
    for (int row = 0; row < kHeight; ++row) {
      const std::uint8_t* p = withAlpha.RowPointer(row);
      for (int x = 0; x < kWidth; ++x, p += 3) {
        const bool key = p[0] == kKey[0] && p[1] == kKey[1] && p[2] == kKey[2];
        withAlpha.alpha[std::size_t(row) * kWidth + x] =
            key ? 0 : static_cast<std::uint8_t>(255 - (x % 7));
      }
    }
    return withAlpha;
  }();
  Bitmap base = MakeBase();
  for (auto _ : state) {
    OverlayAlpha(base, part);
    benchmark::DoNotOptimize(base.PixelMemory().data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPixelBytes));
}
BENCHMARK(BM_OverlayAlpha)->Unit(benchmark::kMillisecond);

// The floor: copying as many bytes as the picture holds.
void BM_MemcpyPicture(benchmark::State& state) {
  std::vector<std::uint8_t> from(kPixelBytes, 1), to(kPixelBytes, 2);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kPixelBytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPixelBytes));
}
BENCHMARK(BM_MemcpyPicture)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelay

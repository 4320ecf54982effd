#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "files/file_error.h"
#include "imaging/gif/gif_convert.h"
#include "imaging/image_lib.h"

namespace mirelay {
namespace {

// A 1024 x 768 photo-like gradient with some noise, as a 24-bit working image.
Bitmap TestPicture() {
  Bitmap bitmap(PixelFormat::kBits24, 1024, 768);
  unsigned noise = 1;
  for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
    std::uint8_t* out = bitmap.RowPointer(row);
    for (std::int32_t x = 0; x < bitmap.Width(); ++x) {
      noise = noise * 1103515245 + 12345;
      out[3 * x] = static_cast<std::uint8_t>(x / 4 + (noise >> 28));
      out[3 * x + 1] = static_cast<std::uint8_t>(row / 3);
      out[3 * x + 2] = static_cast<std::uint8_t>((x + row) / 7);
    }
  }
  return bitmap;
}

std::string BenchFile() { return "/tmp/mirelay-gif-bench-" + std::to_string(::getpid()) + ".gif"; }

void BM_GifSave1024x768(benchmark::State& state) {
  const Bitmap picture = TestPicture();
  const auto path = BenchFile();
  for (auto _ : state) SaveBitmapAs(path, &picture, kFormatGif);
  std::remove(path.c_str());
}
BENCHMARK(BM_GifSave1024x768)->Unit(benchmark::kMillisecond);

void BM_GifDecodeAndConvert1024x768(benchmark::State& state) {
  const auto path = BenchFile();
  const Bitmap picture = TestPicture();
  SaveBitmapAs(path, &picture, kFormatGif);
  const auto file = ReadWholeFile(path);
  std::remove(path.c_str());
  for (auto _ : state) {
    Bitmap bitmap = DecodeGif(file);
    ConvertTo24Bit(bitmap);
    benchmark::DoNotOptimize(bitmap.PixelMemory().data());
  }
}
BENCHMARK(BM_GifDecodeAndConvert1024x768)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelay

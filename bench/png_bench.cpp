// PNG encoding and decoding speed beside plain zlib deflate and a plain libpng read of the
// same data. Bytes processed are the filtered rows (filter byte plus red, green, blue).

#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "imaging/png/png_read.h"
#include "imaging/png/png_write.h"

namespace mirelay {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr PngTime kTime{2026, 1, 1, 0, 0, 0};
constexpr std::array<std::array<int, 2>, 2> kSizes = {{{1920, 1080}, {4000, 3000}}};

// Smooth gradients with a little noise, seeded so that every run measures the same picture.
Bitmap PhotoLikeImage(int width, int height) {
  Bitmap image(PixelFormat::kBits24, width, height);
  std::mt19937 random(42);
  std::normal_distribution<double> noise(0.0, 4.0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.RowPointer(y);
    for (int x = 0; x < width; ++x) {
      const double u = double(x) / width, v = double(y) / height;
      const double base[3] = {60 + 120 * u * v, 90 + 100 * std::sin(6 * u + 2 * v),
                              200 - 150 * v + 30 * std::cos(9 * u * v)};
      for (int c = 0; c < 3; ++c) {
        row[3 * x + c] = static_cast<std::uint8_t>(std::clamp(base[c] + noise(random), 0.0, 255.0));
      }
    }
  }
  return image;
}

const Bitmap& ImageOfSize(std::int64_t index) {
  static const std::array<Bitmap, 2> images = {PhotoLikeImage(kSizes[0][0], kSizes[0][1]),
                                               PhotoLikeImage(kSizes[1][0], kSizes[1][1])};
  return images[static_cast<std::size_t>(index)];
}

Bytes FilterNoneRows(const Bitmap& image) {
  Bytes raw;
  raw.reserve(static_cast<std::size_t>(image.Height()) * (1 + 3 * image.Width()));
  for (int y = 0; y < image.Height(); ++y) {
    raw.push_back(0);
    const std::uint8_t* row = image.RowPointer(y);
    for (int x = 0; x < image.Width(); ++x)
      raw.insert(raw.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  }
  return raw;
}

void Label(benchmark::State& state, std::size_t rawBytes) {
  const auto& size = kSizes[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(std::to_string(size[0]) + "x" + std::to_string(size[1]));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rawBytes));
}

void BM_PngEncode(benchmark::State& state) {
  const Bitmap& image = ImageOfSize(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(EncodePng(image, kTime));
  Label(state, FilterNoneRows(image).size());
}

void BM_ZlibDeflateSameRows(benchmark::State& state) {
  const Bytes raw = FilterNoneRows(ImageOfSize(state.range(0)));
  for (auto _ : state) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    const auto size = deflateBound(&stream, raw.size());
    const std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[size]);
    stream.next_in = const_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = out.get();
    stream.avail_out = static_cast<uInt>(size);
    deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    benchmark::DoNotOptimize(out.get());
  }
  Label(state, raw.size());
}

void BM_PngDecode(benchmark::State& state) {
  const Bitmap& image = ImageOfSize(state.range(0));
  const Bytes file = EncodePng(image, kTime);
  for (auto _ : state) benchmark::DoNotOptimize(DecodePng(file));
  Label(state, FilterNoneRows(image).size());
}

struct MemoryInput {
  const Bytes* file;
  std::size_t position;
};

void ReadMemory(png_structp png, png_bytep out, size_t count) {
  auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (input->position + count > input->file->size()) png_error(png, "end of data");
  std::memcpy(out, input->file->data() + input->position, count);
  input->position += count;
}

// A plain libpng read of the whole file into its own rows; errors abandon the read.
void ReadWithLibpng(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return;
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
}

void BM_LibpngReadPngSameFile(benchmark::State& state) {
  const Bitmap& image = ImageOfSize(state.range(0));
  const Bytes file = EncodePng(image, kTime);
  for (auto _ : state) {
    MemoryInput input{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &input, ReadMemory);
    ReadWithLibpng(png, info);
    benchmark::DoNotOptimize(png_get_rows(png, info));
    png_destroy_read_struct(&png, &info, nullptr);
  }
  Label(state, FilterNoneRows(image).size());
}

BENCHMARK(BM_PngEncode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflateSameRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngReadPngSameFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelay

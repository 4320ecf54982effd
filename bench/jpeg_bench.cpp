// JPEG decode and encode speed against the library's own command-line tools (djpeg, cjpeg) on the
// same photo-like files at quality 90; figures are megapixels per second. The tools' times
// include starting a process, which dominates for small pictures.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "files/file_error.h"
#include "imaging/image_lib.h"
#include "imaging/jpeg/jpeg_read.h"

namespace mirelay {
namespace {

constexpr std::uint8_t kQuality = 90;

// Smooth gradients with seeded noise, so the entropy coder sees photograph-like data.
Bitmap PhotoLike(std::int32_t width, std::int32_t height) {
  Bitmap bitmap(PixelFormat::kBits24, width, height);
  std::minstd_rand random(width * 31 + height);
  auto sample = [&](int base) {
    const int value = base + static_cast<int>(random() % 25) - 12;
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
  };
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap.RowPointer(y);
    for (std::int32_t x = 0; x < width; ++x) {
      row[3 * x] = sample(255 * x / width);
      row[3 * x + 1] = sample(255 * y / height);
      row[3 * x + 2] = sample(128 + (x * 3 + y * 5) % 96);
    }
  }
  return bitmap;
}

// The test pictures and their files (JPEG and PPM), made once per size and removed at exit.
class Workspace {
 public:
  Workspace()
      : folder_(std::filesystem::temp_directory_path() /
                ("mirelay-jpeg-bench-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
  }
  ~Workspace() { std::filesystem::remove_all(folder_); }

  struct Picture {
    Bitmap bitmap;
    std::string jpeg;
    std::string ppm;
  };

  const Picture& Get(std::int32_t width, std::int32_t height) {
    const std::string name = std::to_string(width) + "x" + std::to_string(height);
    auto [entry, added] = pictures_.try_emplace(name);
    if (added) Make(entry->second, name, width, height);
    return entry->second;
  }

  std::string Scratch(const std::string& name) const { return (folder_ / name).string(); }

 private:
  void Make(Picture& picture, const std::string& name, std::int32_t width, std::int32_t height) {
    picture.bitmap = PhotoLike(width, height);
    picture.jpeg = Scratch(name + ".jpg");
    picture.ppm = Scratch(name + ".ppm");
    SaveBitmapAs(picture.jpeg, &picture.bitmap, kQuality);
    std::ofstream out(picture.ppm, std::ios::binary);
    out << "P6\n" << width << ' ' << height << "\n255\n";
    for (std::int32_t y = 0; y < height; ++y) {
      const std::uint8_t* row = picture.bitmap.RowPointer(y);
      for (std::int32_t x = 0; x < width; ++x) {
        const char rgb[] = {static_cast<char>(row[3 * x + 2]), static_cast<char>(row[3 * x + 1]),
                            static_cast<char>(row[3 * x])};
        out.write(rgb, 3);
      }
    }
  }

  std::filesystem::path folder_;
  std::map<std::string, Picture> pictures_;
};

Workspace& Files() {
  static Workspace workspace;
  return workspace;
}

void CountMegapixels(benchmark::State& state, const Bitmap& bitmap) {
  const double pixels = static_cast<double>(bitmap.Width()) * bitmap.Height();
  state.counters["MP/s"] = benchmark::Counter(
      pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void RunTool(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
  }
}

void BM_JpegDecode(benchmark::State& state) {
  const auto& picture = Files().Get(state.range(0), state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(DecodeJpeg(ReadWholeFile(picture.jpeg)));
  CountMegapixels(state, picture.bitmap);
}

// The same without reading the file, to separate the read from the decoding.
void BM_JpegDecodeFromMemory(benchmark::State& state) {
  const auto& picture = Files().Get(state.range(0), state.range(1));
  const std::vector<std::uint8_t> file = ReadWholeFile(picture.jpeg);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeJpeg(file));
  CountMegapixels(state, picture.bitmap);
}

void BM_JpegEncode(benchmark::State& state) {
  const auto& picture = Files().Get(state.range(0), state.range(1));
  const std::string output = Files().Scratch("ours.jpg");
  for (auto _ : state) SaveBitmapAs(output, &picture.bitmap, kQuality);
  CountMegapixels(state, picture.bitmap);
}

// djpeg writes the whole picture, as our decoder fills a whole bitmap: both pay for touching
// that much fresh memory.
void BM_DjpegTool(benchmark::State& state) {
  const auto& picture = Files().Get(state.range(0), state.range(1));
  const std::string output = Files().Scratch("tool.ppm");
  RunTool(state, "djpeg -outfile '" + output + "' '" + picture.jpeg + "'");
  CountMegapixels(state, picture.bitmap);
}

void BM_CjpegTool(benchmark::State& state) {
  const auto& picture = Files().Get(state.range(0), state.range(1));
  const std::string output = Files().Scratch("tool.jpg");
  RunTool(state, "cjpeg -quality 90 -baseline -outfile '" + output + "' '" + picture.ppm + "'");
  CountMegapixels(state, picture.bitmap);
}

#define JPEG_SIZES \
  Args({1920, 1080})->Args({4000, 3000})->Unit(benchmark::kMillisecond)->UseRealTime()

BENCHMARK(BM_JpegDecode)->JPEG_SIZES;
BENCHMARK(BM_JpegDecodeFromMemory)->JPEG_SIZES;
BENCHMARK(BM_DjpegTool)->JPEG_SIZES;
BENCHMARK(BM_JpegEncode)->JPEG_SIZES;
BENCHMARK(BM_CjpegTool)->JPEG_SIZES;

}  // namespace
}  // namespace mirelay

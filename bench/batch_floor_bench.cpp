// The floor a batch pair cannot go below: decoding its two inputs and deflating the composite's
// filter-0 rows at level 6, on one core. MIRELAY_BENCH_WORKLOAD names a folder made by
// bench/batch_workload.py; without it the benchmark reports an error and does nothing.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "batch/folder_listing.h"
#include "batch/overlay.h"
#include "imaging/image_lib.h"

namespace mirelay {
namespace {

std::size_t DeflateFilterNoneRows(const Bitmap& picture, std::vector<std::uint8_t>& row,
                                  std::vector<std::uint8_t>& out) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  const auto width = static_cast<std::size_t>(picture.Width());
  row.resize(1 + 3 * width);
  out.resize(deflateBound(&stream, row.size() * picture.Height()));
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  for (std::int32_t y = 0; y < picture.Height(); ++y) {
    const std::uint8_t* source = picture.RowPointer(y);
    row[0] = 0;
    for (std::size_t x = 0; x < width; ++x) {
      row[1 + 3 * x] = source[3 * x + 2];
      row[2 + 3 * x] = source[3 * x + 1];
      row[3 + 3 * x] = source[3 * x];
    }
    stream.next_in = row.data();
    stream.avail_in = static_cast<uInt>(row.size());
    deflate(&stream, y + 1 == picture.Height() ? Z_FINISH : Z_NO_FLUSH);
  }
  const std::size_t written = stream.total_out;
  deflateEnd(&stream);
  return written;
}

void BM_BatchFloorPerPair(benchmark::State& state) {
  const char* folder = std::getenv("MIRELAY_BENCH_WORKLOAD");
  if (folder == nullptr) {
    state.SkipWithError("MIRELAY_BENCH_WORKLOAD is not set");
    return;
  }
  ImageFileFinder finder(".png");
  const auto bases = ListImageFiles(finder, std::string(folder) + "/base");
  const auto parts = ListImageFiles(finder, std::string(folder) + "/part");
  if (bases.empty() || parts.empty()) {
    state.SkipWithError("the workload folder has no pairs");
    return;
  }
  std::vector<std::uint8_t> row, out;
  std::size_t pair = 0;
  for (auto _ : state) {
    const auto& basePath = bases[pair / parts.size() % bases.size()];
    const auto& partPath = parts[pair % parts.size()];
    Bitmap base, part;
    if (!MergePair(basePath, partPath, base, part, 0)) {
      state.SkipWithError("a workload file does not decode");
      return;
    }
    benchmark::DoNotOptimize(DeflateFilterNoneRows(base, row, out));
    ++pair;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BatchFloorPerPair)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace
}  // namespace mirelay

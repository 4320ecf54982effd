#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "batch/decode_cache.h"
#include "imaging/image_lib.h"

namespace mirelay {

// Part K of N (1-based): this run takes the pairs whose running index i has i mod N = K - 1.
struct Shard {
  std::uint32_t number = 1;
  std::uint32_t count = 1;
};

using ImageSaver = std::function<std::int32_t(const std::string&, const Bitmap*, std::int32_t)>;

struct BatchJob {
  std::vector<std::string> bases;  // full paths in discovery order
  std::vector<std::string> parts;
  std::string outFolder;  // ends with "/"
  std::int32_t code = kFormatPng;
  // Replaces the window's ".png"/".jpg" rule when set (BMP and GIF output named as such).
  std::string extension;
  std::string separator;
  std::int32_t nameOrder = 1;
  std::int32_t threshold = 0;
  unsigned jobs = 1;
  Shard shard;
  std::size_t cacheBytes = std::size_t{1} << 30;
  ImageLoader load = LoadImageToBitmap;
  ImageSaver save = SaveBitmapAs;
};

struct BatchPair {
  std::size_t index = 0;  // base index x part count + part index
  std::size_t base = 0;
  std::size_t part = 0;
  std::string outputName;
};

enum class PairStatus { kWritten, kSkipped, kWriteFailed };

struct PairOutcome {
  std::size_t index = 0;
  PairStatus status = PairStatus::kWritten;
  std::string outputPath;
  std::string failedInput;  // the input that could not be decoded, when skipped
  std::string reason;       // why it was skipped or could not be written
};

struct InputFailure {
  std::string path;
  std::string reason;
};

struct BatchReport {
  std::size_t pairs = 0;  // pairs of this shard
  std::size_t written = 0;
  std::size_t skipped = 0;
  std::vector<InputFailure> undecodable;  // each file once, in the order met
  std::optional<PairOutcome> writeFailure;
  bool stopped = false;  // the stop flag ended the run early
  std::size_t decodes = 0;
};

// The window's output name of a pair, with the job's extension when it sets one.
std::string PairOutputName(const BatchJob& job, std::size_t base, std::size_t part);

// The pairs of the job's shard in running order.
std::vector<BatchPair> EnumeratePairs(const BatchJob& job);

// Output names that more than one pair of `pairs` writes, in order of first use.
std::vector<std::string> CollidingNames(const std::vector<BatchPair>& pairs);

// Processes the pairs on job.jobs threads. Pairs sharing an output name run in running order on
// one thread, so the last successful one leaves its file, as in a sequential run. Once `stop` is
// set or a write fails, no new pair starts; pairs in flight finish. `progress` is called once per
// finished pair, from the worker threads but never concurrently.
BatchReport RunParallelBatch(const BatchJob& job, const std::atomic<bool>& stop,
                             const std::function<void(const PairOutcome&)>& progress);

}  // namespace mirelay

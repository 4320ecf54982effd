#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "batch/decode_cache.h"
#include "batch/pair_settings.h"
#include "imaging/image_error.h"
#include "imaging/image_lib.h"
#include "imaging/picture_probe.h"

namespace mirelay {

// Part K of N (1-based): this run takes the pairs whose running index i has i mod N = K - 1.
struct Shard {
  std::uint32_t number = 1;
  std::uint32_t count = 1;
};

using ImageWriter = std::function<void(OutputFile&, const Bitmap&, std::int32_t,
                                       const std::function<bool()>& stopRequested)>;

struct BatchJob {
  std::vector<std::string> bases;  // full paths in discovery order
  std::vector<std::string> parts;
  std::string outFolder;  // ends with "/"
  std::int32_t code = kFormatPng;
  // Replaces the window's ".png"/".jpg" rule when set (BMP and GIF output named as such).
  std::string extension;
  // Used for every pair unless `currentSettings` is set.
  PairSettings settings;
  // Read as each pair starts, so settings changed during a run apply from the next pair on.
  std::function<PairSettings()> currentSettings;
  // The window's rule: every error in a pair other than a missing or undecodable input ends
  // the run. The command instead skips pairs whose inputs cannot be read or laid on one
  // another, and pairs whose own output cannot be written (name too long, a folder in its
  // place); only errors of the medium (no space, read-only, permission) end its run.
  bool anyErrorEndsRun = false;
  // GIF inputs are dithered onto the 216-colour cube, as the window does on a palette display.
  bool paletteDisplay = false;
  unsigned jobs = 1;
  Shard shard;
  // Pairs whose output is already as new as their inputs are passed over undecoded and
  // reported up to date (see UpdateCheck); their names come from `settings`.
  bool redoOnlyOutdated = false;
  // Files every output depends on besides its base and part, such as the settings file.
  std::vector<std::string> sharedInputs;
  std::size_t cacheBytes = std::size_t{1} << 30;
  // Room for the pictures of the pairs in flight; DefaultMemoryBudget() when not set.
  std::optional<std::size_t> memoryBytes;
  ImageLoader load = DecodeImageFile;
  ImageWriter write = WriteBitmapAs;
  // Bytes a file's decoded picture will take, judged before decoding it.
  std::function<std::size_t(const std::string&)> estimateBytes = EstimateWorkingImageBytes;
};

struct BatchPair {
  std::size_t index = 0;  // base index x part count + part index
  std::size_t base = 0;
  std::size_t part = 0;
  std::string outputName;
};

// kUpToDate: passed over, its output being as new as its inputs; kSkipped: an input could not
// be had; kNotWritten: the pair's own output could not be written and the run went on;
// kStopped: the run was stopping and the pair was cut short, or came after one that was;
// kFailed: the pair's error ended the run.
enum class PairStatus { kWritten, kUpToDate, kSkipped, kNotWritten, kStopped, kFailed };

struct PairOutcome {
  std::size_t index = 0;
  PairStatus status = PairStatus::kWritten;
  std::string outputPath;
  std::string failedInput;  // the input that could not be had, when skipped for it
  FailureText reason;       // why it was skipped or failed, as the error put it
  std::error_code cause;    // the system's word on a failed write, when it gave one
  double milliseconds = 0;  // from the pair's start until its file was ready to rename
};

struct InputFailure {
  std::string path;
  FailureText reason;
};

struct BatchReport {
  std::size_t pairs = 0;  // pairs of this shard
  std::size_t written = 0;
  std::size_t upToDate = 0;
  std::size_t skipped = 0;
  std::vector<InputFailure> undecodable;  // each file once, in the order met
  std::vector<PairOutcome> notWritten;    // outputs that could not be written, run going on
  std::optional<PairOutcome> failure;     // the first pair whose error ended the run
  std::size_t failed = 0;                 // pairs whose error ended the run
  std::size_t cutShort = 0;               // pairs started, then stopped before their file was in
  std::size_t notStarted = 0;             // pairs of the shard the run never came to
  bool stopped = false;  // pairs were left unstarted or cut short (stop flag or failure)
  std::size_t decodes = 0;
};

// Both are called from worker threads, in running order, each never concurrently with itself.
// A pair passed over as up to date is only finished, never started.
struct BatchObserver {
  std::function<void(const BatchPair&)> started;     // as each pair starts
  std::function<void(const PairOutcome&)> finished;  // as its file is renamed into place
};

// The output name of a pair under the given settings, with the job's extension when it sets one.
std::string PairOutputName(const BatchJob& job, const PairSettings& settings, std::size_t base,
                           std::size_t part);

// The pairs of the job's shard in running order, named with the job's fixed settings.
std::vector<BatchPair> EnumeratePairs(const BatchJob& job);

// Output names that more than one pair of `pairs` writes, in order of first use.
std::vector<std::string> CollidingNames(const std::vector<BatchPair>& pairs);

// Output names that more than one pair of the whole batch writes, whatever the job's shard: a
// pair of one shard may share its name with a pair of another.
std::unordered_set<std::string> NamesSharedAcrossShards(const BatchJob& job);

// Processes the pairs on job.jobs threads. Pairs start, and their files are renamed into place,
// strictly in running order, so a run that ends early has written a prefix of it and the later
// of two pairs writing one name leaves its file. Once `stop` is set or a pair fails, no new pair
// starts; pairs in flight finish, except that decodes still running half a second after the stop
// are cut short (and with them the pair and every later one).
BatchReport RunParallelBatch(const BatchJob& job, const std::atomic<bool>& stop,
                             const BatchObserver& observer = {});

}  // namespace mirelay

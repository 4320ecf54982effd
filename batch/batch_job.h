#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "batch/decode_cache.h"
#include "batch/pair_settings.h"
#include "files/output_file.h"
#include "imaging/image_error.h"
#include "imaging/image_lib.h"
#include "imaging/output_format.h"
#include "imaging/picture_probe.h"

namespace mirelay {

// The words of a batch: what a run is asked to do, its pairs, and what came of them.

// Part K of N (1-based): this run takes the pairs whose shard key k (see ShardMembership, a
// pair's place among names sorted by their bytes) has k mod N = K - 1.
struct Shard {
  std::uint32_t number = 1;
  std::uint32_t count = 1;
};

using ImageWriter = std::function<void(OutputFile&, const Bitmap&, const OutputFormat&,
                                       const StopRequest& stopRequested)>;

struct BatchJob {
  std::vector<std::string> bases;  // full paths in discovery order
  std::vector<std::string> parts;
  std::string outFolder;  // ends with "/"
  OutputFormat output;
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
  // Added to the nice value of every thread that processes pairs: the window runs them below
  // its own thread, so it answers at once while they use every core.
  int workerNice = 0;
  Shard shard;
  // Pairs whose output is already as new as their inputs are passed over undecoded and
  // reported up to date (see UpdateCheck); their names come from `settings`.
  bool redoOnlyOutdated = false;
  // Files every output depends on besides its base and part, such as the settings file.
  std::vector<std::string> sharedInputs;
  // Each output's data is flushed before its rename and the output folder at the end, so that
  // what a finished run reports survives a power cut. Off only with --no-sync.
  bool durable = true;
  // Each output written is entered in the record of what made it (see RecordWriter), which
  // --update reads. mirelay-batch keeps it; the window's outputs go unrecorded.
  bool keepRecord = false;
  // While parts are laid on by their colour key, their alpha is still read to tell the observer
  // of parts that carry transparent pixels (BatchObserver::transparentPart).
  bool tellTransparentParts = false;
  std::size_t cacheBytes = std::size_t{1} << 30;
  // Room for the pictures of the pairs in flight; DefaultMemoryBudget() when not set.
  std::optional<std::size_t> memoryBytes;
  ImageLoader load = DecodeImageFile;
  ImageWriter write = WriteBitmapAs;
  // Bytes a file's decoded picture will take, judged before decoding it.
  std::function<std::size_t(const std::string&)> estimateBytes = EstimateWorkingImageBytes;
};

// Where a pair's inputs stand in the job's lists. Pairs run base-major: the running index of
// base b and part p is b x part count + p.
struct PairPlace {
  std::size_t base = 0;
  std::size_t part = 0;
};
PairPlace PlaceOf(const BatchJob& job, std::size_t index);

struct BatchPair {
  std::size_t index = 0;  // the running index
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
  Failure reason;           // why it was skipped or failed, as the error put it
  double milliseconds = 0;  // from the pair's start until its file was ready to rename
};

struct InputFailure {
  std::string path;
  Failure reason;
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
  // The output folder could not be flushed, so outputs renamed into it may not survive a power cut.
  std::optional<Failure> flushFailure;
  // The record could not be made or written: outputs it misses are judged by their times alone.
  std::optional<Failure> recordFailure;
  std::size_t decodes = 0;
};

// The output name of a pair under the given settings.
std::string PairOutputName(const BatchJob& job, const PairSettings& settings, std::size_t base,
                           std::size_t part);

// How many pairs the job's shard holds: the keys are the numbers 0 to pairs - 1 in another order,
// so the count follows from the shard alone.
std::size_t ShardPairCount(const BatchJob& job);

// The pairs of the job's shard in running order, named with the job's fixed settings.
std::vector<BatchPair> EnumeratePairs(const BatchJob& job);

// Output names that more than one pair of `pairs` writes, in order of first use.
std::vector<std::string> CollidingNames(const std::vector<BatchPair>& pairs);

// Output names that more than one pair of the whole batch writes, whatever the job's shard: a
// pair of one shard may share its name with a pair of another.
std::unordered_set<std::string> NamesSharedAcrossShards(const BatchJob& job);

}  // namespace mirelay

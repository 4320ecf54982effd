#include "batch/parallel_batch.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "batch/memory_budget.h"
#include "batch/overlay.h"
#include "batch/run_record.h"
#include "batch/shard_key.h"
#include "batch/thread_priority.h"
#include "batch/update_check.h"
#include "files/durability.h"
#include "files/file_error.h"
#include "files/file_status.h"
#include "files/output_file.h"
#include "files/temporary_files.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

using Clock = std::chrono::steady_clock;

Failure ProgramFault(const std::string& what) {
  return {FailureKind::kProgramFault, what, "internal error: " + what, {}};
}

// After a stop, the pairs in flight get this long to finish, so they are still written when
// their pictures are ordinary; a decode or an encode that takes longer is cut short.
constexpr Clock::duration kStopGrace = std::chrono::milliseconds(500);

struct StartedPair {
  BatchPair pair;
  std::int32_t threshold = 0;
  bool alphaBlend = false;
  std::size_t reservedBytes = 0;
};

// A processed pair waiting for its turn: outcomes are reported, and files renamed into place,
// in running order.
struct ProcessedPair {
  PairOutcome outcome;
  std::optional<OutputFile> file;
  // Filled but for the output's identity while the record is kept.
  std::optional<RecordEntry> entry;
};

// Errors that belong to one output's name or place rather than to the folder or the disk.
bool IsOneOutputsError(std::error_code code) {
  return code == std::errc::filename_too_long || code == std::errc::is_a_directory ||
         code == std::errc::file_exists;
}

class BatchRunner {
 public:
  BatchRunner(const BatchJob& job, const std::atomic<bool>& stop, const BatchObserver& observer)
      : job_(job),
        stop_(stop),
        observer_(observer),
        cache_(job.cacheBytes, job.load,
               DecodeOptions{[this] { return WorkShouldStop(); }, job.paletteDisplay}),
        budget_(job.memoryBytes ? *job.memoryBytes : DefaultMemoryBudget()),
        shard_(job),
        total_(job.bases.size() * job.parts.size()),
        record_(job) {}

  BatchReport Run() {
    report_.pairs = ShardPairCount(job_);
    if (report_.pairs == 0) return report_;
    RemoveStaleTemporaries(job_.outFolder);
    if (job_.redoOnlyOutdated) updateCheck_.emplace(job_);
    const unsigned threads = std::max(1u, std::min<unsigned>(job_.jobs, report_.pairs));
    maxWaiting_ = 64 + 2 * std::size_t{threads};
    std::vector<std::jthread> workers;
    for (unsigned i = 1; i < threads; ++i) workers.emplace_back([this] { Work(); });
    Work();
    workers.clear();
    record_.Finish();
    report_.recordFailure = record_.failure();
    FlushOutputFolder();
    report_.decodes = cache_.DecodeCount();
    report_.stopped = report_.stopped || leftUnstarted_;
    report_.notStarted = report_.pairs - reported_;
    return report_;
  }

 private:
  void Work() {
    LowerThisThreadPriority(job_.workerNice);
    while (const auto started = StartNext()) {
      ProcessedPair processed = ProcessGuarded(*started);
      budget_.Release(started->reservedBytes);
      Resolve(std::move(processed));
    }
  }

  // The next pair in running order, named with the settings of this moment. Up-to-date pairs
  // on the way are reported without being started; their inputs are not even probed.
  std::optional<StartedPair> StartNext() {
    std::lock_guard lock(dispatchMutex_);
    WaitForRoomToWait();
    while (SkipToShardsNext() && !StopRequested()) {
      const auto [base, part] = PlaceOf(job_, nextIndex_);
      if (PassedOverAsUpToDate(base, part)) continue;
      const std::size_t bytes = PairBytes(job_.bases[base], job_.parts[part]);
      budget_.Reserve(bytes);
      if (!StopRequested()) return Start(base, part, bytes);
      budget_.Release(bytes);
      break;
    }
    if (SkipToShardsNext()) leftUnstarted_ = true;
    return std::nullopt;
  }

  // A pair done before its turn keeps its output's descriptor, and the lock that shows the file
  // is being written, until its rename: a pair far behind the others holds back new starts
  // before descriptors run out. The earliest pair is always in flight, so room comes.
  void WaitForRoomToWait() {
    std::unique_lock lock(commitMutex_);
    turnTaken_.wait(lock, [this] { return waiting_.size() < maxWaiting_ || StopRequested(); });
  }

  // Moves the running index on to the next pair of this run's shard; false past the last.
  bool SkipToShardsNext() {
    while (nextIndex_ < total_ && !shard_.Holds(nextIndex_)) ++nextIndex_;
    return nextIndex_ < total_;
  }

  bool PassedOverAsUpToDate(std::size_t base, std::size_t part) {
    if (!updateCheck_) return false;
    const BatchPair pair{nextIndex_, base, part, PairOutputName(job_, job_.settings, base, part)};
    if (!updateCheck_->UpToDate(pair)) return false;
    ProcessedPair passed;
    passed.outcome.index = nextIndex_;
    passed.outcome.status = PairStatus::kUpToDate;
    passed.outcome.outputPath = job_.outFolder + pair.outputName;
    ++nextIndex_;
    Resolve(std::move(passed));
    return true;
  }

  StartedPair Start(std::size_t base, std::size_t part, std::size_t bytes) {
    const PairSettings settings = job_.currentSettings ? job_.currentSettings() : job_.settings;
    StartedPair started{{nextIndex_, base, part, PairOutputName(job_, settings, base, part)},
                        settings.threshold,
                        settings.alphaBlend,
                        bytes};
    ++nextIndex_;
    {
      std::lock_guard lock(commitMutex_);
      waiting_.emplace(started.pair.index, std::nullopt);
    }
    if (observer_.started) observer_.started(started.pair);
    return started;
  }

  // Once, after the last rename: every rename of the run reaches the disk with one flush.
  void FlushOutputFolder() {
    if (!job_.durable || report_.written == 0) return;
    try {
      FlushFolder(job_.outFolder);
    } catch (const FileError& error) {
      report_.flushFailure = FailureOf(error);
    }
  }

  bool StopRequested() const { return stop_.load() || failed_.load(); }

  bool WorkShouldStop() {
    if (!StopRequested()) return false;
    const auto now = Clock::now().time_since_epoch().count();
    Clock::rep unseen = 0;
    stopSeenAt_.compare_exchange_strong(unseen, now);
    return Clock::duration(now - stopSeenAt_.load()) >= kStopGrace;
  }

  // The decoded base and part, the composite, and the encoder's output, which is reserved at up
  // to the composite's size; each file's header is read once per run.
  std::size_t PairBytes(const std::string& base, const std::string& part) {
    const auto bytesOf = [this](const std::string& path) {
      const auto [found, added] = estimates_.try_emplace(path, 0);
      if (added) found->second = job_.estimateBytes(path);
      return found->second;
    };
    return 3 * bytesOf(base) + bytesOf(part);
  }

  // No exception may leave a worker thread. A pair that runs out of memory is passed over;
  // anything else that reaches here is a fault of the program and ends the run as its failure.
  ProcessedPair ProcessGuarded(const StartedPair& started) {
    ProcessedPair processed;
    PairOutcome& outcome = processed.outcome;
    outcome.index = started.pair.index;
    outcome.outputPath = job_.outFolder + started.pair.outputName;
    const auto began = Clock::now();
    try {
      processed.file = Process(started, outcome);
      if (processed.file) {
        processed.entry = record_.EntryFor(started.pair, started.threshold, started.alphaBlend);
      }
    } catch (const std::bad_alloc&) {
      Skipped(outcome, job_.bases[started.pair.base],
              PlainFailure(FailureKind::kOutOfMemory, kOutOfMemory));
    } catch (const std::exception& error) {
      Failed(outcome, ProgramFault(error.what()));
    } catch (...) {
      Failed(outcome, ProgramFault("unknown error"));
    }
    outcome.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
    return processed;
  }

  std::optional<OutputFile> Process(const StartedPair& started, PairOutcome& outcome) {
    const BatchPair& pair = started.pair;
    // An input gone since the lists were made is passed over, even when an earlier pair left
    // it decoded in the cache.
    for (const std::string* path : {&job_.bases[pair.base], &job_.parts[pair.part]}) {
      const auto status = StatusOf(*path);
      if (!status || status->kind != FileKind::kRegular) {
        Skipped(outcome, *path, PlainFailure(FailureKind::kNotFound, "file not found"));
        return std::nullopt;
      }
      record_.NoteInput(*path, *status);
    }
    // A base that cannot be had means its part is never looked at.
    const auto base = Input(job_.bases[pair.base], outcome);
    if (!base) return std::nullopt;
    const auto part = Input(job_.parts[pair.part], outcome, PartAlphaUse(started));
    if (!part) return std::nullopt;
    Bitmap composite = *base;
    try {
      OverlayPart(composite, *part, started.threshold);
    } catch (const ImageError& error) {
      InputError(outcome, job_.parts[pair.part], FailureOf(error));
      return std::nullopt;
    }
    return Write(composite, outcome);
  }

  AlphaUse PartAlphaUse(const StartedPair& started) const {
    if (started.alphaBlend) return AlphaUse::kKeep;
    return job_.tellTransparentParts ? AlphaUse::kTell : AlphaUse::kDrop;
  }

  std::shared_ptr<const Bitmap> Input(const std::string& path, PairOutcome& outcome,
                                      AlphaUse alpha = AlphaUse::kDrop) {
    const auto decoded = cache_.Get(path, alpha);
    if (alpha == AlphaUse::kTell && decoded->transparentPixels) TellTransparentPart(path);
    if (decoded->bitmap) return decoded->bitmap;
    if (decoded->fault) std::rethrow_exception(decoded->fault);
    if (decoded->failure.kind == FailureKind::kStopped) {
      outcome.status = PairStatus::kStopped;
    } else if (decoded->failure.kind == FailureKind::kFileError) {
      InputError(outcome, path, decoded->failure);
    } else {
      Skipped(outcome, path, decoded->failure);
    }
    return nullptr;
  }

  void TellTransparentPart(const std::string& path) {
    std::lock_guard lock(toldMutex_);
    if (toldParts_.insert(path).second && observer_.transparentPart) {
      observer_.transparentPart(path);
    }
  }

  void InputError(PairOutcome& outcome, const std::string& input, const Failure& reason) {
    if (job_.anyErrorEndsRun) {
      Failed(outcome, reason);
    } else {
      Skipped(outcome, input, reason);
    }
  }

  static void Skipped(PairOutcome& outcome, const std::string& input, const Failure& reason) {
    outcome.status = PairStatus::kSkipped;
    outcome.failedInput = input;
    outcome.reason = reason;
  }

  void Failed(PairOutcome& outcome, const Failure& reason) {
    outcome.status = PairStatus::kFailed;
    outcome.reason = reason;
    failed_ = true;
  }

  void OutputError(PairOutcome& outcome, const FileError& error) {
    if (!job_.anyErrorEndsRun && IsOneOutputsError(error.code())) {
      outcome.status = PairStatus::kNotWritten;
      outcome.reason = FailureOf(error);
    } else {
      Failed(outcome, FailureOf(error));
    }
  }

  // The composite, encoded into its output's temporary file. Running out of memory while
  // encoding is left to ProcessGuarded.
  std::optional<OutputFile> Write(const Bitmap& composite, PairOutcome& outcome) {
    if (job_.output.format == kFormatUnknown) {
      outcome.status = PairStatus::kSkipped;
      outcome.reason =
          PlainFailure(FailureKind::kNoOutputFormat, "nothing is written for this format code");
      return std::nullopt;
    }
    try {
      OutputFile file(outcome.outputPath, {.flushData = job_.durable});
      job_.write(file, composite, job_.output, [this] { return WorkShouldStop(); });
      file.Close();
      return file;
    } catch (const FileError& error) {
      OutputError(outcome, error);
    } catch (const ImageError& error) {
      if (error.Kind() == FailureKind::kStopped) {
        outcome.status = PairStatus::kStopped;
      } else {
        Failed(outcome, FailureOf(error));
      }
    }
    return std::nullopt;
  }

  // Takes a processed pair, then renames into place and reports every pair whose turn has
  // come. Once a pair was cut short or failed, the later pairs' files are dropped, so what a
  // run that ends early leaves is always a prefix of the running order.
  void Resolve(ProcessedPair processed) {
    std::lock_guard lock(commitMutex_);
    waiting_[processed.outcome.index] = std::move(processed);
    while (!waiting_.empty() && waiting_.begin()->second) {
      auto turn = waiting_.extract(waiting_.begin());
      Commit(*turn.mapped());
    }
    turnTaken_.notify_all();
  }

  void Commit(ProcessedPair& pair) {
    PairOutcome& outcome = pair.outcome;
    if (cut_) {
      // An up-to-date file was left as it was, so the cut takes nothing from it.
      if (outcome.status != PairStatus::kFailed && outcome.status != PairStatus::kUpToDate) {
        outcome.status = PairStatus::kStopped;
      }
    } else if (pair.file) {
      try {
        pair.file->Commit();
        if (pair.entry) record_.Add(std::move(*pair.entry), pair.file->Path());
      } catch (const FileError& error) {
        OutputError(outcome, error);
      }
    }
    if (outcome.status == PairStatus::kStopped || outcome.status == PairStatus::kFailed) {
      cut_ = true;
    }
    Report(outcome);
  }

  void Report(const PairOutcome& outcome) {
    switch (outcome.status) {
      case PairStatus::kWritten:
        ++report_.written;
        break;
      case PairStatus::kUpToDate:
        ++report_.upToDate;
        break;
      case PairStatus::kSkipped:
        ++report_.skipped;
        if (!outcome.failedInput.empty() && reportedInputs_.insert(outcome.failedInput).second) {
          report_.undecodable.push_back({outcome.failedInput, outcome.reason});
        }
        break;
      case PairStatus::kNotWritten:
        report_.notWritten.push_back(outcome);
        break;
      case PairStatus::kStopped:
        ++report_.cutShort;
        report_.stopped = true;
        break;
      case PairStatus::kFailed:
        ++report_.failed;
        if (!report_.failure) report_.failure = outcome;
        break;
    }
    ++reported_;
    if (observer_.finished) observer_.finished(outcome);
  }

  const BatchJob& job_;
  const std::atomic<bool>& stop_;
  const BatchObserver& observer_;
  DecodeCache cache_;
  MemoryBudget budget_;
  const ShardMembership shard_;
  const std::size_t total_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> leftUnstarted_{false};
  std::atomic<Clock::rep> stopSeenAt_{0};
  std::optional<UpdateCheck> updateCheck_;
  RunRecord record_;
  std::mutex toldMutex_;
  std::set<std::string> toldParts_;

  std::mutex dispatchMutex_;
  std::size_t nextIndex_ = 0;
  std::unordered_map<std::string, std::size_t> estimates_;

  std::mutex commitMutex_;
  std::map<std::size_t, std::optional<ProcessedPair>> waiting_;  // started, not yet reported
  std::condition_variable turnTaken_;
  std::size_t maxWaiting_ = 0;
  bool cut_ = false;
  BatchReport report_;
  std::size_t reported_ = 0;
  std::set<std::string> reportedInputs_;
};

}  // namespace

BatchReport RunParallelBatch(const BatchJob& job, const std::atomic<bool>& stop,
                             const BatchObserver& observer) {
  return BatchRunner(job, stop, observer).Run();
}

}  // namespace mirelay

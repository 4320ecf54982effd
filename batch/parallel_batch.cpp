#include "batch/parallel_batch.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "batch/batch_naming.h"
#include "batch/memory_budget.h"
#include "batch/overlay.h"
#include "batch/write_order.h"
#include "imaging/file_io.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

struct StartedPair {
  BatchPair pair;
  std::int32_t threshold = 0;
  std::size_t reservedBytes = 0;
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
        cache_(job.cacheBytes, job.load),
        budget_(job.memoryBytes ? *job.memoryBytes : DefaultMemoryBudget()),
        total_(job.bases.size() * job.parts.size()),
        nextIndex_(job.shard.number - 1) {}

  BatchReport Run() {
    if (job_.shard.number == 0 || job_.shard.number > job_.shard.count) return report_;
    report_.pairs = total_ > nextIndex_ ? (total_ - nextIndex_ - 1) / job_.shard.count + 1 : 0;
    const unsigned threads = std::max(1u, std::min<unsigned>(job_.jobs, report_.pairs));
    std::vector<std::jthread> workers;
    for (unsigned i = 1; i < threads; ++i) workers.emplace_back([this] { Work(); });
    Work();
    workers.clear();
    report_.decodes = cache_.DecodeCount();
    return report_;
  }

 private:
  void Work() {
    while (const auto started = StartNext()) {
      PairOutcome outcome = ProcessGuarded(*started);
      writeOrder_.Leave(started->pair.outputName, started->pair.index);
      budget_.Release(started->reservedBytes);
      Finish(outcome);
    }
  }

  // The next pair in running order, named with the settings of this moment.
  std::optional<StartedPair> StartNext() {
    std::lock_guard lock(dispatchMutex_);
    if (nextIndex_ >= total_) return std::nullopt;
    if (!StopRequested()) {
      const std::size_t partCount = job_.parts.size();
      const std::size_t base = nextIndex_ / partCount, part = nextIndex_ % partCount;
      const std::size_t bytes = PairBytes(job_.bases[base], job_.parts[part]);
      budget_.Reserve(bytes);
      if (!StopRequested()) return Start(base, part, bytes);
      budget_.Release(bytes);
    }
    report_.stopped = true;
    return std::nullopt;
  }

  StartedPair Start(std::size_t base, std::size_t part, std::size_t bytes) {
    const PairSettings settings = job_.currentSettings ? job_.currentSettings() : job_.settings;
    StartedPair started{{nextIndex_, base, part, PairOutputName(job_, settings, base, part)},
                        settings.threshold,
                        bytes};
    nextIndex_ += job_.shard.count;
    writeOrder_.Enter(started.pair.outputName, started.pair.index);
    if (observer_.started) observer_.started(started.pair);
    return started;
  }

  bool StopRequested() const { return stop_.load() || failed_.load(); }

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
  // anything else it raises ends the run as its failure.
  PairOutcome ProcessGuarded(const StartedPair& started) {
    PairOutcome outcome;
    outcome.index = started.pair.index;
    outcome.outputPath = job_.outFolder + started.pair.outputName;
    try {
      Process(started, outcome);
    } catch (const std::bad_alloc&) {
      Skipped(outcome, job_.bases[started.pair.base], kOutOfMemory);
    } catch (const std::exception& error) {
      Failed(outcome, error.what());
    } catch (...) {
      Failed(outcome, "unknown error");
    }
    return outcome;
  }

  void Process(const StartedPair& started, PairOutcome& outcome) {
    const BatchPair& pair = started.pair;
    // An input gone since the lists were made is passed over, even when an earlier pair left
    // it decoded in the cache.
    for (const std::string* path : {&job_.bases[pair.base], &job_.parts[pair.part]}) {
      if (!FileExists(*path)) return Skipped(outcome, *path, "file not found");
    }
    // A base that cannot be had means its part is never looked at.
    const auto base = Input(job_.bases[pair.base], outcome);
    if (!base) return;
    const auto part = Input(job_.parts[pair.part], outcome);
    if (!part) return;
    Bitmap composite = *base;
    try {
      OverlayColorKey(composite, *part, started.threshold);
    } catch (const std::exception& error) {
      InputError(outcome, job_.parts[pair.part], error.what());
      return;
    }
    writeOrder_.WaitForTurn(pair.outputName, pair.index);
    Save(composite, outcome);
  }

  std::shared_ptr<const Bitmap> Input(const std::string& path, PairOutcome& outcome) {
    const auto decoded = cache_.Get(path);
    if (decoded->bitmap) return decoded->bitmap;
    if (decoded->unreadable) {
      InputError(outcome, path, decoded->failure);
    } else {
      Skipped(outcome, path, decoded->failure);
    }
    return nullptr;
  }

  void InputError(PairOutcome& outcome, const std::string& input, const std::string& reason) {
    if (job_.anyErrorEndsRun) {
      Failed(outcome, reason);
    } else {
      Skipped(outcome, input, reason);
    }
  }

  static void Skipped(PairOutcome& outcome, const std::string& input, const std::string& reason) {
    outcome.status = PairStatus::kSkipped;
    outcome.failedInput = input;
    outcome.reason = reason;
  }

  void Failed(PairOutcome& outcome, const std::string& reason) {
    outcome.status = PairStatus::kFailed;
    outcome.reason = reason;
    failed_ = true;
  }

  // Running out of memory while encoding is left to ProcessGuarded.
  void Save(const Bitmap& composite, PairOutcome& outcome) {
    try {
      if (job_.save(outcome.outputPath, &composite, job_.code) == kFormatUnknown) {
        outcome.status = PairStatus::kSkipped;
        outcome.reason = "nothing is written for this format code";
      }
    } catch (const FileError& error) {
      if (error.code()) outcome.cause = error.code().message();
      if (!job_.anyErrorEndsRun && IsOneOutputsError(error.code())) {
        outcome.status = PairStatus::kNotWritten;
        outcome.reason = error.what();
      } else {
        Failed(outcome, error.what());
      }
    } catch (const ImageError& error) {
      Failed(outcome, error.what());
    }
  }

  void Finish(const PairOutcome& outcome) {
    std::lock_guard lock(reportMutex_);
    switch (outcome.status) {
      case PairStatus::kWritten:
        ++report_.written;
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
      case PairStatus::kFailed:
        if (!report_.failure) report_.failure = outcome;
        break;
    }
    if (observer_.finished) observer_.finished(outcome);
  }

  const BatchJob& job_;
  const std::atomic<bool>& stop_;
  const BatchObserver& observer_;
  DecodeCache cache_;
  MemoryBudget budget_;
  WriteOrder writeOrder_;
  std::unordered_map<std::string, std::size_t> estimates_;  // under dispatchMutex_
  const std::size_t total_;
  std::mutex dispatchMutex_;
  std::size_t nextIndex_;
  std::atomic<bool> failed_{false};
  std::mutex reportMutex_;
  BatchReport report_;
  std::set<std::string> reportedInputs_;
};

}  // namespace

std::string PairOutputName(const BatchJob& job, const PairSettings& settings, std::size_t base,
                           std::size_t part) {
  auto name = OutputFileName(job.bases[base], job.parts[part], settings.separator,
                             settings.nameOrder, job.code);
  if (job.extension.empty()) return name;
  name.resize(name.size() - OutputExtension(job.code).size());
  return name + job.extension;
}

std::vector<BatchPair> EnumeratePairs(const BatchJob& job) {
  std::vector<BatchPair> pairs;
  const std::size_t partCount = job.parts.size();
  const std::size_t total = job.bases.size() * partCount;
  const std::size_t count = job.shard.count;
  if (job.shard.number == 0 || job.shard.number > count) return pairs;
  for (std::size_t index = job.shard.number - 1; index < total; index += count) {
    const std::size_t base = index / partCount, part = index % partCount;
    pairs.push_back({index, base, part, PairOutputName(job, job.settings, base, part)});
  }
  return pairs;
}

std::vector<std::string> CollidingNames(const std::vector<BatchPair>& pairs) {
  std::vector<std::string> firstUses, names;
  std::unordered_map<std::string, std::size_t> uses;
  for (const auto& pair : pairs) {
    if (uses[pair.outputName]++ == 0) firstUses.push_back(pair.outputName);
  }
  for (const auto& name : firstUses) {
    if (uses[name] > 1) names.push_back(name);
  }
  return names;
}

BatchReport RunParallelBatch(const BatchJob& job, const std::atomic<bool>& stop,
                             const BatchObserver& observer) {
  return BatchRunner(job, stop, observer).Run();
}

}  // namespace mirelay

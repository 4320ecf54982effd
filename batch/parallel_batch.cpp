#include "batch/parallel_batch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "batch/batch_naming.h"
#include "batch/overlay.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

// Pairs that must run in order on one thread: all the pairs writing one output name.
using PairChain = std::vector<const BatchPair*>;

std::vector<PairChain> ChainsByOutputName(const std::vector<BatchPair>& pairs) {
  std::vector<PairChain> chains;
  std::unordered_map<std::string, std::size_t> chainOfName;
  for (const auto& pair : pairs) {
    const auto [found, added] = chainOfName.try_emplace(pair.outputName, chains.size());
    if (added) chains.emplace_back();
    chains[found->second].push_back(&pair);
  }
  return chains;
}

class BatchRunner {
 public:
  BatchRunner(const BatchJob& job, const std::atomic<bool>& stop,
              const std::function<void(const PairOutcome&)>& progress)
      : job_(job), stop_(stop), progress_(progress), cache_(job.cacheBytes, job.load) {}

  BatchReport Run() {
    const auto pairs = EnumeratePairs(job_);
    chains_ = ChainsByOutputName(pairs);
    report_.pairs = pairs.size();
    const unsigned threads = std::max(1u, std::min<unsigned>(job_.jobs, chains_.size()));
    std::vector<std::jthread> workers;
    for (unsigned i = 1; i < threads; ++i) workers.emplace_back([this] { Work(); });
    Work();
    workers.clear();
    report_.decodes = cache_.DecodeCount();
    report_.stopped = stopped_.load();
    return report_;
  }

 private:
  bool ShouldStop() const { return stop_.load() || failedWrite_.load(); }

  void Work() {
    for (;;) {
      const auto chain = nextChain_.fetch_add(1);
      if (chain >= chains_.size()) return;
      for (const BatchPair* pair : chains_[chain]) {
        if (ShouldStop()) {
          stopped_ = true;
          return;
        }
        Finish(Process(*pair));
      }
    }
  }

  PairOutcome Process(const BatchPair& pair) {
    PairOutcome outcome;
    outcome.index = pair.index;
    outcome.outputPath = job_.outFolder + pair.outputName;
    // As in the window, a base that cannot be had means its part is never looked at.
    const auto base = Input(job_.bases[pair.base], outcome);
    if (!base) return outcome;
    const auto part = Input(job_.parts[pair.part], outcome);
    if (!part) return outcome;
    Bitmap composite = *base;
    try {
      OverlayColorKey(composite, *part, job_.threshold);
    } catch (const ImageError& error) {
      return Skipped(outcome, job_.parts[pair.part], error.what());
    }
    Save(composite, outcome);
    return outcome;
  }

  std::shared_ptr<const Bitmap> Input(const std::string& path, PairOutcome& outcome) {
    const auto decoded = cache_.Get(path);
    if (!decoded->bitmap) Skipped(outcome, path, decoded->failure);
    return decoded->bitmap;
  }

  static PairOutcome& Skipped(PairOutcome& outcome, const std::string& input,
                              const std::string& reason) {
    outcome.status = PairStatus::kSkipped;
    outcome.failedInput = input;
    outcome.reason = reason;
    return outcome;
  }

  void Save(const Bitmap& composite, PairOutcome& outcome) {
    try {
      errno = 0;
      if (job_.save(outcome.outputPath, &composite, job_.code) == kFormatUnknown) {
        outcome.status = PairStatus::kWriteFailed;
        outcome.reason = "no encoder for this format code";
      }
    } catch (const std::exception& error) {
      const int code = errno;
      outcome.status = PairStatus::kWriteFailed;
      outcome.reason = error.what();
      if (code != 0) outcome.reason += std::string(" (") + std::strerror(code) + ")";
    }
    if (outcome.status == PairStatus::kWriteFailed) failedWrite_ = true;
  }

  void Finish(const PairOutcome& outcome) {
    std::lock_guard lock(reportMutex_);
    switch (outcome.status) {
      case PairStatus::kWritten:
        ++report_.written;
        break;
      case PairStatus::kSkipped:
        ++report_.skipped;
        if (reportedInputs_.insert(outcome.failedInput).second) {
          report_.undecodable.push_back({outcome.failedInput, outcome.reason});
        }
        break;
      case PairStatus::kWriteFailed:
        if (!report_.writeFailure) report_.writeFailure = outcome;
        break;
    }
    if (progress_) progress_(outcome);
  }

  const BatchJob& job_;
  const std::atomic<bool>& stop_;
  const std::function<void(const PairOutcome&)>& progress_;
  DecodeCache cache_;
  std::vector<PairChain> chains_;
  std::atomic<std::size_t> nextChain_{0};
  std::atomic<bool> failedWrite_{false};
  std::atomic<bool> stopped_{false};
  std::mutex reportMutex_;
  BatchReport report_;
  std::set<std::string> reportedInputs_;
};

}  // namespace

std::string PairOutputName(const BatchJob& job, std::size_t base, std::size_t part) {
  auto name =
      OutputFileName(job.bases[base], job.parts[part], job.separator, job.nameOrder, job.code);
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
    pairs.push_back({index, base, part, PairOutputName(job, base, part)});
  }
  return pairs;
}

std::vector<std::string> CollidingNames(const std::vector<BatchPair>& pairs) {
  std::vector<std::string> names;
  for (const auto& chain : ChainsByOutputName(pairs)) {
    if (chain.size() > 1) names.push_back(chain.front()->outputName);
  }
  return names;
}

BatchReport RunParallelBatch(const BatchJob& job, const std::atomic<bool>& stop,
                             const std::function<void(const PairOutcome&)>& progress) {
  return BatchRunner(job, stop, progress).Run();
}

}  // namespace mirelay

// mirelay-batch: the window's batch without the window, on several threads and machines.
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>

#include "batch/folder_listing.h"
#include "batch/parallel_batch.h"
#include "cli/batch_options.h"
#include "cli/progress_reporter.h"
#include "imaging/bitmap.h"

namespace {

using mirelay::cli::BatchOptions;

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) { interrupted = true; }

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

mirelay::BatchJob JobFor(const BatchOptions& options) {
  mirelay::TFnd finder(options.extensions);
  mirelay::BatchJob job;
  job.bases = mirelay::ListImageFiles(finder, options.baseFolder);
  job.parts = mirelay::ListImageFiles(finder, options.partFolder);
  job.outFolder = options.outFolder + "/";
  job.code = options.code;
  job.extension = options.extension;
  job.separator = options.separator;
  job.nameOrder = options.nameOrder;
  job.threshold = options.threshold;
  job.jobs = options.jobs;
  job.shard = options.shard;
  job.cacheBytes = options.cacheBytes;
  return job;
}

void WarnAboutCollisions(const mirelay::BatchJob& job) {
  for (const auto& name : mirelay::CollidingNames(mirelay::EnumeratePairs(job))) {
    std::fprintf(stderr,
                 "mirelay-batch: warning: several pairs are written to %s%s; the last one "
                 "decoded is kept\n",
                 job.outFolder.c_str(), name.c_str());
  }
}

void PrintSummary(const mirelay::BatchReport& report, double seconds, bool quiet) {
  for (const auto& failure : report.undecodable) {
    std::fprintf(stderr, "mirelay-batch: skipped pairs with %s: %s\n", failure.path.c_str(),
                 failure.reason.c_str());
  }
  if (report.writeFailure) {
    std::fprintf(stderr, "mirelay-batch: cannot write %s: %s\n",
                 report.writeFailure->outputPath.c_str(), report.writeFailure->reason.c_str());
  }
  if (report.stopped && !report.writeFailure) {
    std::fprintf(stderr, "mirelay-batch: interrupted; no new pair was started\n");
  }
  if (quiet) return;
  std::fprintf(stderr, "%zu of %zu pairs written, %zu skipped, %.1f s\n", report.written,
               report.pairs, report.skipped, seconds);
}

int ExitStatus(const mirelay::BatchReport& report) {
  if (report.writeFailure) return 3;
  if (report.stopped || interrupted) return 130;
  if (!report.undecodable.empty()) return 1;
  return 0;
}

// Every pair allocates and frees pictures of megabytes. Keeping freed memory in the process
// instead of handing it back to the system spares re-faulting every page of every picture
// (a fifth of a pair's time on 1920 x 1080 PNG output).
void KeepFreedPictureMemory() {
  constexpr int kOneGibibyte = 1 << 30;
  mallopt(M_MMAP_THRESHOLD, kOneGibibyte);
  mallopt(M_TRIM_THRESHOLD, kOneGibibyte);
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedPictureMemory();
  auto parsed = mirelay::cli::ParseBatchOptions(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const auto& options = std::get<BatchOptions>(parsed);
  InstallInterruptHandler();
  mirelay::SetMaxPixelBytes(options.maxPictureBytes);

  const auto job = JobFor(options);
  WarnAboutCollisions(job);
  const std::size_t total = mirelay::EnumeratePairs(job).size();
  mirelay::cli::ProgressReporter progress(stderr, ::isatty(STDERR_FILENO) == 1, total);
  const auto report = mirelay::RunParallelBatch(job, interrupted, [&](const mirelay::PairOutcome&) {
    if (!options.quiet) progress.PairDone();
  });
  progress.Close();
  PrintSummary(report, progress.ElapsedSeconds(), options.quiet);
  return ExitStatus(report);
}

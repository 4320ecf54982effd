// mirelay-batch: the window's batch without the window, on several threads and machines.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "batch/folder_listing.h"
#include "batch/parallel_batch.h"
#include "batch/picture_memory.h"
#include "cli/batch_options.h"
#include "cli/progress_reporter.h"
#include "cli/terminal_text.h"
#include "imaging/bitmap.h"
#include "imaging/image_error.h"

namespace {

using mirelay::cli::BatchOptions;
using mirelay::cli::QuoteForTerminal;

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
  mirelay::ImageFileFinder finder(options.extensions);
  mirelay::BatchJob job;
  job.bases = mirelay::ListImageFiles(finder, options.baseFolder);
  job.parts = mirelay::ListImageFiles(finder, options.partFolder);
  job.outFolder = options.outFolder + "/";
  job.code = options.code;
  job.extension = options.extension;
  job.settings = options.pairSettings;
  job.jobs = options.jobs;
  job.shard = options.shard;
  job.cacheBytes = options.cacheBytes;
  job.memoryBytes = options.memoryBytes;
  return job;
}

void WarnAboutCollisions(const mirelay::BatchJob& job) {
  for (const auto& name : mirelay::CollidingNames(mirelay::EnumeratePairs(job))) {
    std::fprintf(stderr,
                 "mirelay-batch: warning: several pairs are written to %s; the last pair "
                 "in running order is kept\n",
                 QuoteForTerminal(job.outFolder + name).c_str());
  }
}

void PrintWriteError(const mirelay::PairOutcome& outcome) {
  const std::string cause = outcome.cause.empty() ? "" : " (" + outcome.cause + ")";
  std::fprintf(stderr, "mirelay-batch: cannot write %s: %s%s\n",
               QuoteForTerminal(outcome.outputPath).c_str(),
               QuoteForTerminal(outcome.reason).c_str(), cause.c_str());
}

void PrintSummary(const mirelay::BatchReport& report, double seconds, bool quiet) {
  for (const auto& failure : report.undecodable) {
    const bool overLimit =
        failure.reason == mirelay::kPictureTooLarge || failure.reason == mirelay::kFileTooLarge;
    const char* hint =
        overLimit ? " (over the picture size limit; --max-picture-mb raises it)" : "";
    std::fprintf(stderr, "mirelay-batch: skipped pairs with %s: %s%s\n",
                 QuoteForTerminal(failure.path).c_str(), QuoteForTerminal(failure.reason).c_str(),
                 hint);
  }
  for (const auto& output : report.notWritten) PrintWriteError(output);
  if (report.failure) PrintWriteError(*report.failure);
  if (report.stopped && !report.failure) {
    std::fprintf(stderr, "mirelay-batch: interrupted; no new pair was started\n");
  }
  if (quiet) return;
  std::fprintf(stderr, "%zu of %zu pairs written, %zu skipped, %zu not written, %.1f s\n",
               report.written, report.pairs, report.skipped, report.notWritten.size(), seconds);
}

int ExitStatus(const mirelay::BatchReport& report) {
  if (report.failure || !report.notWritten.empty()) return 3;
  if (report.stopped || interrupted) return 130;
  if (!report.undecodable.empty()) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  mirelay::KeepFreedPictureMemory();
  auto parsed = mirelay::cli::ParseBatchOptions(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const auto& options = std::get<BatchOptions>(parsed);
  InstallInterruptHandler();
  mirelay::SetMaxPixelBytes(options.maxPictureBytes);

  const auto job = JobFor(options);
  WarnAboutCollisions(job);
  const std::size_t total = mirelay::EnumeratePairs(job).size();
  mirelay::cli::ProgressReporter progress(stderr, ::isatty(STDERR_FILENO) == 1, total);
  mirelay::BatchObserver observer;
  observer.finished = [&](const mirelay::PairOutcome&) {
    if (!options.quiet) progress.PairDone();
  };
  const auto report = mirelay::RunParallelBatch(job, interrupted, observer);
  progress.Close();
  PrintSummary(report, progress.ElapsedSeconds(), options.quiet);
  return ExitStatus(report);
}

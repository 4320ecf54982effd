// mirelay-batch: the window's batch without the window, on several threads and machines.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "batch/folder_listing.h"
#include "batch/parallel_batch.h"
#include "batch/picture_memory.h"
#include "cli/batch_options.h"
#include "cli/dry_run.h"
#include "cli/json_report.h"
#include "cli/progress_reporter.h"
#include "cli/terminal_text.h"
#include "files/make_folder.h"
#include "imaging/bitmap.h"
#include "imaging/image_error.h"

namespace {

using mirelay::cli::BatchOptions;
using mirelay::cli::JsonReport;
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

// Every output waiting for its turn keeps a descriptor open: the hard limit is the room there is.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

mirelay::BatchJob JobFor(const BatchOptions& options) {
  mirelay::ImageFileFinder finder(options.extensions);
  mirelay::BatchJob job;
  job.bases =
      options.baseList ? *options.baseList : mirelay::ListImageFiles(finder, options.baseFolder);
  job.parts =
      options.partList ? *options.partList : mirelay::ListImageFiles(finder, options.partFolder);
  job.outFolder = options.outFolder + "/";
  job.output = options.output;
  job.durable = !options.noSync;
  job.keepRecord = true;
  job.tellTransparentParts = !options.pairSettings.alphaBlend;
  job.settings = options.pairSettings;
  job.jobs = options.jobs;
  job.shard = options.shard;
  job.redoOnlyOutdated = options.update;
  if (!options.settingsFile.empty()) job.sharedInputs = {options.settingsFile};
  job.cacheBytes = options.cacheBytes;
  job.memoryBytes = options.memoryBytes;
  return job;
}

void WarnAboutCollisions(const mirelay::BatchJob& job,
                         const std::vector<mirelay::BatchPair>& pairs) {
  for (const auto& name : mirelay::CollidingNames(pairs)) {
    std::fprintf(stderr,
                 "mirelay-batch: warning: several pairs are written to %s; the last pair "
                 "in running order is kept\n",
                 QuoteForTerminal(job.outFolder + name).c_str());
  }
}

void PrintWriteError(const mirelay::PairOutcome& outcome) {
  std::fprintf(stderr, "mirelay-batch: %s\n", QuoteForTerminal(outcome.reason.english).c_str());
}

bool OverThePictureLimit(const mirelay::InputFailure& failure) {
  return failure.reason.kind == mirelay::FailureKind::kPictureTooLarge ||
         failure.reason.kind == mirelay::FailureKind::kFileTooLarge;
}

// Every pair of the shard falls under exactly one of the counts, however the run ended.
void PrintSummary(const mirelay::BatchReport& report, double seconds, const BatchOptions& options) {
  for (const auto& failure : report.undecodable) {
    const char* hint = OverThePictureLimit(failure)
                           ? " (over the picture size limit; --max-picture-mb raises it)"
                           : "";
    std::fprintf(stderr, "mirelay-batch: skipped pairs with %s: %s%s\n",
                 QuoteForTerminal(failure.path).c_str(),
                 QuoteForTerminal(failure.reason.english).c_str(), hint);
  }
  for (const auto& output : report.notWritten) PrintWriteError(output);
  if (report.failure) PrintWriteError(*report.failure);
  if (report.flushFailure) {
    std::fprintf(stderr, "mirelay-batch: %s; outputs may not survive a power cut\n",
                 QuoteForTerminal(report.flushFailure->english).c_str());
  }
  if (report.recordFailure) {
    std::fprintf(stderr,
                 "mirelay-batch: warning: %s; the record is incomplete, so --update may redo "
                 "this run's outputs or judge them by their times alone\n",
                 QuoteForTerminal(report.recordFailure->english).c_str());
  }
  if (report.stopped && !report.failure) {
    std::fprintf(stderr, "mirelay-batch: interrupted; no new pair was started\n");
  }
  if (options.quiet) return;
  const std::string upToDate =
      options.update ? std::to_string(report.upToDate) + " up to date, " : "";
  std::fprintf(stderr,
               "%zu of %zu pairs written, %s%zu skipped, %zu not written, %zu not started, "
               "%.1f s\n",
               report.written, report.pairs, upToDate.c_str(), report.skipped + report.cutShort,
               report.notWritten.size() + report.failed, report.notStarted, seconds);
}

int ExitStatus(const mirelay::BatchReport& report) {
  if (report.failure || !report.notWritten.empty() || report.flushFailure) return 3;
  if (report.stopped || interrupted) return 130;
  if (!report.undecodable.empty()) return 1;
  return 0;
}

// The report is opened before any pair runs, so a report that cannot be made costs no work.
// False, once the reason is told, when it cannot be made.
bool OpenReport(const BatchOptions& options, std::optional<JsonReport>& report) {
  if (options.reportPath.empty()) return true;
  try {
    report.emplace(options.reportPath);
    return true;
  } catch (const mirelay::FileError& error) {
    std::fprintf(stderr, "mirelay-batch: %s\n", QuoteForTerminal(error.English()).c_str());
    return false;
  }
}

// A report cut short would pass for a smaller run, so it makes the run's status 3.
int Finish(std::optional<JsonReport>& report, int status) {
  if (!report || report->Close()) return status;
  std::fprintf(stderr, "mirelay-batch: the report could not be written in full\n");
  return status == 0 || status == 1 ? 3 : status;
}

// False, once the reason is told, when the missing output folder cannot be made.
bool MakeOutputFolder(const BatchOptions& options) {
  try {
    mirelay::MakeFolderIfMissing(options.outFolder, !options.noSync);
    return true;
  } catch (const mirelay::FileError& error) {
    std::fprintf(stderr, "mirelay-batch: %s\n", QuoteForTerminal(error.English()).c_str());
    return false;
  }
}

int DryRun(const mirelay::BatchJob& job, const BatchOptions& options,
           std::optional<JsonReport>& report) {
  const auto start = std::chrono::steady_clock::now();
  const std::size_t pairs =
      mirelay::cli::ListPairs(job, report ? &*report : nullptr, options.nullSeparated);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (report) report->DryRunSummary(job, pairs, seconds);
  if (!options.quiet) std::fprintf(stderr, "dry run: %zu pairs, nothing written\n", pairs);
  return Finish(report, 0);
}

}  // namespace

int main(int argc, char** argv) {
  mirelay::KeepFreedPictureMemory();
  auto parsed = mirelay::cli::ParseBatchOptions(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const auto& options = std::get<BatchOptions>(parsed);
  InstallInterruptHandler();
  RaiseDescriptorLimit();
  mirelay::SetMaxPixelBytes(options.maxPictureBytes);

  const auto job = JobFor(options);
  // Made first, so that a report may be written into it.
  if (!options.dryRun && options.outFolderMissing && !MakeOutputFolder(options)) return 3;
  std::optional<JsonReport> report;
  if (!OpenReport(options, report)) return 2;
  if (options.dryRun) return DryRun(job, options, report);
  const auto pairs = mirelay::EnumeratePairs(job);
  WarnAboutCollisions(job, pairs);
  mirelay::cli::ProgressReporter progress(stderr, ::isatty(STDERR_FILENO) == 1, pairs.size());
  mirelay::BatchObserver observer;
  observer.transparentPart = [](const std::string& part) {
    std::fprintf(stderr,
                 "mirelay-batch: warning: %s has transparent pixels, which the colour key "
                 "ignores; --alpha lays parts on by their alpha\n",
                 QuoteForTerminal(part).c_str());
  };
  observer.finished = [&](const mirelay::PairOutcome& outcome) {
    if (report) report->Finished(job, outcome);
    if (!options.quiet) progress.PairDone();
  };
  const auto outcome = mirelay::RunParallelBatch(job, interrupted, observer);
  progress.Close();
  const double seconds = progress.ElapsedSeconds();
  PrintSummary(outcome, seconds, options);
  const int status = ExitStatus(outcome);
  if (report) report->Summary(job, outcome, status, seconds);
  return Finish(report, status);
}

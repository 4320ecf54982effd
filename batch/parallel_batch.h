#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "batch/batch_job.h"

namespace mirelay {

// All are called from worker threads, each never concurrently with itself; `started` and
// `finished` in running order. A pair passed over as up to date is only finished, never started.
struct BatchObserver {
  std::function<void(const BatchPair&)> started;     // as each pair starts
  std::function<void(const PairOutcome&)> finished;  // as its file is renamed into place
  // Once per part that carries transparent pixels while parts are laid on by their colour key,
  // with job.tellTransparentParts.
  std::function<void(const std::string& part)> transparentPart;
};

// Processes the pairs on job.jobs threads. Pairs start, and their files are renamed into place,
// strictly in running order, so a run that ends early has written a prefix of it and the later
// of two pairs writing one name leaves its file. Once `stop` is set or a pair fails, no new pair
// starts; pairs in flight finish, except that decodes still running half a second after the stop
// are cut short (and with them the pair and every later one). An error no input or output can
// cause (a fault of the program) fails its pair and ends the run.
BatchReport RunParallelBatch(const BatchJob& job, const std::atomic<bool>& stop,
                             const BatchObserver& observer = {});

}  // namespace mirelay

#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "batch/parallel_batch.h"

namespace mirelay {

// Runs a batch job on a thread of its own, so the thread that started it stays free (the
// window's GUI thread never decodes, composites or encodes). `finished` is called on the batch
// thread once the run is over; destroying the object stops the run and waits for it.
class BackgroundBatch {
 public:
  BackgroundBatch(BatchJob job, BatchObserver observer,
                  std::function<void(const BatchReport&)> finished);
  ~BackgroundBatch();
  BackgroundBatch(const BackgroundBatch&) = delete;
  BackgroundBatch& operator=(const BackgroundBatch&) = delete;
  BackgroundBatch(BackgroundBatch&&) = delete;
  BackgroundBatch& operator=(BackgroundBatch&&) = delete;

  // Pairs in flight finish; no new pair starts.
  void RequestStop() { stop_ = true; }

 private:
  const BatchJob job_;
  const BatchObserver observer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace mirelay

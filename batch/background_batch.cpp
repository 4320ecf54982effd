#include "batch/background_batch.h"

#include <utility>

namespace mirelay {

BackgroundBatch::BackgroundBatch(BatchJob job, BatchObserver observer,
                                 std::function<void(const BatchReport&)> finished)
    : job_(std::move(job)), observer_(std::move(observer)) {
  thread_ = std::thread([this, finished = std::move(finished)] {
    finished(RunParallelBatch(job_, stop_, observer_));
  });
}

BackgroundBatch::~BackgroundBatch() {
  stop_ = true;
  thread_.join();
}

}  // namespace mirelay

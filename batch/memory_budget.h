#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace mirelay {

// Half of the memory the system has available now: the default room for pairs in flight.
std::size_t DefaultMemoryBudget();

// Lets a pair start only when its estimated memory fits beside the pairs already in flight, so
// several workers on huge pictures run them fewer at a time instead of running out of memory.
// A pair larger than the whole budget still runs, alone.
class MemoryBudget {
 public:
  explicit MemoryBudget(std::size_t bytes) : bytes_(bytes) {}
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;
  MemoryBudget(MemoryBudget&&) = delete;
  MemoryBudget& operator=(MemoryBudget&&) = delete;

  // Waits until `bytes` fits, or until nothing else is reserved.
  void Reserve(std::size_t bytes);
  void Release(std::size_t bytes);

 private:
  const std::size_t bytes_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::size_t reserved_ = 0;
};

}  // namespace mirelay

#include "batch/memory_budget.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace mirelay {

namespace {

// MemAvailable counts the page cache the system would give up, which MemFree does not.
std::size_t AvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::size_t kib = 0;
  while (meminfo >> key >> kib) {
    if (key == "MemAvailable:") return kib * 1024;
    meminfo.ignore(64, '\n');
  }
  return static_cast<std::size_t>(::sysconf(_SC_AVPHYS_PAGES)) *
         static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

std::size_t DefaultMemoryBudget() { return AvailableMemory() / 2; }

void MemoryBudget::Reserve(std::size_t bytes) {
  std::unique_lock lock(mutex_);
  released_.wait(lock,
                 [&] { return reserved_ == 0 || bytes <= bytes_ - std::min(bytes_, reserved_); });
  reserved_ += bytes;
}

void MemoryBudget::Release(std::size_t bytes) {
  {
    std::lock_guard lock(mutex_);
    reserved_ -= bytes;
  }
  released_.notify_all();
}

}  // namespace mirelay

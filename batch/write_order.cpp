#include "batch/write_order.h"

namespace mirelay {

void WriteOrder::Enter(const std::string& name, std::size_t index) {
  std::lock_guard lock(mutex_);
  inFlight_[name].insert(index);
}

void WriteOrder::WaitForTurn(const std::string& name, std::size_t index) {
  std::unique_lock lock(mutex_);
  turnChanged_.wait(lock, [&] { return *inFlight_.at(name).begin() == index; });
}

void WriteOrder::Leave(const std::string& name, std::size_t index) {
  {
    std::lock_guard lock(mutex_);
    const auto found = inFlight_.find(name);
    found->second.erase(index);
    if (found->second.empty()) inFlight_.erase(found);
  }
  turnChanged_.notify_all();
}

}  // namespace mirelay

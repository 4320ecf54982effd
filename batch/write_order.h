#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

namespace mirelay {

// Lets pairs that write one output name save in the order they started, whatever order they
// finish their decoding in, so the later pair's file is the one that stays.
class WriteOrder {
 public:
  // Called as a pair starts, in running order.
  void Enter(const std::string& name, std::size_t index);
  // Waits until every pair of that name that started earlier has left.
  void WaitForTurn(const std::string& name, std::size_t index);
  // Called once the pair has saved, been skipped or failed.
  void Leave(const std::string& name, std::size_t index);

 private:
  std::mutex mutex_;
  std::condition_variable turnChanged_;
  std::unordered_map<std::string, std::set<std::size_t>> inFlight_;
};

}  // namespace mirelay

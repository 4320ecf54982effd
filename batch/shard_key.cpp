#include "batch/shard_key.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>

namespace mirelay {

namespace {

std::string_view FileNameOf(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// std::string compares as unsigned bytes, so the order does not depend on the locale or on
// whether char is signed.
std::vector<std::size_t> RanksByName(const std::vector<std::string>& paths) {
  std::vector<std::size_t> order(paths.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
    const auto leftName = FileNameOf(paths[left]), rightName = FileNameOf(paths[right]);
    if (leftName != rightName) return leftName < rightName;
    return paths[left] < paths[right];
  });
  std::vector<std::size_t> ranks(paths.size());
  for (std::size_t rank = 0; rank < order.size(); ++rank) ranks[order[rank]] = rank;
  return ranks;
}

}  // namespace

ShardMembership::ShardMembership(const BatchJob& job)
    : shard_(job.shard), partCount_(job.parts.size()) {
  if (shard_.count <= 1) return;
  baseRanks_ = RanksByName(job.bases);
  partRanks_ = RanksByName(job.parts);
}

bool ShardMembership::Holds(std::size_t index) const {
  if (shard_.number == 0 || shard_.number > shard_.count) return false;
  if (shard_.count == 1) return true;
  const std::size_t key =
      baseRanks_[index / partCount_] * partCount_ + partRanks_[index % partCount_];
  return key % shard_.count == shard_.number - 1;
}

}  // namespace mirelay

#pragma once

#include <cstddef>
#include <vector>

#include "batch/batch_job.h"

namespace mirelay {

// Which pairs of a job belong to its shard. A pair's shard key is its index when the bases and
// the parts are each sorted by the bytes of their file names (equal names by their whole paths):
// base rank x part count + part rank. Every host computes the same keys from the names alone, so
// shards that read differently listed copies of the inputs still take every pair exactly once.
// Shard K of N holds the pairs whose key leaves K - 1 when divided by N.
class ShardMembership {
 public:
  explicit ShardMembership(const BatchJob& job);

  // Whether the pair at this running index belongs to the job's shard.
  bool Holds(std::size_t index) const;

 private:
  Shard shard_;
  std::size_t partCount_ = 0;
  std::vector<std::size_t> baseRanks_;  // by list index; empty for a job of one shard
  std::vector<std::size_t> partRanks_;
};

}  // namespace mirelay

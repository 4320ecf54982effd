#include "batch/batch_job.h"

#include <iterator>
#include <unordered_map>

#include "batch/batch_naming.h"
#include "batch/shard_key.h"

namespace mirelay {

PairPlace PlaceOf(const BatchJob& job, std::size_t index) {
  return {index / job.parts.size(), index % job.parts.size()};
}

std::string PairOutputName(const BatchJob& job, const PairSettings& settings, std::size_t base,
                           std::size_t part) {
  return OutputFileName(job.bases[base], job.parts[part], settings.separator, settings.nameOrder,
                        job.output.extension);
}

std::size_t ShardPairCount(const BatchJob& job) {
  const std::size_t total = job.bases.size() * job.parts.size();
  const std::size_t first = job.shard.number - 1;
  if (job.shard.number == 0 || job.shard.number > job.shard.count || first >= total) return 0;
  return (total - first - 1) / job.shard.count + 1;
}

std::vector<BatchPair> EnumeratePairs(const BatchJob& job) {
  std::vector<BatchPair> pairs;
  const ShardMembership shard(job);
  const std::size_t total = job.bases.size() * job.parts.size();
  for (std::size_t index = 0; index < total; ++index) {
    if (!shard.Holds(index)) continue;
    const auto [base, part] = PlaceOf(job, index);
    pairs.push_back({index, base, part, PairOutputName(job, job.settings, base, part)});
  }
  return pairs;
}

std::vector<std::string> CollidingNames(const std::vector<BatchPair>& pairs) {
  std::vector<std::string> firstUses, names;
  std::unordered_map<std::string, std::size_t> uses;
  for (const auto& pair : pairs) {
    if (uses[pair.outputName]++ == 0) firstUses.push_back(pair.outputName);
  }
  for (const auto& name : firstUses) {
    if (uses[name] > 1) names.push_back(name);
  }
  return names;
}

std::unordered_set<std::string> NamesSharedAcrossShards(const BatchJob& job) {
  BatchJob wholeBatch = job;
  wholeBatch.shard = Shard{};
  auto names = CollidingNames(EnumeratePairs(wholeBatch));
  return {std::make_move_iterator(names.begin()), std::make_move_iterator(names.end())};
}

}  // namespace mirelay

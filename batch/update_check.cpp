#include "batch/update_check.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace mirelay {

std::optional<FileTime> ModificationTime(const std::string& path) {
  const auto status = StatusOf(path);
  if (!status || status->kind != FileKind::kRegular) return std::nullopt;
  return status->modified;
}

namespace {

// Nothing when one of the files is missing.
std::optional<FileTime> NewestOf(const std::vector<std::string>& paths) {
  FileTime newest{std::numeric_limits<std::int64_t>::min(), 0};
  for (const auto& path : paths) {
    const auto time = ModificationTime(path);
    if (!time) return std::nullopt;
    newest = std::max(newest, *time);
  }
  return newest;
}

}  // namespace

UpdateCheck::UpdateCheck(const BatchJob& job)
    : job_(job),
      newestShared_(NewestOf(job.sharedInputs)),
      collidingNames_(NamesSharedAcrossShards(job)) {}

bool UpdateCheck::UpToDate(const BatchPair& pair) {
  if (!newestShared_ || collidingNames_.contains(pair.outputName)) return false;
  const auto output = ModificationTime(job_.outFolder + pair.outputName);
  if (!output || *output < *newestShared_) return false;
  for (const std::string* input : {&job_.bases[pair.base], &job_.parts[pair.part]}) {
    const auto time = InputTime(*input);
    if (!time || *output < *time) return false;
  }
  return true;
}

std::optional<FileTime> UpdateCheck::InputTime(const std::string& path) {
  const auto [found, added] = inputTimes_.try_emplace(path);
  if (added) found->second = ModificationTime(path);
  return found->second;
}

}  // namespace mirelay
